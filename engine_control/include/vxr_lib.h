// The engine control library: the one public header.
//
// Every operation returns a 32-bit result code. The library checks its preconditions in a
// fixed order (initialised, then arguments, then the context handle), lets the first failing
// check decide, and never prints. Callers use it from one thread at a time.
#pragma once

#include <cstdint>
#include <span>

#include "vxr_result.h"

/// Opaque handle of one scan context, valid from VXRInitScanContext to VXRQuitScanContext.
using VXR_HANDLE = struct VXRContextHandle*;

// ---- Setting IDs: the top byte is the class (0x00 string, 0x01 flag, 0x02 value) -----------
inline constexpr uint32_t VXR_STR_PATTERN_DIR = 1;
inline constexpr uint32_t VXR_STR_BACKUP_DIR = 2;
inline constexpr uint32_t VXR_STR_DEBUG_LOG_DIR = 3;
inline constexpr uint32_t VXR_STR_REPORT_DIR = 4;
inline constexpr uint32_t VXR_STR_EXTRA_OUTPUTS = 5;
inline constexpr uint32_t VXR_STR_PATTERN_FILENAME = 6;
inline constexpr uint32_t VXR_STR_PATTERN_VER = 7;
inline constexpr uint32_t VXR_STR_VXR_VER = 8;
inline constexpr uint32_t VXR_STR_SCAN_VIRUS_PATTERN = 9;
inline constexpr uint32_t VXR_STR_SECTION_OPTIONS = 10;
inline constexpr uint32_t VXR_STR_SECTION_ADVANCED = 11;
inline constexpr uint32_t VXR_STR_VXR_BUILD_NUMBER = 12;
inline constexpr uint32_t VXR_STR_EXCEPT_VIRUS_PATTERN = 13;
inline constexpr uint32_t VXR_STR_RESTORE_VIRUS_PATTERN = 14;
inline constexpr uint32_t VXR_STR_VIRUS_FILE_PATH = 15;
inline constexpr uint32_t VXR_STR_VIRUS_NAME_MORVA = 16;

inline constexpr uint32_t VXR_FLG_BACKUP_FILE = 0x01000001;
inline constexpr uint32_t VXR_FLG_VIRUS_MSG_BOX = 0x01000002;
inline constexpr uint32_t VXR_FLG_NOVIRUS_MSG_BOX = 0x01000003;
inline constexpr uint32_t VXR_FLG_DISABLE_CONSOLE_OUTPUT = 0x01000004;
inline constexpr uint32_t VXR_FLG_DISABLE_REPORT_OUTPUT = 0x01000005;
inline constexpr uint32_t VXR_FLG_DETACH_CONSOLE = 0x01000006;
inline constexpr uint32_t VXR_FLG_DISABLE_DEBUG_OUTPUT = 0x01000007;
inline constexpr uint32_t VXR_FLG_SPYWARE_QUICK_SCAN = 0x01000008;
inline constexpr uint32_t VXR_FLG_ENABLE_GENCLEAN = 0x01000009;
inline constexpr uint32_t VXR_FLG_ENABLE_QZ_SPYWARE = 0x0100000A;

inline constexpr uint32_t VXR_INT_DEBUG_INFO_LEVEL = 0x02000001;
inline constexpr uint32_t VXR_INT_PATTERN_VER = 0x02000002;
inline constexpr uint32_t VXR_INT_EXECUTE_MODE = 0x02000003;
inline constexpr uint32_t VXR_INT_ENABLE_PATTERN_MAGIC = 0x02000004;
inline constexpr uint32_t VXR_INT_DISABLE_PATTERN_MAGIC = 0x02000005;

// ---- Execute modes: values of VXR_INT_EXECUTE_MODE -----------------------------------------
inline constexpr int32_t SCAN_ALL_WITH_CLEAN = 0x00010001;
inline constexpr int32_t SCAN_ALL_WITHOUT_CLEAN = 0x00010002;
inline constexpr int32_t SCAN_ASSIGN = 0x00010011;
inline constexpr int32_t SCAN_ASSIGN_NO_CLEAN = 0x00010012;
inline constexpr int32_t DUMP_PATTERNS_ONLY = 0x00020001;
inline constexpr int32_t RESTORE_ONLY = 0x00020002;
inline constexpr int32_t DUMP_BACKUP_FILE = 0x00020003;

