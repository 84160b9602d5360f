// The settings block: the shared memory through which the harness hands one scan context's
// settings to the engine. Both sides use this one definition of its format:
//
//   offset 0   data offset (12)       all integers 32-bit little-endian
//   offset 4   data size              bytes of all records, terminator included
//   offset 8   checksum               BlockChecksum of the data area
//   offset 12  records                ID, length, length data bytes; no padding
//
// The last record is the terminator: ID 0, length 4, data 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/shared_memory.h"
#include "settings_block/block_record.h"

/// CRC-32 with the reflected polynomial 0xEDB88320, initial value 0 and no final complement:
/// "abc" gives 0xCA6598D0, no bytes give 0.
uint32_t BlockChecksum(std::span<const std::byte> data);

/// The operations both ends of the settings hand-over use.
class SettingsChannel {
 public:
  virtual ~SettingsChannel() = default;
  /// Makes a fresh block of `size` bytes (header included) with an empty, zeroed data area.
  virtual bool Create(uint32_t size) = 0;
  /// Closes the block's handle; a mapped view stays usable. Always true.
  virtual bool Close() = 0;
  /// The engine's side: takes the block that process `process_id` holds as `handle` and
  /// accepts it only when its header is sound and its checksum matches.
  virtual bool Attach(uint32_t process_id, uint32_t handle) = 0;
  /// Takes the record at the cursor apart as the kind of `id` and moves past it. Returns the
  /// record, owned by the channel until the next read or Forget; null when no whole record
  /// lies at the cursor (nothing moves), when its data does not fit its kind, or when the ID's
  /// class is none of string, flag and value (the record is skipped).
  virtual const BlockRecord* ReadNext(uint32_t id) = 0;
  /// Hands the last record read to the caller.
  virtual std::unique_ptr<BlockRecord> Forget() = 0;
  /// The ID at the cursor; none when no whole record lies there inside the data area.
  virtual std::optional<uint32_t> Peek() const = 0;
  /// Writes `record` at the cursor and moves past it. False when writing is not open or the
  /// record would not fit in the data area.
  virtual bool Append(const BlockRecord& record) = 0;
  /// The value by which another process names the block, or kInvalidHandle.
  virtual uint32_t Handle() const = 0;
  /// 12.
  virtual uint32_t HeaderSize() const = 0;

  static constexpr uint32_t kInvalidHandle = 0xFFFFFFFF;
};

/// Why the last Create or Attach failed.
enum class BlockFault {
  kNone,
  kUnavailable,  ///< the block could not be made, reached or mapped
  kBadHeader,    ///< the header's data offset or size does not describe the block
  kBadChecksum,  ///< the data area does not match the header's checksum
};

/// The settings block in shared memory.
class SharedBlock final : public SettingsChannel {
 public:
  static constexpr uint32_t kHeaderSize = 12;

  SharedBlock() = default;
  /// Destroys the last record read and unmaps the view; an open handle is closed too.
  ~SharedBlock() override;
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  bool Create(uint32_t size) override;
  bool Close() override;
  bool Attach(uint32_t process_id, uint32_t handle) override;
  const BlockRecord* ReadNext(uint32_t id) override;
  std::unique_ptr<BlockRecord> Forget() override;
  std::optional<uint32_t> Peek() const override;
  bool Append(const BlockRecord& record) override;
  uint32_t Handle() const override;
  uint32_t HeaderSize() const override { return kHeaderSize; }

  /// Opens the block for Append.
  void OpenForWriting() { writing_open_ = true; }
  /// Ends writing, moves the cursor back to the first record and stores the checksum.
  void Finish();

  /// The whole mapped block, header included; empty when nothing is mapped. Writable only on
  /// the side that created the block; an attached block is mapped read-only.
  std::span<std::byte> bytes() const { return view_.bytes(); }
  /// The cursor's offset from the start of the block.
  uint32_t cursor() const { return cursor_; }
  BlockFault fault() const { return fault_; }
  /// What went wrong in the last failed Create or Attach, naming the call and the reason.
  const std::string& error() const { return error_; }

 private:
  void Reset();
  bool Fail(BlockFault fault, std::string error);
  // Holds `handle` and a view of all of it; false, after Fail, when either is missing.
  bool Map(platform::Result<platform::SharedMemoryHandle> handle, bool writable);
  bool CheckHeader();
  // The bytes of the data area from the cursor to its end.
  std::span<const std::byte> Remaining() const;
  std::unique_ptr<BlockRecord> BuildRecord(uint32_t id, std::span<const std::byte> data) const;

  platform::SharedMemoryHandle handle_;
  platform::SharedView view_;
  bool writing_open_ = false;
  uint32_t cursor_ = 0;
  std::unique_ptr<BlockRecord> last_read_;
  // The end of the data area, fixed when the block was made or checked: the header in shared
  // memory is never trusted again after that.
  uint32_t data_end_ = 0;
  BlockFault fault_ = BlockFault::kNone;
  std::string error_;
};
