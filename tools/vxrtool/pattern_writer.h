// Writes pattern files: virus names packed into masked name sections, compressed with raw
// DEFLATE as the reader expects, optionally after records of other kinds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// Section modes the writer makes: the whole region compressed, each entry compressed, plain.
enum class PatternWriteMode : uint8_t { kWhole = 0x81, kPerEntry = 0x01, kPlain = 0x00 };

struct PatternWriteOptions {
  uint16_t version = 0;
  PatternWriteMode mode = PatternWriteMode::kWhole;
  /// Records of kinds other than the name kind written in front of the name records.
  int records_before = 0;
};

/// Every name must be at most 17 bytes without NUL; the caller checks that.
/// Returns the records of a pattern file holding `names` in order (no signature trailer): each
/// name record holds one section of as many names as its expansion limits allow (32767 plain
/// bytes per expansion, at most 32768 stored); every name record carries the version.
std::string BuildPatternRecords(const std::vector<std::string>& names, const PatternWriteOptions& options);

/// The 4-byte trailer of a file without a signature: a signature length of 0.
std::string EmptySignatureTrailer();
