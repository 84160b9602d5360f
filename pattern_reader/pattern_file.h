// The record level of the engine's pattern files: 14-byte record headers with masked bodies,
// walked up to the signature trailer, and the pattern version in the first name record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

/// Records of this kind hold the virus-name sections; the first one's header holds the version.
inline constexpr uint32_t kPatternNameRecordKind = 0x1ABDE21A;
inline constexpr size_t kPatternRecordHeaderSize = 14;
/// Every stored body byte is the plain byte XOR this mask.
inline constexpr uint8_t kPatternBodyMask = 0xA7;

/// The fields of a record header the reader uses (all little-endian in the file).
struct PatternRecordHeader {
  uint32_t kind = 0;      ///< offset 0
  uint16_t length_a = 0;  ///< offset 4
  uint16_t version = 0;   ///< offset 10, meaningful for kPatternNameRecordKind
  uint16_t length_b = 0;  ///< offset 12

  /// The body's length: the product of the two factors, at most 65535 x 65535.
  uint32_t BodyLength() const { return uint32_t{length_a} * length_b; }
};

/// Decodes the 14 bytes of a record header.
PatternRecordHeader DecodePatternRecordHeader(std::span<const uint8_t, kPatternRecordHeaderSize> bytes);

/// How a walk, a section parse or a lookup ended; the values are the reader's verdicts.
enum class PatternStatus : int {
  kDone = 0,          ///< ran to its end, or a callback stopped it
  kBadArgument = -1,  ///< a null path or callback, an empty body
  kUnreadable = -2,   ///< the file cannot be opened, or a trailer, header or body read failed
  kOutOfMemory = -3,  ///< a body buffer could not be allocated
};

enum class PatternFilterAnswer { kRead, kSkip, kStop };

using PatternRecordFilter = std::function<PatternFilterAnswer(const PatternRecordHeader&)>;
/// Gets the unmasked body, which lives only until it returns; false stops the walk.
using PatternBodyHandler = std::function<bool(const PatternRecordHeader&, std::span<const uint8_t> body)>;

/// XORs every byte with the mask, a 32-bit word at a time and then the last 0 to 3 bytes.
void UnmaskPatternBody(std::span<uint8_t> body);

/// Walks the records of the pattern file at `path` (matched without regard to ASCII case when
/// the exact name is missing) from offset 0 while the position lies before the signature
/// trailer (file size - 4 - L). The filter decides per header: read (the body is unmasked and
/// handed to `on_body`), skip, or stop. Memory holds one body at a time, and a body is never
/// larger than what is left of the file: a body cut short by the end of the file is not read
/// and ends the walk (kDone). kBadArgument for a null path or callback; kUnreadable when the
/// file cannot be opened, the trailer length is unreadable or larger than the file, or a
/// header read is short or fails; kOutOfMemory when a body cannot be allocated.
PatternStatus WalkPatternRecords(const char* path, const PatternRecordFilter& filter,
                                 const PatternBodyHandler& on_body);

/// Why a version read ended.
enum class PatternVersionStatus {
  kRead,             ///< `*version` holds the version
  kFileMissing,      ///< no such file
  kFileLocked,       ///< another open holds an exclusive lock on the file
  kOpenRefused,      ///< access denied, or the path names a folder
  kOpenFailed,       ///< any other open failure
  kNoVersionRecord,  ///< no record of the name kind before the file's end, or a short header
};

/// The version in the header of the first record of kPatternNameRecordKind, found by walking
/// the record headers alone (bodies are skipped, the trailer is not treated specially).
PatternVersionStatus ReadPatternFileVersion(const char* path, uint16_t* version);
