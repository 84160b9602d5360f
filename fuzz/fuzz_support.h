// What the fuzz targets share: a file that holds the current input for parsers that read
// files, and a check that turns a broken promise into a crash the fuzzer keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The signature every target defines; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

/// (Linux only.) A file named `name` in a private folder made under $TMPDIR (else /tmp) for this process;
/// both are removed when the object is destroyed.
class FuzzInputFile {
 public:
  explicit FuzzInputFile(std::string_view name);
  ~FuzzInputFile();
  FuzzInputFile(const FuzzInputFile&) = delete;
  FuzzInputFile& operator=(const FuzzInputFile&) = delete;

  /// Replaces the file's content with `bytes`; aborts when it cannot, since every later
  /// input would then be tested against stale content.
  void Write(std::span<const uint8_t> bytes) const;

  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string path_;
};

/// The input as argv: elements separated by NUL bytes (one element when there is none).
std::vector<std::string> SplitAtNul(std::string_view text);

/// Runs `check` once in the plain "C" locale and once in a multibyte one ("C.UTF-8", when the
/// system has it): the option scan steps by characters of the process's locale.
void InEachScanLocale(const std::function<void()>& check);

/// Reports `what` with the place of the check and aborts, so that the fuzzer saves the input.
[[noreturn]] void FuzzCheckFailed(const char* what, const char* file, int line);

/// A promise of the code under test that must hold for every input.
#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
