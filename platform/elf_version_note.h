// Our version note in an ELF file: the note section ".note.vxr.version" whose note (owner
// "VXR", type 1) carries a VS_VERSIONINFO block. Byte work only, no system call: built and
// tested on every system; on Linux the version of an executable is read from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

/// Random access to the bytes of an ELF file, on disk or in memory.
class ElfBytes {
 public:
  virtual ~ElfBytes() = default;
  virtual uint64_t size() const = 0;
  /// Exactly `length` bytes at `offset` into `*out`; false when they cannot be read.
  virtual bool Read(uint64_t offset, uint64_t length, std::string* out) const = 0;
};

/// The block of the version note of `file`; false when it is not ELF, its section table is
/// damaged or it has no version note. Only the headers, the section names and the notes are
/// read, and every offset and count is checked against the file's size.
bool ReadElfVersionNote(const ElfBytes& file, std::vector<uint8_t>* block);

/// The same for an ELF image in memory.
bool ReadElfVersionNote(std::string_view image, std::vector<uint8_t>* block);

/// Makes `block` the version note of the ELF image `image`: in place of the old note where it
/// fits, else in a note section at the end of the image, with the section table after it; the
/// program headers, all that a loader reads, stay as they are. False, with `image` unchanged,
/// when it is not ELF (kInvalid) or its section table is so damaged that the note would not
/// read back (kDamaged).
bool WriteElfVersionNote(std::span<const uint8_t> block, std::string* image, platform::Error* error);
