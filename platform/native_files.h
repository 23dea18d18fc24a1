#pragma once
// What each system's file calls provide beneath the file classes of
// files.h; implemented in platform/linux/ and platform/win/. Only the
// platform layer includes this.

#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <utility>

namespace keldor::platform::native {

enum class Access { Read, ReadWrite };

// An existing regular file, opened for `access`, and its size; a closed
// descriptor (with the reason in `error`) when it cannot be opened or is a
// folder or a device. Others may read it meanwhile, never write it.
std::pair<FileDescriptor, std::uint64_t> openRegularFile(const std::filesystem::path& path,
                                                         Access access, std::error_code& error);

// A file created, or truncated when it exists, for writing; closed (with the
// reason in `error`) when it cannot be.
FileDescriptor createTruncated(const std::filesystem::path& path, std::error_code& error);

// A file for reading and writing inside `folder` that no name outlives
// (ScratchFile); closed (with the reason in `error`) when none can be made.
FileDescriptor createScratch(const std::filesystem::path& folder, std::error_code& error);

// Up to out.size() bytes at `offset`; fewer only at the end of the file,
// nullopt on a read error.
std::optional<std::size_t> readAt(const FileDescriptor& file, std::uint64_t offset,
                                  std::span<char> out);

// All of `bytes` at `offset`, or the error that stopped it.
std::error_code writeAt(const FileDescriptor& file, std::uint64_t offset, ByteView bytes);

// All of `bytes` at the file's current position, or the error that stopped it.
std::error_code append(const FileDescriptor& file, ByteView bytes);

// Closes an open descriptor; the error of the close, if any.
std::error_code closeHandle(std::intptr_t handle);

} // namespace keldor::platform::native
