#include "TestKVE/engine_client.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>

namespace {

std::string LookUp(std::span<const VXRNameEntry> table, uint32_t key) {
  for (const VXRNameEntry& row : table) {
    if (row.value == key) return row.name;
  }
  char unknown[16];
  std::snprintf(unknown, sizeof unknown, "0x%x", key);
  return unknown;
}

// Handles print as their full value in lower-case hex.
uintmax_t HandleValue(VXR_HANDLE handle) { return reinterpret_cast<uintptr_t>(handle); }

const char* OrNull(const char* text) { return text != nullptr ? text : "(null)"; }

int AsSigned(VXRResult result) { return static_cast<int32_t>(result); }

bool IsPatternId(uint32_t id) {
  return id == VXR_STR_SCAN_VIRUS_PATTERN || id == VXR_STR_EXCEPT_VIRUS_PATTERN || id == VXR_STR_RESTORE_VIRUS_PATTERN;
}

int64_t UnixMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

uint32_t SecondsToMilliseconds(uint32_t seconds) {
  return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{seconds} * 1000, UINT32_MAX));
}

}  // namespace

std::string ResultCodeName(VXRResult code) { return LookUp(kResultCodeNames, code); }
std::string SettingIdName(uint32_t id) { return LookUp(kSettingIdNames, id); }

