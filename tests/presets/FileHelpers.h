// Small files for the preset layer's tests: written and read back as bytes, folders made on the way.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kvtest {

// Writes Content as the file Path, making its folder first.
inline void WriteBytes(const std::string& Path, const std::string& Content = {})
{
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream file(Path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file) << Path;
    file << Content;
}

inline std::string ReadBytes(const std::string& Path)
{
    std::ifstream file(Path, std::ios::binary);
    EXPECT_TRUE(file) << Path;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace kvtest
