// Mailslots: one-way message queues named "\\.\mailslot\NAME". One process, the server, creates
// a slot and reads it; any process of the same user opens it by name and writes whole messages.
// No other user can read or write a slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "platform/owned_handle.h"

namespace platform {

/// The longest message a slot carries, in bytes; a longer one is refused whole.
inline constexpr size_t kMailslotMaxMessage = 64 * 1024;

/// The next-message size of a slot with no whole message waiting.
inline constexpr uint32_t kMailslotNoMessage = 0xFFFFFFFF;

/// The folder of this process's own slots, among this user's; it exists once CreateForRun has
/// made a slot, and goes when the process ends.
std::filesystem::path RunMailslotFolder();

/// Whether `value` (the engine's TESTKVE_MAILSLOT_FOLDER) can name a run's folder of slots: an
/// absolute path on Linux, a name under \\.\mailslot\ on Windows. Anything else is ignored,
/// and the design's slot names are used.
bool NamesMailslotFolder(std::string_view value);

/// What a slot holds at the moment of the query.
struct MailslotInfo {
  uint32_t next_size = 0;  ///< bytes of the next whole message, or kMailslotNoMessage
  uint32_t count = 0;      ///< whole messages waiting
};

/// The reading end of a slot. Move-only; closing it (or destroying it) removes the slot with
/// every unread message.
class MailslotServer {
 public:
  MailslotServer();
  ~MailslotServer();
  MailslotServer(MailslotServer&& other) noexcept;
  MailslotServer& operator=(MailslotServer&& other) noexcept;
  MailslotServer(const MailslotServer&) = delete;
  MailslotServer& operator=(const MailslotServer&) = delete;

  /// Creates the slot `name` ("\\.\mailslot\NAME"; NAME is matched without regard to ASCII
  /// case, holds no '/' or '\' and does not start with '.'). The user's folder is made owner-only
  /// when missing. A slot left by a server that has died is taken over empty. On failure the
  /// result is not open and `*error` says why: kExists while another server of that name is
  /// alive (in this process or another), kInvalid for a bad name, kDenied when the folder is
  /// not this user's alone (its text names the folder), or the failing call's own.
  static MailslotServer Create(std::string_view name, Error* error);

  /// Creates the slot `name` in this process's own folder (RunMailslotFolder()), so that no
  /// other process of the user serves it, and serves it under the user's folder too, as Create
  /// does, when no other live server holds that name there. Fails as Create does, but never with
  /// kExists because another process serves the name.
  static MailslotServer CreateForRun(std::string_view name, Error* error);

  bool is_open() const;

  /// Takes in what writers appended since the last call and reports the size of the next whole
  /// message and the number of whole messages. A message torn by a writer that died while
  /// writing it is never counted, and the messages after it are. False (the reason in
  /// `*error`) when the slot is not open or cannot be read; `*info` is then untouched.
  bool Query(MailslotInfo* info, Error* error);

  /// Moves the next whole message, of any length up to kMailslotMaxMessage, into `*message`.
  /// False when no whole message is waiting or the slot is not open.
  bool Read(std::string* message);

  /// Removes the slot and its unread messages; nothing when not open.
  void Close();

 private:
  struct Spool;
  std::unique_ptr<Spool> spool_;
};

/// The writing end of a slot. Move-only; closing it leaves the slot and its messages alone.
class MailslotWriter {
 public:
  MailslotWriter() = default;
  MailslotWriter(MailslotWriter&& other) noexcept = default;
  MailslotWriter& operator=(MailslotWriter&& other) noexcept = default;
  MailslotWriter(const MailslotWriter&) = delete;
  MailslotWriter& operator=(const MailslotWriter&) = delete;

  /// Opens the slot `name` of this user for writing. On failure the result is not open and
  /// `*error` says why: kNotFound when the slot has no live server, kInvalid for a bad name,
  /// kDenied when the folder or slot is not this user's alone, or the failing call's own.
  static MailslotWriter Open(std::string_view name, Error* error);

  /// Opens the slot `name` in `folder` (a folder of this user's own that a server named, such
  /// as its RunMailslotFolder()); fails as Open does.
  static MailslotWriter OpenIn(const std::filesystem::path& folder, std::string_view name, Error* error);

  bool is_open() const { return handle_.is_open(); }

  /// Appends `message` (0 to kMailslotMaxMessage bytes) as one whole message, in one write,
  /// so messages of concurrent writers never interleave and the writer never waits for the
  /// reader. False with the reason in `*error`: kTooLong for a longer message (nothing
  /// written), kNotOpen when not open, kCutShort for a write cut short (a full disk, a
  /// file-size limit), which leaves a torn message that the server skips, or the write's own.
  bool Write(std::string_view message, Error* error);

  void Close() { handle_.Reset(); }

 private:
  explicit MailslotWriter(OwnedHandle handle) : handle_(std::move(handle)) {}

  OwnedHandle handle_;
};

}  // namespace platform