// ---- Pattern magics accepted by the two pattern-magic IDs ----------------------------------
inline constexpr int32_t kPatternMagics[] = {0x1ABDD51A, 0x1ABDE31A, 0x1ABDE51A, 0x1ABDE91A};

// ---- Name tables ---------------------------------------------------------------------------
struct VXRNameEntry {
  uint32_t value;
  const char* name;
};

/// The 24 result codes in table order; a lookup takes the first row whose value matches.
inline constexpr VXRNameEntry kResultCodeNames[] = {
    {VXR_LIB_SUCCESS, "VXR_LIB_SUCCESS"},
    {VXR_LIB_FAIL, "VXR_LIB_FAIL"},
    {VXR_LIB_NOT_EXIST, "VXR_LIB_NOT_EXIST"},
    {VXR_LIB_WAIT_FAIL, "VXR_LIB_WAIT_FAIL"},
    {VXR_LIB_GET_RETVALUE_FAIL, "VXR_LIB_GET_RETVALUE_FAIL"},
    {VXR_LIB_INVALID_PARAMETER, "VXR_LIB_INVALID_PARAMETER"},
    {VXR_LIB_EXECUTE_FAIL, "VXR_LIB_EXECUTE_FAIL"},
    {VXR_LIB_QUIT_NONEEXIST, "VXR_LIB_QUIT_NONEEXIST"},
    {VXR_LIB_PATTERN_NOT_EXIST, "VXR_LIB_PATTERN_NOT_EXIST"},
    {VXR_LIB_INVALID_VXREXE, "VXR_LIB_INVALID_VXREXE"},
    {VXR_LIB_PTN_LOCK, "VXR_LIB_PTN_LOCK"},
    {VXR_LIB_PTN_VER_FAIL, "VXR_LIB_PTN_VER_FAIL"},
    {VXR_LIB_INVALID_PATHNAME, "VXR_LIB_INVALID_PATHNAME"},
    {VXR_LIB_FAIL_READ_INI, "VXR_LIB_FAIL_READ_INI"},
    {VXR_LIB_NOT_SUPPORT_NOW, "VXR_LIB_NOT_SUPPORT_NOW"},
    {VXR_LIB_PTN_OPEN_FAIL, "VXR_LIB_PTN_OPEN_FAIL"},
    {VXR_LIB_NOT_EXIST_VIRUSNA, "VXR_LIB_NOT_EXIST_VIRUSNA"},
    {VXR_LIB_BUFFER_TOO_SHORT, "VXR_LIB_BUFFER_TOO_SHORT"},
    {VXR_LIB_ALREADY_INIT, "VXR_LIB_ALREADY_INIT"},
    {VXR_LIB_NOT_INIT, "VXR_LIB_NOT_INIT"},
    {VXR_LIB_INVALID_SIGNATURE, "VXR_LIB_INVALID_SIGNATURE"},
    {VXR_RET_INIT_EXIST_INSTANCE, "VXR_RET_INIT_EXIST_INSTANCE"},
    {VXR_RET_REBOOT_MACHINE, "VXR_RET_REBOOT_MACHINE"},
    {VXR_RET_LOAD_PATTERN_FAILED, "VXR_RET_LOAD_PATTERN_FAILED"},
};

