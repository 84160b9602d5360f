// Runs a built program as a real process in a folder, feeding standard input and capturing
// standard output, for the end-to-end tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
  int exit_code = -1;      // the exit status, or -1 when the program did not exit normally
  int signal = 0;          // the signal that ended it, if any
  std::string output;      // standard output
  std::string errors;      // standard error
};

struct ProgramOptions {
  std::filesystem::path folder;               // current folder of the program
  std::string input;                          // written to its standard input, then closed
  std::map<std::string, std::string> environment;  // added to the test's own environment
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options);

/// The built harness, `build*/bin/testkve`.
std::string TestkvePath();

/// A fresh temporary folder, removed with its content when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// A copy of the build's engine folder in a temporary folder.
class EngineFolderCopy : public TempFolder {
 public:
  EngineFolderCopy();
};

/// The lines of `text`, without their line feeds.
std::vector<std::string> Lines(const std::string& text);
/// How often `needle` occurs in `text`.
size_t CountOf(const std::string& text, const std::string& needle);
/// The content of a file, or "" when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
