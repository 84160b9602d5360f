// The driver's traced client of the control library: forwards each call with its own context
// handle, traces it when the debug switch is 1, and always prints the name of a failure.
#pragma once

#include <cstdint>

#include "vxr_lib.h"

/// The name of a result code, or its "0x%x" form in a static buffer shared with SettingIdName.
const char* ResultCodeName(VXRResult code);
/// The name of a setting ID or execute mode, or its "0x%x" form (same buffer).
const char* SettingIdName(uint32_t id);

class EngineClient {
 public:
  EngineClient() = default;
  virtual ~EngineClient() = default;
  EngineClient(const EngineClient&) = delete;
  EngineClient& operator=(const EngineClient&) = delete;

  /// Tracing is on only when the switch equals 1.
  void set_debug(int32_t debug) { debug_ = debug; }
  VXR_HANDLE context() const { return context_; }

  VXRResult VXRInitLib(const char* folder, const char* exe_name);
  VXRResult VXRInitScanContext();
  VXRResult VXRSetFlagInfo(uint32_t id, uint32_t value);
  VXRResult VXRGetFlagInfo(uint32_t id, uint32_t* flag);
  VXRResult VXRSetValueInfo(uint32_t id, int32_t value);
  VXRResult VXRGetValueInfo(uint32_t id, int32_t* value);
  VXRResult VXRSetStringInfo(uint32_t id, const char* string);
  VXRResult VXRGetStringInfo(uint32_t id, char* buffer, uint32_t* length);
  VXRResult VXRExecute(uint32_t mode);
  /// Closes the context when one is open, then the library; returns VXRQuitLib's result.
  VXRResult Quit();

 private:
  void Trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  VXRResult Report(VXRResult result) const;

  int32_t debug_ = 0;
  VXR_HANDLE context_ = nullptr;
};
