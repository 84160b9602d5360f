#include "support/temp_folder.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

#include "support/build_paths.h"

// A random name, tried until create_directory makes a folder that did not exist: the same
// guarantee as mkdtemp, on every system.
TempFolder::TempFolder() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "testkve-%012llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) {
      path_ = base / name;
      return;
    }
    if (error) break;
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(const std::string& name, std::string_view content) const {
  const std::filesystem::path file = path_ / name;
  // A fresh file rather than a truncated one: ext4 flushes a file rewritten after truncation
  // when it is closed, which makes loops over thousands of variants slow.
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  std::ofstream stream(file, std::ios::binary);
  stream.write(content.data(), static_cast<std::streamsize>(content.size()));
  stream.close();
  if (!stream) throw std::runtime_error("cannot write " + file.string());
  return file;
}

void CopyEngineFolderFiles(const std::filesystem::path& to) {
  // Only the files the build lays out: a report or PerfReport folder left there by a run of
  // scripts/run must not leak into a test.
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(BuildEngineDir())) {
    if (entry.is_regular_file()) std::filesystem::copy(entry.path(), to / entry.path().filename());
  }
}

EngineFolderCopy::EngineFolderCopy() { CopyEngineFolderFiles(path()); }
