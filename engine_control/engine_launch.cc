#include "engine_control/engine_launch.h"

#include <chrono>
#include <optional>

#include "engine_control/output_tail.h"
#include "platform/output_tee.h"
#include "platform/process.h"
#include "platform/stop_signals.h"
#include "settings_block/settings_block.h"

namespace {

// A signal death can never look like an exit status, which Linux keeps to 8 bits.
constexpr VXRResult kSignalResultBase = 0xC0000000;

// Writes every record into a fresh block; false when the block cannot be made or a record
// does not fit, in which case no engine may start on half its settings.
bool FillBlock(SharedBlock& block, const std::vector<std::unique_ptr<BlockRecord>>& records, uint32_t data_size) {
  const uint64_t block_size = uint64_t{SharedBlock::kHeaderSize} + data_size;
  if (block_size > UINT32_MAX || !block.Create(static_cast<uint32_t>(block_size))) return false;
  block.OpenForWriting();
  for (const std::unique_ptr<BlockRecord>& record : records) {
    if (record == nullptr || !block.Append(*record)) return false;
  }
  block.Finish();
  return true;
}

VXRResult ResultOf(const platform::ProcessOutcome& outcome) {
  using Kind = platform::ProcessOutcome::Kind;
  switch (outcome.kind) {
    case Kind::kExited:
      // Windows keeps the whole 32-bit code (a crash is 0xC0000005). Linux keeps 8 bits: the
      // engine's exit(-91) arrives as status 165, and sign-extending restores -91.
      if (outcome.full_width) return static_cast<VXRResult>(outcome.code);
      return static_cast<VXRResult>(static_cast<int32_t>(static_cast<int8_t>(outcome.code)));
    case Kind::kSignaled:
      return kSignalResultBase + static_cast<VXRResult>(outcome.code);
    case Kind::kWaitFailed:
      return VXR_LIB_WAIT_FAIL;
    case Kind::kNotStarted:
      break;
  }
  return VXR_LIB_EXECUTE_FAIL;
}

bool EngineStarted(const platform::TimedWaitResult& waited) {
  return waited.outcome.kind != platform::ProcessOutcome::Kind::kNotStarted;
}

VXRRunUsage UsageOf(const platform::TimedWaitResult& waited, std::chrono::steady_clock::duration wall, bool contained) {
  const auto wall_us = std::chrono::duration_cast<std::chrono::microseconds>(wall).count();
  return {waited.timed_out ? 1u : 0u,
          static_cast<uint64_t>(wall_us),
          waited.usage.user_us,
          waited.usage.system_us,
          waited.usage.peak_rss_kib,
          0,
          static_cast<uint32_t>(waited.terminal_stop),
          contained ? 1u : 0u};
}

// The engine's output and error through a tee into the tails of `output`, while it runs.
class CapturedOutput {
 public:
  CapturedOutput(VXREngineOutput* output, bool echo) : output_tail_(&output->output), error_tail_(&output->error) {
    tee_ = platform::OutputTee::Start(echo, [this](platform::OutputStream stream, std::string_view bytes) {
      (stream == platform::OutputStream::kOutput ? output_tail_ : error_tail_).Add(bytes);
    });
  }
  bool ok() const { return tee_ != nullptr; }
  const platform::ChildOutputs* child_outputs() {
    child_outputs_ = tee_->child_outputs();
    return &child_outputs_;
  }
  void EngineStarted() { tee_->CloseChildEnds(); }
  void EngineEnded() {
    tee_->Finish();
    output_tail_.Finish();
    error_tail_.Finish();
  }

 private:
  OutputTail output_tail_;
  OutputTail error_tail_;
  platform::ChildOutputs child_outputs_;
  std::unique_ptr<platform::OutputTee> tee_;
};

}  // namespace

EngineCommand MakeEngineCommand(const char* engine_path, uint32_t handle, uint32_t process_id) {
  const std::string path = engine_path;
  const std::string handle_option = "/SMH=" + std::to_string(handle);
  const std::string process_option = "/PI=" + std::to_string(process_id);
  EngineCommand command;
  command.text = "\"" + path + "\" " + handle_option + " " + process_option;
  command.argv = {path, handle_option, process_option};
  return command;
}

VXRResult LaunchEngine(const char* engine_path, const std::vector<std::unique_ptr<BlockRecord>>& records,
                       uint32_t data_size, uint32_t dw_mode, uint32_t limit_ms, VXRRunUsage* usage) {
  if (usage != nullptr) *usage = {};
  if (engine_path == nullptr) return VXR_LIB_INVALID_PARAMETER;
  const platform::OpenFile engine_file = platform::OpenFile::Open(engine_path);
  return LaunchEngine(engine_path, engine_file, records, data_size, dw_mode, limit_ms, usage);
}

VXRResult LaunchEngine(const char* engine_path, const platform::OpenFile& engine_file,
                       const std::vector<std::unique_ptr<BlockRecord>>& records, uint32_t data_size, uint32_t dw_mode,
                       uint32_t limit_ms, VXRRunUsage* usage, VXREngineOutput* output) {
  if (usage != nullptr) *usage = {};
  if (engine_path == nullptr || dw_mode > 1) return VXR_LIB_INVALID_PARAMETER;
  // A detached engine's output reached no console before; kept, it still reaches none.
  std::optional<CapturedOutput> captured;
  if (output != nullptr && !captured.emplace(output, dw_mode == 0).ok()) return VXR_LIB_FAIL;
  // The block stays mapped and its handle open until the engine has ended: the engine
  // duplicates the handle from this process while it starts.
  SharedBlock block;
  if (!FillBlock(block, records, data_size)) return VXR_LIB_FAIL;
  const EngineCommand command = MakeEngineCommand(engine_path, block.Handle(), platform::CurrentProcessId());
  const auto mode = dw_mode == 1 ? platform::ConsoleMode::kDetached : platform::ConsoleMode::kShared;
  std::optional<std::chrono::milliseconds> limit;
  if (limit_ms > 0) limit = std::chrono::milliseconds(limit_ms);
  const auto start = std::chrono::steady_clock::now();
  platform::StopSignalRelay relay;
  platform::ChildProcess engine = platform::ChildProcess::SpawnContained(
      engine_file, command.argv, mode, captured ? captured->child_outputs() : nullptr);
  if (captured) captured->EngineStarted();
  // The engine leads a process group of its own in both modes: a stop signal ends the group.
  relay.Watch(engine, true);
  const platform::TimedWaitResult waited = engine.WaitFor(limit, std::chrono::milliseconds(kTerminationGraceMs));
  if (captured) captured->EngineEnded();
  if (usage != nullptr && EngineStarted(waited)) {
    *usage = UsageOf(waited, std::chrono::steady_clock::now() - start, engine.contained());
    usage->stopSignal = relay.relayed();
  }
  return waited.timed_out ? VXR_LIB_WAIT_FAIL : ResultOf(waited.outcome);
}
