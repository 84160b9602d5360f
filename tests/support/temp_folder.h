// Temporary folders for tests and benchmarks: a fresh folder removed with its content, and a
// copy of the build's engine folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// A fresh folder of its own under the system's temporary folder, removed with everything in it
/// when the object goes away. Throws std::runtime_error when no folder can be made.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  /// Writes `content` byte for byte to a fresh file `name` in the folder, in place of any file
  /// of that name, and returns its path. Throws std::runtime_error when it cannot be written.
  std::filesystem::path Write(const std::string& name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

/// A copy of the files of the build's engine folder (the reference engine under the engine
/// names, VXR.INI, the pattern files, the harness and the service program) in a fresh
/// temporary folder; folders that runs left there are not copied.
/// Copies the files of the build's engine folder into the existing folder `to`; folders that
/// runs left in the engine folder (report/, PerfReport/) are not copied.
void CopyEngineFolderFiles(const std::filesystem::path& to);

class EngineFolderCopy : public TempFolder {
 public:
  EngineFolderCopy();
};
