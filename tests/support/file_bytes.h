#pragma once
// Whole files as bytes, for the tests and the fuzz targets.

#include "platform/bytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace keldor::testing {

// The file's bytes; empty when it cannot be read.
inline Bytes readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates or truncates the file; false when the bytes could not be written.
inline bool writeFile(const std::filesystem::path& file, ByteView bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out.good();
}

} // namespace keldor::testing