void EngineClient::Trace(const char* format, ...) const {
  if (debug_ != 1) return;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

VXRResult EngineClient::Report(VXRResult result) const {
  if (result != VXR_LIB_SUCCESS) {
    std::printf("Error Code: %s\n", ResultCodeName(result).c_str());
    if (tally_ != nullptr && !warm_up_) tally_->NoteFailure();
    if (failure_observer_) failure_observer_(result, warm_up_);
  }
  return result;
}

VXRResult EngineClient::VXRInitLib(const char* folder, const char* exe_name) {
  Trace(">>> VXRInitLib()\n");
  VXRResult result = ::VXRInitLib(folder, exe_name);
  Trace("<<< VXRInitLib() : %s\\%s \n", OrNull(folder), OrNull(exe_name));
  Trace("<<< VXRInitLib() : %d\n", AsSigned(result));
  return Report(result);
}

VXRResult EngineClient::VXRInitScanContext() {
  Trace(">>> VXRInitScanContext()\n");
  VXRResult result = ::VXRInitScanContext(&context_);
  Trace("<<< VXRInitScanContext() : rc = %d, SC = %jx\n", AsSigned(result), HandleValue(context_));
  return Report(result);
}

VXRResult EngineClient::VXRSetFlagInfo(uint32_t id, uint32_t value) {
  Trace(">>> VXRSetFlagInfo(SC = %jx, dwID = %s, Value = %d)\n", HandleValue(context_), SettingIdName(id).c_str(),
        static_cast<int32_t>(value));
  VXRResult result = ::VXRSetFlagInfo(context_, id, value);
  Trace("<<< VXRSetFlagInfo() : %d\n", AsSigned(result));
  return Report(result);
}

VXRResult EngineClient::VXRGetFlagInfo(uint32_t id, uint32_t* flag) {
  Trace(">>> VXRGetFlagInfo(SC = %jx, dwID = %s)\n", HandleValue(context_), SettingIdName(id).c_str());
  VXRResult result = ::VXRGetFlagInfo(context_, id, flag);
  Trace("<<< VXRGetFlagInfo() : rc = %d, Flag = %d\n", AsSigned(result),
        flag != nullptr ? static_cast<int32_t>(*flag) : 0);
  return Report(result);
}

VXRResult EngineClient::VXRSetValueInfo(uint32_t id, int32_t value) {
  Trace(">>> VXRSetValueInfo(SC = %jx, dwID = %s, Flag = %d)\n", HandleValue(context_), SettingIdName(id).c_str(),
        value);
  VXRResult result = ::VXRSetValueInfo(context_, id, value);
  Trace("<<< VXRSetValueInfo() : %d\n", AsSigned(result));
  return Report(result);
}

VXRResult EngineClient::VXRGetValueInfo(uint32_t id, int32_t* value) {
  Trace(">>> VXRGetValueInfo(SC = %jx, dwID = %d)\n", HandleValue(context_), static_cast<int32_t>(id));
  VXRResult result = ::VXRGetValueInfo(context_, id, value);
  Trace("<<< VXRGetValueInfo() : rc = %d, Value = %d\n", AsSigned(result), value != nullptr ? *value : 0);
  return Report(result);
}

VXRResult EngineClient::VXRSetStringInfo(uint32_t id, const char* string) {
  // The library gets a private copy; when it cannot be made, a null string goes through and
  // the library refuses it.
  std::optional<std::string> copy;
  if (string != nullptr) {
    try {
      copy.emplace(string);
    } catch (const std::bad_alloc&) {
      copy.reset();
    }
  }
  const char* passed = copy ? copy->c_str() : nullptr;
  Trace(">>> VXRSetStringInfo(SC = %jx, dwID = %s, String = %s)\n", HandleValue(context_), SettingIdName(id).c_str(),
        OrNull(passed));
  VXRResult result = ::VXRSetStringInfo(context_, id, passed);
  if (result == VXR_LIB_SUCCESS && IsPatternId(id)) pattern_names_.push_back(passed);
  Trace("<<< VXRSetStringInfo() : %d\n", AsSigned(result));
  return Report(result);
}

VXRResult EngineClient::VXRGetStringInfo(uint32_t id, char* buffer, uint32_t* length) {
  Trace(">>> VXRGetStringInfo(SC = %jx, dwID = %s)\n", HandleValue(context_), SettingIdName(id).c_str());
  VXRResult result = ::VXRGetStringInfo(context_, id, buffer, length);
  Trace("<<< VXRGetStringInfo() : rc = %d, String = %s, dwLen = %d\n", AsSigned(result), OrNull(buffer),
        length != nullptr ? static_cast<int32_t>(*length) : 0);
  return Report(result);
}

VXRResult EngineClient::VXRExecute(uint32_t mode) {
  std::printf("Launch KVE program\n");
  Trace(">>> VXRExecute(SC = %jx, dwMode = %d)\n", HandleValue(context_), static_cast<int32_t>(mode));
  const uint32_t limit_ms = SecondsToMilliseconds(time_limit_s_);
  const EngineRun run = RunEngine(mode, limit_ms);
  Trace("<<< VXRExecute() : %d\n", AsSigned(run.result));
  if (run.usage.timedOut != 0) std::printf("Engine timed out after %u s\n", time_limit_s_);
  Report(run.result);
  if (observer_) observer_(run);
  return run.result;
}

VXRResult EngineClient::VXRExecuteWithLimit(uint32_t mode, uint32_t limit_ms, VXRRunUsage* usage) {
  std::printf("Launch KVE program\n");
  Trace(">>> VXRExecuteWithLimit(SC = %jx, dwMode = %d, dwLimitMs = %u)\n", HandleValue(context_),
        static_cast<int32_t>(mode), limit_ms);
  const EngineRun run = RunEngine(mode, limit_ms);
  if (usage != nullptr) *usage = run.usage;
  Trace("<<< VXRExecuteWithLimit() : rc = %d, timed out = %u, wall us = %ju, peak KiB = %ju\n", AsSigned(run.result),
        run.usage.timedOut, uintmax_t{run.usage.wallUs}, uintmax_t{run.usage.peakRssKiB});
  if (run.usage.timedOut != 0) std::printf("Engine timed out after %u ms\n", limit_ms);
  Report(run.result);
  if (observer_) observer_(run);
  return run.result;
}

VXRResult EngineClient::ExecuteCapturing(uint32_t mode, uint32_t limit_ms, EngineRun* run) const {
  EngineOutput& kept = run->output.emplace();
  kept.output.resize(kKeptOutputBytes);
  kept.error.resize(kKeptOutputBytes);
  VXREngineOutput output = {{kept.output.data(), kKeptOutputBytes, 0, 0}, {kept.error.data(), kKeptOutputBytes, 0, 0}};
  const VXRResult result = ::VXRExecuteCapturing(context_, mode, limit_ms, &run->usage, &output);
  kept.output.resize(output.output.length);
  kept.error.resize(output.error.length);
  kept.output_bytes = output.output.total;
  kept.error_bytes = output.error.total;
  return result;
}

EngineRun EngineClient::RunEngine(uint32_t mode, uint32_t limit_ms) {
  // The engine writes to the same terminal; what the harness printed must come first.
  std::fflush(stdout);
  EngineRun run;
  run.pattern_names = std::move(pattern_names_);
  pattern_names_.clear();
  run.random_seeds = std::move(random_seeds_);
  random_seeds_.clear();
  run.warm_up = warm_up_;
  run.start_unix_ms = UnixMilliseconds();
  run.result =
      capture_ ? ExecuteCapturing(mode, limit_ms, &run) : ::VXRExecuteWithLimit(context_, mode, limit_ms, &run.usage);
  last_run_stop_signal_ = run.usage.stopSignal;
  if (tally_ != nullptr && last_run_stop_signal_ != 0) tally_->NoteStop(last_run_stop_signal_);
  // An engine in the terminal's background that uses the terminal would wait there for ever;
  // the library ended it instead.
  if (run.usage.terminalStop == 1) {
    std::fprintf(stderr, "testkve: the engine stopped reading the terminal; give it standard input with `<`\n");
  } else if (run.usage.terminalStop == 2) {
    std::fprintf(stderr,
                 "testkve: the engine stopped writing to or setting the terminal; give it standard output with `>`\n");
  }
  return run;
}

VXRResult EngineClient::Quit() {
  if (context_ != nullptr) {
    Trace(">>> VXRQuitScanContext(SC=%jx)\n", HandleValue(context_));
    VXRResult context_result = ::VXRQuitScanContext(context_);
    Trace("<<< VXRQuitScanContext(): %d\n", AsSigned(context_result));
    context_ = nullptr;
  }
  Trace(">>> VXRQuitLib()\n");
  VXRResult result = ::VXRQuitLib();
  Trace("<<< VXRQuitLib(): %d\n", AsSigned(result));
  return Report(result);
}
