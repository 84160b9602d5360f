// Shared pieces of the integrity tests: temporary folders, files, signatures made with the
// development key, and runs of the built programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

/// A fresh folder under the temporary folder, removed with its content at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// Writes `bytes` to `name` in the folder; returns the file's path as text.
  std::string Write(const std::string& name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);

/// The development signing key of the repository.
std::string DevKeyPath();
/// The RSA/MD5 PKCS #1 v1.5 signature of `content` with the development key, made here with
/// OpenSSL directly, so that the library's check is tested against an independent signer.
std::vector<uint8_t> DevSignature(std::string_view content);
/// `signature` and its length `length_field` as 32-bit little-endian appended to `content`.
std::string WithTrailer(std::string_view content, const std::vector<uint8_t>& signature,
                        uint32_t length_field);
/// `content` with a correct trailer.
std::string DevSigned(std::string_view content);

struct ToolRun {
  int exit_code = -1;  ///< -1 when the program did not exit normally
  std::string output;
  std::string errors;
};
/// Runs `program` with `args` (no shell) and waits for it.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args);
/// Runs the built vxrtool.
ToolRun RunVxrtool(const std::vector<std::string>& args);
/// Runs a command line through /bin/sh; true when it exits with 0.
bool RunShell(const std::string& command);

/// An ELF executable to work on: a copy of /bin/true at `path`.
std::string CopyOfTrue(const ScratchFolder& folder, const std::string& name);
