// RunProgram on Windows: CreateProcess with the three streams on files, the folder and an
// environment block of its own, so that nothing of the caller's process changes.
#include <windows.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// As the C runtime reads it back: quoted when needed, backslashes doubled before a quote.
void AppendQuoted(const std::wstring& argument, std::wstring* line) {
  if (!line->empty()) *line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    *line += argument;
    return;
  }
  *line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

struct NoCase {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

// The caller's environment with `added` over it, as CreateProcessW wants it: sorted
// NAME=VALUE strings, each ended by a NUL, the block by a second one.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& added) {
  std::map<std::wstring, std::wstring, NoCase> variables;
  wchar_t* current = GetEnvironmentStringsW();
  for (const wchar_t* entry = current; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    const size_t equals = text.find(L'=', 1);  // "=C:=C:\x" entries start with "="
    if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  FreeEnvironmentStringsW(current);
  for (const auto& [name, value] : added) variables[Widen(name)] = Widen(value);
  std::wstring block;
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  block += L'\0';
  return block;
}

HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const ProgramOptions& options) {
  const TempFolder streams;
  const std::filesystem::path input = streams.Write("input", options.input);
  const std::filesystem::path output = streams.path() / "output";
  const std::filesystem::path errors = streams.path() / "errors";
  HANDLE handles[3] = {InheritableFile(input, GENERIC_READ, OPEN_EXISTING),
                       InheritableFile(output, GENERIC_WRITE, CREATE_ALWAYS),
                       InheritableFile(errors, GENERIC_WRITE, CREATE_ALWAYS)};
  auto close_all = [&handles] {
    for (HANDLE& handle : handles) {
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
      handle = INVALID_HANDLE_VALUE;
    }
  };
  if (std::any_of(std::begin(handles), std::end(handles), [](HANDLE h) { return h == INVALID_HANDLE_VALUE; })) {
    close_all();
    throw std::runtime_error("cannot make the stream files for " + program);
  }
  std::wstring line;
  AppendQuoted(Widen(program), &line);
  for (const std::string& argument : args) AppendQuoted(Widen(argument), &line);
  std::wstring environment = EnvironmentBlock(options.environment);
  const std::wstring folder = options.folder.empty() ? std::wstring() : options.folder.wstring();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles[0];
  startup.hStdOutput = handles[1];
  startup.hStdError = handles[2];
  PROCESS_INFORMATION started{};
  const BOOL created =
      CreateProcessW(Widen(program).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                     environment.data(), folder.empty() ? nullptr : folder.c_str(), &startup, &started);
  const DWORD create_error = GetLastError();
  close_all();
  ProgramRun run;
  if (!created) {
    // As on Linux: a program that cannot be found is 127, one that cannot be started 126.
    const bool missing = create_error == ERROR_FILE_NOT_FOUND || create_error == ERROR_PATH_NOT_FOUND;
    run.exit_code = missing ? 127 : 126;
    run.errors = "cannot run " + program + ": error " + std::to_string(create_error) + "\n";
    if (folder.empty() || std::filesystem::is_directory(options.folder)) return run;
    run.exit_code = 126;
    return run;
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  run.exit_code = static_cast<int>(code);
  run.output = ReadFile(output);
  run.errors = ReadFile(errors);
  return run;
}
