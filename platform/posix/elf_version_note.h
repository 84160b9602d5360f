// The ELF side of version information: the note section ".note.vxr.version" whose note
// (owner "VXR", type 1) carries the VS_VERSIONINFO block.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

/// The block of the version note of the ELF file at `path`; false when the file cannot be
/// read, is not ELF, or has no such note. Only the headers and the note are read.
bool ReadElfVersionNote(const char* path, std::vector<uint8_t>* block);

/// The same for an open binary stream of the file (null: cannot be read).
bool ReadElfVersionNoteStream(std::FILE* stream, std::vector<uint8_t>* block);

// EmbedVersionInfo (platform/version_info.h) writes the note.
