#include "support/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "testkve-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder like " + pattern);
  }
  path_ = pattern;
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
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(TESTKVE_ENGINE_DIR)) {
    if (entry.is_regular_file()) std::filesystem::copy(entry.path(), to / entry.path().filename());
  }
}

EngineFolderCopy::EngineFolderCopy() { CopyEngineFolderFiles(path()); }
