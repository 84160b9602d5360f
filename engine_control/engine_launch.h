// Starts one engine process with a settings block and waits for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "settings_block/block_record.h"
#include "vxr_lib.h"

/// Writes `records` (terminator included; `data_size` is the sum of their sizes) into a fresh
/// checksummed settings block, starts the engine at `engine_path` with " /SMH=" and " /PI=",
/// waits, and returns its exit code sign-extended from 8 bits, or 0xC0000000 plus the number
/// of the signal that ended it. Fails with VXR_LIB_INVALID_PARAMETER (no path, `dw_mode` above
/// 1), VXR_LIB_FAIL (no block, or the records do not fit it), VXR_LIB_EXECUTE_FAIL (the engine
/// did not start) or VXR_LIB_WAIT_FAIL. `dw_mode` 0 shares the terminal, 1 detaches.
/// A `limit_ms` above 0 bounds the run (see VXRExecuteWithLimit); a non-null `usage`
/// receives its cost. The engine started is the file at `engine_path` as opened now (callers
/// that checked an engine use the overload below). While it runs, SIGINT, SIGTERM and SIGHUP
/// to this process end it first (platform/stop_signals.h), and `usage->stopSignal` tells the
/// signal.
VXRResult LaunchEngine(const char* engine_path, const std::vector<std::unique_ptr<BlockRecord>>& records,
                       uint32_t data_size, uint32_t dw_mode, uint32_t limit_ms = 0, VXRRunUsage* usage = nullptr);

/// How long an engine past its time limit has between SIGTERM and SIGKILL.
inline constexpr uint32_t kTerminationGraceMs = 2000;

/// The same, starting the open file `engine_file`, never the path again; `engine_path` is the
/// name the engine sees as argv[0] and on its command line. A non-null `output` keeps the end
/// of the engine's output and error, as VXRExecuteCapturing says.
VXRResult LaunchEngine(const char* engine_path, const platform::OpenFile& engine_file,
                       const std::vector<std::unique_ptr<BlockRecord>>& records, uint32_t data_size, uint32_t dw_mode,
                       uint32_t limit_ms = 0, VXRRunUsage* usage = nullptr, VXREngineOutput* output = nullptr);

/// The engine's command line: the text "\"<path>\" /SMH=<handle> /PI=<process id>" (numbers in
/// unsigned decimal) and the argv it stands for, which is what the engine is started with.
struct EngineCommand {
  std::string text;
  std::vector<std::string> argv;
};
EngineCommand MakeEngineCommand(const char* engine_path, uint32_t handle, uint32_t process_id);
