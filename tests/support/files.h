// Whole-file reads and writes for tests, in binary mode everywhere.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velk::test {

// The file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> readFile(const std::filesystem::path &path);
std::string readText(const std::filesystem::path &path);

// Creates or replaces the file with exactly these bytes.
void writeFile(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes);
void writeFile(const std::filesystem::path &path, std::string_view bytes);

} // namespace velk::test
