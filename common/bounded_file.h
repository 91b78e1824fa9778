// SPDX-License-Identifier: MIT
// bounded_file.h
//
// Reading a file a tool was given (a configuration, a machine file, an
// SMBIOS dump, a driver or plug-in image) whole, when it is a regular file
// no larger than its kind allows. A device (/dev/zero), a FIFO or a folder
// named in its place is refused before it is opened, and never more than
// the size it had and one byte is read, so a file that grows while it is
// read is refused too. Host and Windows builds; the standard library only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bounded {

// A file that cannot be read; the message names the kind, the file and why
// ("SMBIOS dump /dev/zero: not a regular file (a device, FIFO or socket)").
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a reader takes: "SMBIOS dump", at most 65568 bytes.
struct FileKind {
    const char* name;
    std::uintmax_t limit; // bytes
};

inline std::string limitText(std::uintmax_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// Throws FileError naming the kind and the file when it is missing,
// unreadable or not a regular file; for a reader that reads a file of any
// size as a stream, before it opens it (opening a FIFO waits for a writer).
inline void requireRegularFile(const std::filesystem::path& file, const char* kindName)
{
    namespace fs = std::filesystem;
    auto refuse = [&](const std::string& why) -> FileError {
        return FileError(std::string(kindName) + " " + file.string() + ": " + why);
    };
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (status.type() == fs::file_type::not_found)
        throw refuse("no such file");
    if (error)
        throw refuse("cannot be read (" + error.message() + ")");
    if (status.type() == fs::file_type::directory)
        throw refuse("is a folder, not a file");
    if (status.type() != fs::file_type::regular)
        throw refuse("not a regular file (a device, FIFO or socket)");
}

// The file's bytes. Throws FileError naming the kind and the file when it
// is missing, unreadable, not a regular file, or larger than the limit.
inline std::string readFile(const std::filesystem::path& file, const FileKind& kind)
{
    namespace fs = std::filesystem;
    auto refuse = [&](const std::string& why) -> FileError {
        return FileError(std::string(kind.name) + " " + file.string() + ": " + why);
    };
    requireRegularFile(file, kind.name);
    std::error_code error;
    const std::string tooLarge = "larger than the limit of " + limitText(kind.limit);
    const std::uintmax_t size = fs::file_size(file, error);
    if (error)
        throw refuse("cannot be read (" + error.message() + ")");
    if (size > kind.limit)
        throw refuse(tooLarge + " (" + std::to_string(size) + " bytes)");

    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw refuse("cannot be opened (permission denied?)");
    // One byte more than the size, to see a file that grows meanwhile.
    std::string bytes(static_cast<size_t>(size) + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        throw refuse("cannot be read");
    if (static_cast<std::uintmax_t>(in.gcount()) > size)
        throw refuse("grew while it was read");
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// A line of a file read as a stream that is longer than its reader takes.
class LineTooLong : public std::runtime_error {
  public:
    explicit LineTooLong(std::size_t limit)
        : std::runtime_error("a line longer than " + limitText(limit))
    {
    }
};

// The next line of a stream without its LF into text, at most limit bytes
// of it: false at the end of the stream (a last line without a LF is a
// line), LineTooLong for a longer line, which is never held past the limit.
inline bool readLine(std::istream& in, std::string& text, std::size_t limit)
{
    text.clear();
    std::streambuf& buffer = *in.rdbuf();
    for (;;) {
        const auto c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof())
            return !text.empty();
        if (c == '\n')
            return true;
        if (text.size() == limit)
            throw LineTooLong(limit);
        text += char(c);
    }
}

} // namespace bounded
