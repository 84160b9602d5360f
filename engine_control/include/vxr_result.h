// The result type and result codes of the engine control library, on their own so that code
// which only passes results around needs nothing else of the library's interface.
#pragma once

#include <cstdint>

using VXRResult = uint32_t;

// ---- Result codes -------------------------------------------------------------------------
inline constexpr VXRResult VXR_LIB_SUCCESS = 0x00000000;
inline constexpr VXRResult VXR_LIB_FAIL = 0x80000001;
inline constexpr VXRResult VXR_LIB_NOT_EXIST = 0x80000002;
inline constexpr VXRResult VXR_LIB_WAIT_FAIL = 0x80000003;
inline constexpr VXRResult VXR_LIB_GET_RETVALUE_FAIL = 0x80000004;
inline constexpr VXRResult VXR_LIB_INVALID_PARAMETER = 0x80000005;
inline constexpr VXRResult VXR_LIB_EXECUTE_FAIL = 0x80000006;
inline constexpr VXRResult VXR_LIB_QUIT_NONEEXIST = 0x80000007;
inline constexpr VXRResult VXR_LIB_PATTERN_NOT_EXIST = 0x80000008;
inline constexpr VXRResult VXR_LIB_INVALID_VXREXE = 0x80000009;
inline constexpr VXRResult VXR_LIB_PTN_LOCK = 0x8000000A;
inline constexpr VXRResult VXR_LIB_PTN_VER_FAIL = 0x8000000B;
inline constexpr VXRResult VXR_LIB_INVALID_PATHNAME = 0x8000000C;
inline constexpr VXRResult VXR_LIB_FAIL_READ_INI = 0x8000000D;
inline constexpr VXRResult VXR_LIB_NOT_SUPPORT_NOW = 0x8000000E;
inline constexpr VXRResult VXR_LIB_PTN_OPEN_FAIL = 0x8000000F;
inline constexpr VXRResult VXR_LIB_NOT_EXIST_VIRUSNA = 0x80000010;
inline constexpr VXRResult VXR_LIB_BUFFER_TOO_SHORT = 0x80000011;
inline constexpr VXRResult VXR_LIB_ALREADY_INIT = 0x80000012;
inline constexpr VXRResult VXR_LIB_NOT_INIT = 0x80000013;
inline constexpr VXRResult VXR_LIB_INVALID_SIGNATURE = 0x80000014;
// Engine exit codes with names; VXRExecute passes them through.
inline constexpr VXRResult VXR_RET_INIT_EXIST_INSTANCE = static_cast<VXRResult>(-90);
inline constexpr VXRResult VXR_RET_REBOOT_MACHINE = static_cast<VXRResult>(-91);
inline constexpr VXRResult VXR_RET_LOAD_PATTERN_FAILED = static_cast<VXRResult>(-93);
