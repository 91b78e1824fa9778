// SPDX-License-Identifier: MIT
// sim_test_support.h
//
// Helpers for the simulator's tests: a temporary folder that goes with the
// test, writing a text file into it, and the firmware fixture folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace sim_test {

inline std::filesystem::path fixtureImage(const std::string& name)
{
    return std::filesystem::path(ZEPHR_FIXTURES_DIR) / "firmware" / name;
}

class TempFolder {
  public:
    TempFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zephr-sim-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const
    {
        return path_;
    }

    std::filesystem::path write(const std::string& name, const std::string& content) const
    {
        const auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

  private:
    std::filesystem::path path_;
};

} // namespace sim_test
