// The engine control library: its operations. The contract they speak (setting IDs, modes,
// result codes) is in vxr_contract.h, which this includes.
//
// Every operation returns a 32-bit result code. The library checks its preconditions in a
// fixed order (initialised, then arguments, then the context handle), lets the first failing
// check decide, and never prints. Callers use it from one thread at a time.
#pragma once

#include <cstdint>
#include <span>

#include "vxr_contract.h"

/// Opaque handle of one scan context, valid from VXRInitScanContext to VXRQuitScanContext.
using VXR_HANDLE = struct VXRContextHandle*;

// ---- Operations ----------------------------------------------------------------------------

/// Validates the engine `engineDir`/`engineExeName` ("VXR.EXE" when null), reads its VXR.INI
/// and marks the library initialised. Any failure leaves the library uninitialised.
VXRResult VXRInitLib(const char* engineDir, const char* engineExeName);
/// Releases the library state; open contexts stay allocated but report VXR_LIB_NOT_INIT.
VXRResult VXRQuitLib();
/// Makes a scan context preset from the configuration file and stores its handle in `out`.
VXRResult VXRInitScanContext(VXR_HANDLE* out);
/// Destroys the context; the handle is invalid afterwards.
VXRResult VXRQuitScanContext(VXR_HANDLE sc);
/// Stores 1 for any non-zero `flag`, else 0.
VXRResult VXRSetFlagInfo(VXR_HANDLE sc, uint32_t dwID, uint32_t flag);
VXRResult VXRGetFlagInfo(VXR_HANDLE sc, uint32_t dwID, uint32_t* flag);
/// Value rules are checked before the handle: a level 0..5, one of the seven execute modes,
/// one of the four pattern magics; flag IDs and VXR_INT_PATTERN_VER are refused.
VXRResult VXRSetValueInfo(VXR_HANDLE sc, uint32_t dwID, int32_t value);
VXRResult VXRGetValueInfo(VXR_HANDLE sc, uint32_t dwID, int32_t* value);
/// Replaces the string, or appends it after a line feed for the list IDs.
VXRResult VXRSetStringInfo(VXR_HANDLE sc, uint32_t dwID, const char* string);
/// `*dwLen` 0 asks for the needed size; a smaller size gives VXR_LIB_BUFFER_TOO_SHORT and
/// the needed size; otherwise the text and its terminator are copied and `*dwLen` is kept.
VXRResult VXRGetStringInfo(VXR_HANDLE sc, uint32_t dwID, char* buffer, uint32_t* dwLen);
/// Hands the context's settings to a fresh engine process and returns its exit code, or a
/// library code when it could not be run. `dwMode` 0 shares the terminal, 1 runs detached.
VXRResult VXRExecute(VXR_HANDLE sc, uint32_t dwMode);
/// What one engine run cost. Zero where the engine did not run.
struct VXRRunUsage {
  uint32_t timedOut;    ///< 1 when the time limit ended the engine
  uint64_t wallUs;      ///< wall time from the engine's start to its end, in microseconds
  uint64_t userUs;      ///< the engine's user CPU time, in microseconds
  uint64_t systemUs;    ///< the engine's system CPU time, in microseconds
  uint64_t peakRssKiB;  ///< the engine's peak resident memory, in KiB
  int32_t stopSignal;   ///< a stop signal this process got while the engine ran (the engine was
                        ///< ended first), else 0
  /// 1 when the engine, sharing the terminal from the background, was stopped reading it and
  /// was ended for it; 2 the same for writing to or setting the terminal; else 0.
  uint32_t terminalStop;
  /// 1 when the engine's whole tree was held to end with it, whatever process group or session
  /// its members joined; 0 when the system refused the means (Linux: the engine starter), so
  /// that only the engine's process group was ended with it.
  uint32_t contained;
};
/// VXRExecute with a time limit of `dwLimitMs` milliseconds (0: none). When the limit passes,
/// the engine's process group gets SIGTERM, a short grace later SIGKILL, and the result is
/// VXR_LIB_WAIT_FAIL with `usage->timedOut` 1. `usage` may be null; otherwise it receives
/// the run's cost, and zeros when no engine ran.
VXRResult VXRExecuteWithLimit(VXR_HANDLE sc, uint32_t dwMode, uint32_t dwLimitMs, VXRRunUsage* usage);
/// The last bytes of one of the engine's output streams, in a buffer of the caller's.
struct VXRStreamTail {
  char* buffer;     ///< where the bytes go; the caller's, `size` bytes
  uint32_t size;    ///< the most bytes kept: the last `size` the engine wrote
  uint32_t length;  ///< set: how many bytes `buffer` holds, the engine's last ones, in order
  uint64_t total;   ///< set: how many bytes the engine wrote to the stream in all
};
/// The engine's standard output and error of one run.
struct VXREngineOutput {
  VXRStreamTail output;
  VXRStreamTail error;
};
/// VXRExecuteWithLimit, with the engine's standard output and error read through pipes: each
/// byte still reaches this process's own standard output or error as it comes (with `dwMode`
/// 0; detached, it goes nowhere else, as before), and the last bytes of each stream are kept
/// in `output`. What the engine writes costs no more memory than the buffers, however much it
/// is; the run ends when the engine ends, also when a process it left behind holds a stream.
/// VXR_LIB_FAIL, and no engine runs, when the pipes cannot be made. `output` null is
/// VXRExecuteWithLimit.
VXRResult VXRExecuteCapturing(VXR_HANDLE sc, uint32_t dwMode, uint32_t dwLimitMs, VXRRunUsage* usage,
                              VXREngineOutput* output);
/// What names the engine of a run: the texts of its version information and its file's digest.
/// A text that cannot be read is empty.
struct VXREngineFacts {
  char version[32];  ///< "major.minor" of the file version, as VXRInitLib compares it
  char build[260];   ///< SpecialBuild of the first translation
  char sha256[65];   ///< SHA-256 of the whole file in lower-case hex
};
/// Describes the engine that VXRInitLib would take for `engineDir`/`engineExeName` ("VXR.EXE"
/// when null; a name that differs only in ASCII case is found), reading every fact from one
/// open of that file. Needs no initialisation and changes no state of the library.
/// VXR_LIB_INVALID_PARAMETER for a null `facts` or a path VXRInitLib would refuse, then
/// VXR_LIB_NOT_EXIST when no regular file is there; `facts` is emptied first in every case.
VXRResult VXRDescribeEngine(const char* engineDir, const char* engineExeName, VXREngineFacts* facts);
/// Whether the pattern file holds `virusName`.
VXRResult VXRQueryVirusName(VXR_HANDLE sc, const char* patternPath, const char* virusName);
/// Checks the appended signature of `filePath`, or of the engine when it is null.
VXRResult VXRVerifySignature(const char* filePath);
