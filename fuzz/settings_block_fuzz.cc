// The engine's settings read on arbitrary blocks, through the real hand-over: the input
// becomes a shared-memory block of this process, which the engine SDK duplicates, maps,
// checks and reads. Each block is read twice: as it is, and with its checksum made to match,
// so that the record walk is reached by more than the rare input with a right checksum.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine_sdk/engine_settings.h"
#include "fuzz/fuzz_support.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "settings_block/settings_block.h"

namespace {

using engine_sdk::ReadStatus;

uint32_t LoadWord(std::span<const std::byte> bytes, size_t at) {
  uint32_t word;
  std::memcpy(&word, bytes.data() + at, sizeof word);
  return word;
}

// Where the header puts the data area, when that is inside the block.
bool DataArea(std::span<const std::byte> block, std::span<const std::byte>* data) {
  if (block.size() < SharedBlock::kHeaderSize) return false;
  uint32_t offset = LoadWord(block, 0);
  uint32_t size = LoadWord(block, 4);
  if (offset != SharedBlock::kHeaderSize || size == 0 || size > block.size() - SharedBlock::kHeaderSize) {
    return false;
  }
  *data = block.subspan(offset, size);
  return true;
}

ReadStatus ReadSettings(const platform::SharedMemoryHandle& handle, std::vector<engine_sdk::EngineSetting>* settings) {
  engine_sdk::BlockLocation location;
  location.handle = static_cast<uint32_t>(handle.value());
  location.process_id = platform::CurrentProcessId();
  std::string error;
  ReadStatus status = engine_sdk::ReadEngineSettings(location, settings, &error);
  FUZZ_CHECK(status == ReadStatus::kOk || !error.empty());
  FUZZ_CHECK(status == ReadStatus::kOk || settings->empty());
  return status;
}

// Every setting read came from a record that lies inside the data area.
void CheckSettings(std::span<const std::byte> data, const std::vector<engine_sdk::EngineSetting>& settings) {
  FUZZ_CHECK(settings.size() <= data.size() / 8);
  for (const engine_sdk::EngineSetting& setting : settings) {
    FUZZ_CHECK(setting.id != 0);
    FUZZ_CHECK(setting.text.size() < data.size());
    // A flag is its record's first data byte, sign-extended.
    if (setting.kind == engine_sdk::SettingKind::kFlag) {
      FUZZ_CHECK(setting.value >= -128 && setting.value <= 127);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // a shared-memory object has at least one byte
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(size);
  FUZZ_CHECK(handle.ok());
  platform::Result<platform::SharedView> view = platform::MapSharedMemory(*handle, true);
  FUZZ_CHECK(view.ok());
  std::span<std::byte> block = view->bytes();
  std::memcpy(block.data(), data, size);

  std::vector<engine_sdk::EngineSetting> settings;
  ReadStatus as_given = ReadSettings(*handle, &settings);
  FUZZ_CHECK(as_given != ReadStatus::kCannotAttach);
  std::span<const std::byte> area;
  if (!DataArea(block, &area)) {
    FUZZ_CHECK(as_given == ReadStatus::kBadBlock);
    return 0;
  }
  if (as_given == ReadStatus::kOk) CheckSettings(area, settings);

  uint32_t checksum = BlockChecksum(area);
  std::memcpy(block.data() + 8, &checksum, sizeof checksum);
  ReadStatus stamped = ReadSettings(*handle, &settings);
  FUZZ_CHECK(stamped == ReadStatus::kOk || stamped == ReadStatus::kBadRecords);
  if (stamped == ReadStatus::kOk) CheckSettings(area, settings);
  return 0;
}
