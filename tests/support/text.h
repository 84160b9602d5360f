// Reading what programs and engines leave behind: files, their lines, counts of a text.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

/// The content of a file byte for byte, or "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// The lines of `text`, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

/// The lines of a file, without their line feeds; none when it cannot be read.
std::vector<std::string> ReadLines(const std::filesystem::path& path);

/// How often `needle` occurs in `text`, without overlaps.
size_t CountOf(const std::string& text, const std::string& needle);