/// The 16 string IDs, 10 flag IDs, 5 value IDs and 7 execute modes, in this order.
inline constexpr VXRNameEntry kSettingIdNames[] = {
    {VXR_STR_PATTERN_DIR, "VXR_STR_PATTERN_DIR"},
    {VXR_STR_BACKUP_DIR, "VXR_STR_BACKUP_DIR"},
    {VXR_STR_DEBUG_LOG_DIR, "VXR_STR_DEBUG_LOG_DIR"},
    {VXR_STR_REPORT_DIR, "VXR_STR_REPORT_DIR"},
    {VXR_STR_EXTRA_OUTPUTS, "VXR_STR_EXTRA_OUTPUTS"},
    {VXR_STR_PATTERN_FILENAME, "VXR_STR_PATTERN_FILENAME"},
    {VXR_STR_PATTERN_VER, "VXR_STR_PATTERN_VER"},
    {VXR_STR_VXR_VER, "VXR_STR_VXR_VER"},
    {VXR_STR_SCAN_VIRUS_PATTERN, "VXR_STR_SCAN_VIRUS_PATTERN"},
    {VXR_STR_SECTION_OPTIONS, "VXR_STR_SECTION_OPTIONS"},
    {VXR_STR_SECTION_ADVANCED, "VXR_STR_SECTION_ADVANCED"},
    {VXR_STR_VXR_BUILD_NUMBER, "VXR_STR_VXR_BUILD_NUMBER"},
    {VXR_STR_EXCEPT_VIRUS_PATTERN, "VXR_STR_EXCEPT_VIRUS_PATTERN"},
    {VXR_STR_RESTORE_VIRUS_PATTERN, "VXR_STR_RESTORE_VIRUS_PATTERN"},
    {VXR_STR_VIRUS_FILE_PATH, "VXR_STR_VIRUS_FILE_PATH"},
    {VXR_STR_VIRUS_NAME_MORVA, "VXR_STR_VIRUS_NAME_MORVA"},
    {VXR_FLG_BACKUP_FILE, "VXR_FLG_BACKUP_FILE"},
    {VXR_FLG_VIRUS_MSG_BOX, "VXR_FLG_VIRUS_MSG_BOX"},
    {VXR_FLG_NOVIRUS_MSG_BOX, "VXR_FLG_NOVIRUS_MSG_BOX"},
    {VXR_FLG_DISABLE_CONSOLE_OUTPUT, "VXR_FLG_DISABLE_CONSOLE_OUTPUT"},
    {VXR_FLG_DISABLE_REPORT_OUTPUT, "VXR_FLG_DISABLE_REPORT_OUTPUT"},
    {VXR_FLG_DETACH_CONSOLE, "VXR_FLG_DETACH_CONSOLE"},
    {VXR_FLG_DISABLE_DEBUG_OUTPUT, "VXR_FLG_DISABLE_DEBUG_OUTPUT"},
    {VXR_FLG_SPYWARE_QUICK_SCAN, "VXR_FLG_SPYWARE_QUICK_SCAN"},
    {VXR_FLG_ENABLE_GENCLEAN, "VXR_FLG_ENABLE_GENCLEAN"},
    {VXR_FLG_ENABLE_QZ_SPYWARE, "VXR_FLG_ENABLE_QZ_SPYWARE"},
    {VXR_INT_DEBUG_INFO_LEVEL, "VXR_INT_DEBUG_INFO_LEVEL"},
    {VXR_INT_PATTERN_VER, "VXR_INT_PATTERN_VER"},
    {VXR_INT_EXECUTE_MODE, "VXR_INT_EXECUTE_MODE"},
    {VXR_INT_ENABLE_PATTERN_MAGIC, "VXR_INT_ENABLE_PATTERN_MAGIC"},
    {VXR_INT_DISABLE_PATTERN_MAGIC, "VXR_INT_DISABLE_PATTERN_MAGIC"},
    {SCAN_ALL_WITH_CLEAN, "SCAN_ALL_WITH_CLEAN"},
    {SCAN_ALL_WITHOUT_CLEAN, "SCAN_ALL_WITHOUT_CLEAN"},
    {SCAN_ASSIGN, "SCAN_ASSIGN"},
    {SCAN_ASSIGN_NO_CLEAN, "SCAN_ASSIGN_NO_CLEAN"},
    {DUMP_PATTERNS_ONLY, "DUMP_PATTERNS_ONLY"},
    {RESTORE_ONLY, "RESTORE_ONLY"},
    {DUMP_BACKUP_FILE, "DUMP_BACKUP_FILE"},
};

static_assert(std::size(kResultCodeNames) == 24);
static_assert(std::size(kSettingIdNames) == 38);

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
};
/// VXRExecute with a time limit of `dwLimitMs` milliseconds (0: none). When the limit passes,
/// the engine's process group gets SIGTERM, a short grace later SIGKILL, and the result is
/// VXR_LIB_WAIT_FAIL with `usage->timedOut` 1. `usage` may be null; otherwise it receives
/// the run's cost, and zeros when no engine ran.
VXRResult VXRExecuteWithLimit(VXR_HANDLE sc, uint32_t dwMode, uint32_t dwLimitMs, VXRRunUsage* usage);
/// Whether the pattern file holds `virusName`.
VXRResult VXRQueryVirusName(VXR_HANDLE sc, const char* patternPath, const char* virusName);
/// Checks the appended signature of `filePath`, or of the engine when it is null.
VXRResult VXRVerifySignature(const char* filePath);
