// SPDX-License-Identifier: MIT
// bounded_file_test.cpp
//
// Hostile files given where a tool reads a file whole: devices that never
// end, a FIFO nobody writes, a folder, a missing file, a file one byte over
// its kind's limit. Each is refused with the kind and the file named,
// without being read; a file at the limit is read.
#include "common/bounded_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

constexpr std::uintmax_t kLimit = 100;

class Folder {
  public:
    Folder()
        : path_(std::filesystem::temp_directory_path() /
                ("zephr-bounded-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path file(const char* name, size_t bytes) const
    {
        std::ofstream(path_ / name, std::ios::binary) << std::string(bytes, 'x');
        return path_ / name;
    }
    std::filesystem::path fifo() const
    {
        ::mkfifo((path_ / "fifo").c_str(), 0600);
        return path_ / "fifo";
    }
    const std::filesystem::path& path() const
    {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

struct HostileFile {
    const char* name;
    std::filesystem::path (*make)(const Folder&);
    const char* refusal; // empty: read whole
};

void PrintTo(const HostileFile& row, std::ostream* out)
{
    *out << row.name;
}

class BoundedFile : public testing::TestWithParam<HostileFile> {};

TEST_P(BoundedFile, IsRefusedNamingTheKindAndTheFileOrReadWhole)
{
    const Folder folder;
    const auto path = GetParam().make(folder);
    const std::string refusal = GetParam().refusal;
    try {
        const std::string bytes = bounded::readFile(path, {"test file", kLimit});
        EXPECT_TRUE(refusal.empty()) << "read " << bytes.size() << " bytes of " << path;
        EXPECT_EQ(bytes.size(), std::filesystem::file_size(path));
    } catch (const bounded::FileError& error) {
        EXPECT_EQ(std::string(error.what()), "test file " + path.string() + ": " + refusal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BoundedFile,
    testing::Values(
        HostileFile{"EndlessDevice",
                    [](const Folder&) { return std::filesystem::path("/dev/zero"); },
                    "not a regular file (a device, FIFO or socket)"},
        HostileFile{"UnwrittenFifo", [](const Folder& f) { return f.fifo(); },
                    "not a regular file (a device, FIFO or socket)"},
        HostileFile{"Folder", [](const Folder& f) { return f.path(); }, "is a folder, not a file"},
        HostileFile{"Missing", [](const Folder& f) { return f.path() / "none"; }, "no such file"},
        HostileFile{"OneByteOver", [](const Folder& f) { return f.file("over", kLimit + 1); },
                    "larger than the limit of 100 bytes (101 bytes)"},
        HostileFile{"AtTheLimit", [](const Folder& f) { return f.file("limit", kLimit); }, ""},
        HostileFile{"Empty", [](const Folder& f) { return f.file("empty", 0); }, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
