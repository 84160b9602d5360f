// The standard streams of this process: input (0), output (1) and error (2).
#pragma once

namespace platform {

/// Opens the null device on each standard stream that is closed, so that no file the program
/// opens later lands there: with standard output closed, the first file opened would otherwise
/// receive everything printed. Sets bit n of `*closed` for each standard stream n that was
/// closed. False when one cannot be opened.
bool ReserveStandardStreams(unsigned* closed);

/// Whether standard error is a terminal that can redraw a line: a terminal device, and TERM is
/// not "dumb".
bool StandardErrorIsLiveTerminal();

/// Makes the console this process writes to show UTF-8; returns the code page to give back to
/// RestoreConsoleOutput, or 0 when there is nothing to give back (no console, already UTF-8,
/// or a system whose terminals take the program's bytes as they are).
unsigned SwitchConsoleOutputToUtf8();
/// Gives the console back the output code page it had (none for 0).
void RestoreConsoleOutput(unsigned code_page);

/// The console shows the program's UTF-8 output as UTF-8 while this lives; its earlier code
/// page comes back when it ends, and also when a console stop ends the process first.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput() : earlier_code_page_(SwitchConsoleOutputToUtf8()) {}
  ~Utf8ConsoleOutput() { RestoreConsoleOutput(earlier_code_page_); }
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  unsigned earlier_code_page_;
};

}  // namespace platform
