#pragma once
// Plain file access for the run: the mailbox, opened for reading only, and
// the message files it writes. OS errors come back as std::error_code.

#include "platform/bytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

namespace keldor::platform {

// An open file's descriptor (a file descriptor on Linux, a file handle on
// Windows), owned: closed when the object goes, handed on by moving. -1 is
// "none" on both systems (INVALID_HANDLE_VALUE on Windows).
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(std::intptr_t handle) : handle_(handle) {}
    FileDescriptor(FileDescriptor&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }

    [[nodiscard]] std::intptr_t get() const { return handle_; }
    [[nodiscard]] bool isOpen() const { return handle_ != -1; }

    // Closes the file now; the error of the close, if any.
    std::error_code close();

private:
    std::intptr_t handle_ = -1;
};

// A file opened for reading only; it is never written through. Closed when
// the object goes.
class ReadOnlyFile {
public:
    // nullopt (with the reason in `error`) when the path cannot be opened or
    // is not a regular file.
    static std::optional<ReadOnlyFile> open(const std::filesystem::path& path,
                                            std::error_code& error);

    [[nodiscard]] std::uint64_t size() const { return size_; }

    // Reads up to out.size() bytes at `offset` into `out`; returns how many
    // were read (fewer only at the end of the file), or nullopt on a read error.
    std::optional<std::size_t> readAt(std::uint64_t offset, std::span<char> out) const;

private:
    ReadOnlyFile(FileDescriptor handle, std::uint64_t size)
        : handle_(std::move(handle)), size_(size) {}
    FileDescriptor handle_;
    std::uint64_t size_ = 0;
};

// An existing file opened for positioned reading and rewriting in place. It
// is never grown: a write that would reach past the size the file had when
// it was opened is refused. Closed when the object goes.
class ReadWriteFile {
public:
    // nullopt (with the reason in `error`) when the path cannot be opened for
    // reading and writing or is not a regular file.
    static std::optional<ReadWriteFile> open(const std::filesystem::path& path,
                                             std::error_code& error);

    [[nodiscard]] std::uint64_t size() const { return size_; }

    // Reads up to out.size() bytes at `offset` into `out`; returns how many
    // were read (fewer only at the end of the file), or nullopt on a read error.
    std::optional<std::size_t> readAt(std::uint64_t offset, std::span<char> out) const;

    // Writes all of `bytes` at `offset`; an error when the write fails or
    // would reach past the file's size.
    std::error_code writeAt(std::uint64_t offset, ByteView bytes);

    // Closes the file; the error of the close, if any.
    std::error_code close();

private:
    ReadWriteFile(FileDescriptor handle, std::uint64_t size)
        : handle_(std::move(handle)), size_(size) {}
    FileDescriptor handle_;
    std::uint64_t size_ = 0;
};

// A file created (or truncated) for writing, buffered. Every failure is kept
// with its OS reason; after the first failure further writes do nothing.
class OutputFile {
public:
    static std::optional<OutputFile> create(const std::filesystem::path& path,
                                            std::error_code& error);

    OutputFile(OutputFile&& other) noexcept = default;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    std::error_code write(ByteView bytes);
    // Flushes and closes; the first error of the file's life, if any.
    std::error_code close();

private:
    explicit OutputFile(FileDescriptor handle) : handle_(std::move(handle)) {}
    std::error_code flush();

    FileDescriptor handle_;
    Bytes buffer_;
    std::error_code error_;
};

// A file of the program's own inside `folder`, for what a run puts aside and
// reads back later: written in order, read at any place. It never keeps a
// name that outlives it: on Linux it has none (or loses it at once); on
// Windows it is hidden and deleted when closed, by the system even when the
// program ends abruptly. Closed (and gone) when the object goes.
class ScratchFile {
public:
    // nullopt (with the reason in `error`) when none can be made there.
    static std::optional<ScratchFile> create(const std::filesystem::path& folder,
                                             std::error_code& error);

    // Writes all of `bytes` after what was written before.
    std::error_code append(ByteView bytes);

    // Reads up to out.size() bytes at `offset` into `out`; returns how many
    // were read (fewer only at the end), or nullopt on a read error.
    std::optional<std::size_t> readAt(std::uint64_t offset, std::span<char> out) const;

private:
    explicit ScratchFile(FileDescriptor handle) : handle_(std::move(handle)) {}
    FileDescriptor handle_;
    std::uint64_t size_ = 0;
};

// One regular file of a folder listing.
struct FolderEntry {
    Text name;
    std::uint64_t size = 0;
};

// The regular files directly inside `folder`, in the order the file system
// lists them (folders and other kinds left out); empty when the folder
// cannot be read.
[[nodiscard]] std::vector<FolderEntry> listFiles(const std::filesystem::path& folder);

// Creates the folder unless it is there. True when a folder (not a file) of
// that name exists afterwards, whoever made it.
[[nodiscard]] bool makeFolder(const std::filesystem::path& folder);

enum class NewFolder {
    Created,      // made by this call
    AlreadyThere, // something of that name exists (a folder, a file); left untouched
    Failed,       // not made for another reason, kept in `error`
};

// Creates the folder only when nothing of that name exists, in one step of
// the file system, so that of two processes creating the same name at once
// exactly one gets Created. Never writes into an existing folder.
[[nodiscard]] NewFolder createNewFolder(const std::filesystem::path& folder,
                                        std::error_code& error);

// The system's words for an OS error, for the messages shown to the user.
[[nodiscard]] Text errorReason(const std::error_code& error);

} // namespace keldor::platform
