// Waiting for what a detached process writes: the file is read again and again until it holds
// what is awaited or a bound runs out, so a test never sleeps a fixed time.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

/// True once `file` holds `needle` at least `count` times; false when `bound` passes first.
bool WaitForText(const std::filesystem::path& file, const std::string& needle, size_t count,
                 std::chrono::seconds bound = std::chrono::seconds(120));
