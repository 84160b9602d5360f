// The record format of the Linux mailslot's spool file: a format of ours, with no system call in
// it, so that every build tests it. A record is the magic, the message length and a CRC-32 of
// the length field and the message, then the message. The checksum lets the server tell a
// message cut short by a dying writer (and whatever was appended after it) from a whole one.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline constexpr size_t kMailslotRecordHeaderSize = 12;

/// The header of the record of `message` (at most kMailslotMaxMessage bytes).
std::array<char, kMailslotRecordHeaderSize> MailslotRecordHeader(std::string_view message);

/// The bytes that one message adds to a slot's spool, as a writer appends them. Tests write cut
/// copies of it to stand for a writer that died in the middle of a message.
std::string MailslotRecord(std::string_view message);

enum class MailslotRecordState {
  kWhole,       ///< a whole record starts here
  kIncomplete,  ///< what is there may still become one (a writer is appending)
  kBroken,      ///< no record starts here
};

/// Judges the record that would start at the front of `bytes`; `*size` gets a whole one's size.
MailslotRecordState CheckMailslotRecord(std::string_view bytes, size_t* size);

/// The offset of the first whole record that starts at or after `from` and before `limit`, or
/// npos.
size_t FindWholeMailslotRecord(std::string_view bytes, size_t from, size_t limit);

/// Where a record could start next at or after `from`: the next magic, or a piece of one that
/// the end of `bytes` cuts, never beyond `limit`.
size_t NextMailslotRecordCandidate(std::string_view bytes, size_t from, size_t limit);

}  // namespace platform
