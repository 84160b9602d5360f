// The contract between the harness and every engine: setting IDs, execute modes, pattern
// magics, result codes and their names, the size of a path field, the names of the mailslots
// and of the extra-output module, and the environment the engine is started with. The harness,
// the engine SDK and the reference engine all take them from here; the library's operations
// are in vxr_lib.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "vxr_result.h"

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

// ---- Paths ---------------------------------------------------------------------------------
/// The size of a path or name field, its terminator included: a path or name that does not fit
/// is refused or cut, as the operation that takes it says.
inline constexpr size_t kPathFieldSize = 260;

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

// ---- Mailslots and modules ----------------------------------------------------------------
/// Where the harness collects extra output while the extra-output module is named.
inline constexpr char kExtraOutputSlotName[] = "\\\\.\\mailslot\\ExtraOutput";
/// Where the harness collects the pattern names in pattern-list mode, one per message.
inline constexpr char kPatternNameSlotName[] = "\\\\.\\mailslot\\ExtraPatternName";
/// The module that, named in VXR_STR_EXTRA_OUTPUTS, asks the engine for extra output.
inline constexpr char kExtraOutputModuleName[] = "KVPExtOutput.DLL";

// ---- The engine's environment --------------------------------------------------------------
/// The variable that names the folder holding the mailslots of the harness run that started the
/// engine (an absolute path). An engine that finds it writes its messages there; one that does
/// not read it writes to the slots of the names above, which that run serves too when no other
/// run holds them.
inline constexpr char kMailslotFolderVariable[] = "TESTKVE_MAILSLOT_FOLDER";
