#include "platform/elf_version_note.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

constexpr char kElfIdentification[] = {0x7F, 'E', 'L', 'F'};
constexpr std::string_view kElfMagic(kElfIdentification, 4);
constexpr std::string_view kSectionName = ".note.vxr.version";
constexpr char kNoteOwner[4] = {'V', 'X', 'R', '\0'};
constexpr uint32_t kNoteType = 1;
constexpr uint32_t kSectionTypeStringTable = 3;
constexpr uint32_t kSectionTypeNote = 7;
constexpr uint64_t kMaxNoteSectionBytes = 1 << 20;  // far above the 64 KiB a block can have
constexpr uint32_t kSectionIndexReserved = 0xFF00;  // SHN_LORESERVE
constexpr uint32_t kSectionIndexExtended = 0xFFFF;  // SHN_XINDEX

// Where the fields that matter here sit in the two ELF classes.
struct ElfClass {
  size_t word;  // 4 or 8: the size of addresses and offsets
  size_t header_bytes, shoff_at, shentsize_at, shnum_at, shstrndx_at;
  size_t section_bytes, sh_flags_at, sh_addr_at, sh_offset_at, sh_size_at, sh_link_at, sh_addralign_at;
};
constexpr ElfClass kElf32 = {4, 52, 32, 46, 48, 50, 40, 8, 12, 16, 20, 24, 32};
constexpr ElfClass kElf64 = {8, 64, 40, 58, 60, 62, 64, 8, 16, 24, 32, 40, 48};

// An image in memory.
class MemorySource final : public ElfBytes {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, uint64_t length, std::string* out) const override {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    // Both are within the image now, so they fit a size_t.
    out->assign(bytes_.substr(static_cast<size_t>(offset), static_cast<size_t>(length)));
    return true;
  }

 private:
  std::string_view bytes_;
};

// Reads and writes fields in the byte order of the file.
struct ByteOrder {
  bool little;

  uint64_t Get(std::string_view bytes, size_t at, size_t width) const {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      auto byte = static_cast<uint8_t>(bytes[at + (little ? width - 1 - i : i)]);
      value = value << 8 | byte;
    }
    return value;
  }

  void Put(std::string* bytes, size_t at, size_t width, uint64_t value) const {
    for (size_t i = 0; i < width; ++i) {
      (*bytes)[at + (little ? i : width - 1 - i)] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
  }
};

// The ELF header and the section header table, each entry kept as its raw bytes.
struct ElfSections {
  const ElfClass* layout = nullptr;
  ByteOrder order{true};
  std::string header;
  uint64_t shentsize = 0;
  uint32_t shstrndx = 0;
  std::vector<std::string> entries;

  uint64_t Field(size_t index, size_t at, size_t width) const { return order.Get(entries[index], at, width); }
  uint64_t Offset(size_t index) const { return Field(index, layout->sh_offset_at, layout->word); }
  uint64_t Size(size_t index) const { return Field(index, layout->sh_size_at, layout->word); }
  uint32_t Type(size_t index) const { return static_cast<uint32_t>(Field(index, 4, 4)); }
  uint32_t NameIndex(size_t index) const { return static_cast<uint32_t>(Field(index, 0, 4)); }
};

bool ReadElfHeader(const ElfBytes& source, ElfSections* elf) {
  std::string ident;
  if (!source.Read(0, 16, &ident) || !ident.starts_with(kElfMagic)) return false;
  if (ident[4] != 1 && ident[4] != 2) return false;
  if (ident[5] != 1 && ident[5] != 2) return false;
  elf->layout = ident[4] == 1 ? &kElf32 : &kElf64;
  elf->order.little = ident[5] == 1;
  return source.Read(0, elf->layout->header_bytes, &elf->header);
}

// Reads the section header table, with the extended numbering that ELF uses for tables of
// more than 0xFF00 entries. Every count and offset is checked against the file.
bool ReadSectionTable(const ElfBytes& source, ElfSections* elf) {
  const ElfClass& layout = *elf->layout;
  uint64_t shoff = elf->order.Get(elf->header, layout.shoff_at, layout.word);
  elf->shentsize = elf->order.Get(elf->header, layout.shentsize_at, 2);
  uint64_t shnum = elf->order.Get(elf->header, layout.shnum_at, 2);
  elf->shstrndx = static_cast<uint32_t>(elf->order.Get(elf->header, layout.shstrndx_at, 2));
  elf->entries.clear();
  if (shoff == 0) return shnum == 0;
  if (elf->shentsize < layout.section_bytes) return false;
  std::string first;
  if (!source.Read(shoff, elf->shentsize, &first)) return false;
  if (shnum == 0) shnum = elf->order.Get(first, layout.sh_size_at, layout.word);
  if (elf->shstrndx == kSectionIndexExtended) {
    elf->shstrndx = static_cast<uint32_t>(elf->order.Get(first, layout.sh_link_at, 4));
  }
  if (shnum > (source.size() - std::min(shoff, source.size())) / elf->shentsize) return false;
  for (uint64_t i = 0; i < shnum; ++i) {
    if (!source.Read(shoff + i * elf->shentsize, elf->shentsize, &elf->entries.emplace_back())) {
      return false;
    }
  }
  return true;
}

bool ReadElf(const ElfBytes& source, ElfSections* elf) {
  return ReadElfHeader(source, elf) && ReadSectionTable(source, elf);
}

// The section table index of the version note, or -1.
int64_t FindNoteSection(const ElfBytes& source, const ElfSections& elf) {
  if (elf.shstrndx == 0 || elf.shstrndx >= elf.entries.size()) return -1;
  std::string names;
  uint64_t names_size = elf.Size(elf.shstrndx);
  if (names_size > source.size() || !source.Read(elf.Offset(elf.shstrndx), names_size, &names)) {
    return -1;
  }
  for (size_t i = 0; i < elf.entries.size(); ++i) {
    uint32_t at = elf.NameIndex(i);
    if (elf.Type(i) != kSectionTypeNote || at >= names.size()) continue;
    std::string_view name(names.c_str() + at);  // the table ends in a NUL: c_str() adds one
    if (name == kSectionName) return static_cast<int64_t>(i);
  }
  return -1;
}

uint64_t Align(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// The descriptor of our note among the notes of the section.
bool FindVersionNote(std::string_view notes, const ByteOrder& order, std::string_view* block) {
  size_t at = 0;
  while (notes.size() - at >= 12) {
    uint64_t name_size = order.Get(notes, at, 4);
    uint64_t desc_size = order.Get(notes, at + 4, 4);
    uint64_t type = order.Get(notes, at + 8, 4);
    uint64_t name_at = at + 12;
    uint64_t desc_at = name_at + Align(name_size, 4);
    if (desc_at > notes.size() || desc_size > notes.size() - desc_at) return false;
    // Every offset below is within `notes` now, so it fits a size_t.
    if (type == kNoteType && name_size == sizeof kNoteOwner &&
        notes.compare(static_cast<size_t>(name_at), sizeof kNoteOwner, std::string_view(kNoteOwner, 4)) == 0) {
      *block = notes.substr(static_cast<size_t>(desc_at), static_cast<size_t>(desc_size));
      return true;
    }
    at = static_cast<size_t>(std::min<uint64_t>(Align(desc_at + desc_size, 4), notes.size()));
  }
  return false;
}

// The block of the version note that a reader finds in `source`.
bool ReadVersionBlock(const ElfBytes& source, std::string* block) {
  ElfSections elf;
  if (!ReadElf(source, &elf)) return false;
  int64_t index = FindNoteSection(source, elf);
  if (index < 0) return false;
  uint64_t size = elf.Size(static_cast<size_t>(index));
  std::string notes;
  if (size > kMaxNoteSectionBytes || !source.Read(elf.Offset(static_cast<size_t>(index)), size, &notes)) {
    return false;
  }
  std::string_view found;
  if (!FindVersionNote(notes, elf.order, &found)) return false;
  block->assign(found);
  return true;
}

std::string EncodeNote(std::span<const uint8_t> block, const ByteOrder& order) {
  std::string note(12, '\0');
  order.Put(&note, 0, 4, sizeof kNoteOwner);
  order.Put(&note, 4, 4, block.size());
  order.Put(&note, 8, 4, kNoteType);
  note.append(kNoteOwner, sizeof kNoteOwner);
  note.append(reinterpret_cast<const char*>(block.data()), block.size());
  note.resize(static_cast<size_t>(Align(note.size(), 4)), '\0');
  return note;
}

void PutField(ElfSections* elf, size_t index, size_t at, size_t width, uint64_t value) {
  elf->order.Put(&elf->entries[index], at, width, value);
}

size_t AddSectionEntry(ElfSections* elf, uint32_t name, uint32_t type, uint64_t alignment) {
  const ElfClass& layout = *elf->layout;
  elf->entries.emplace_back(elf->shentsize, '\0');
  size_t index = elf->entries.size() - 1;
  PutField(elf, index, 0, 4, name);
  PutField(elf, index, 4, 4, type);
  PutField(elf, index, layout.sh_addralign_at, layout.word, alignment);
  return index;
}

void PlaceSection(ElfSections* elf, size_t index, uint64_t offset, uint64_t size) {
  PutField(elf, index, elf->layout->sh_offset_at, elf->layout->word, offset);
  PutField(elf, index, elf->layout->sh_size_at, elf->layout->word, size);
}

// Overwrites the old note when the new one fits in its place, so that setting the version
// again does not grow the file.
bool ReplaceNoteInPlace(ElfSections* elf, size_t index, const std::string& note, std::string* image) {
  uint64_t offset = elf->Offset(index);
  uint64_t size = elf->Size(index);
  if (note.size() > size || offset > image->size() || size > image->size() - offset) return false;
  // The note's place and the section table were read from this image, so they fit a size_t.
  const auto at = static_cast<size_t>(offset);
  const auto length = static_cast<size_t>(size);
  image->replace(at, length, note + std::string(length - note.size(), '\0'));
  PlaceSection(elf, index, offset, note.size());
  uint64_t shoff = elf->order.Get(elf->header, elf->layout->shoff_at, elf->layout->word);
  image->replace(static_cast<size_t>(shoff + index * elf->shentsize), static_cast<size_t>(elf->shentsize),
                 elf->entries[index]);
  return true;
}

// The index of the section name in a section-name table that now sits at the end of `image`:
// the old table with the name added, or a new table when the file had none.
uint32_t AppendSectionName(ElfSections* elf, std::string* image) {
  std::string names;
  bool has_table = elf->shstrndx != 0 && elf->shstrndx < elf->entries.size() &&
                   elf->Type(elf->shstrndx) == kSectionTypeStringTable &&
                   MemorySource(*image).Read(elf->Offset(elf->shstrndx), elf->Size(elf->shstrndx), &names);
  if (!has_table) {
    names.assign("\0.shstrtab\0", 11);
    elf->shstrndx = static_cast<uint32_t>(AddSectionEntry(elf, 1, kSectionTypeStringTable, 1));
  }
  if (names.empty() || names.back() != '\0') names.push_back('\0');
  auto name_index = static_cast<uint32_t>(names.size());
  names.append(kSectionName).push_back('\0');
  PlaceSection(elf, elf->shstrndx, image->size(), names.size());
  image->append(names);
  return name_index;
}

// Writes the section table at the end of `image` and points the ELF header at it, using the
// extended numbering in entry 0 where a count does not fit the header's 16-bit fields.
void AppendSectionTable(ElfSections* elf, std::string* image) {
  const ElfClass& layout = *elf->layout;
  uint64_t count = elf->entries.size();
  uint64_t header_count = count < kSectionIndexReserved ? count : 0;
  uint64_t header_names = elf->shstrndx < kSectionIndexReserved ? elf->shstrndx : kSectionIndexExtended;
  if (header_count == 0) PutField(elf, 0, layout.sh_size_at, layout.word, count);
  if (header_names == kSectionIndexExtended) PutField(elf, 0, layout.sh_link_at, 4, elf->shstrndx);
  image->resize(static_cast<size_t>(Align(image->size(), layout.word)), '\0');
  elf->order.Put(&elf->header, layout.shoff_at, layout.word, image->size());
  elf->order.Put(&elf->header, layout.shentsize_at, 2, elf->shentsize);
  elf->order.Put(&elf->header, layout.shnum_at, 2, header_count);
  elf->order.Put(&elf->header, layout.shstrndx_at, 2, header_names);
  for (const std::string& entry : elf->entries) image->append(entry);
  image->replace(0, elf->header.size(), elf->header);
}

// Puts the note at the end of the file in a new place, with the tables that describe it
// after it. The loader reads only the program headers, which stay as they are.
void AppendNoteSection(ElfSections* elf, int64_t existing, const std::string& note, std::string* image) {
  if (elf->entries.empty()) {
    elf->shentsize = elf->layout->section_bytes;
    elf->entries.emplace_back(elf->shentsize, '\0');  // the null section every table starts with
  }
  size_t index = existing >= 0 ? static_cast<size_t>(existing)
                               : AddSectionEntry(elf, AppendSectionName(elf, image), kSectionTypeNote, 4);
  image->resize(static_cast<size_t>(Align(image->size(), 4)), '\0');
  PlaceSection(elf, index, image->size(), note.size());
  image->append(note);
  AppendSectionTable(elf, image);
}

}  // namespace

bool WriteElfVersionNote(std::span<const uint8_t> block, std::string* image, platform::Error* error) {
  MemorySource source(*image);
  ElfSections elf;
  if (!ReadElf(source, &elf)) {
    *error = platform::Refusal(platform::ErrorKind::kInvalid, "not an ELF file, or its section table is damaged");
    return false;
  }
  std::string note = EncodeNote(block, elf.order);
  int64_t existing = FindNoteSection(source, elf);
  std::string result = *image;
  if (existing < 0 || !ReplaceNoteInPlace(&elf, static_cast<size_t>(existing), note, &result)) {
    AppendNoteSection(&elf, existing, note, &result);
  }
  // A damaged section table can make the reader take another section for the note, such as
  // one whose name offset lands on the name just added; success must mean the reader finds
  // this block.
  std::string written;
  if (!ReadVersionBlock(MemorySource(result), &written) ||
      written != std::string_view(reinterpret_cast<const char*>(block.data()), block.size())) {
    *error = platform::Refusal(platform::ErrorKind::kDamaged,
                               "the section table is damaged: the new note would not be the one read");
    return false;
  }
  *image = std::move(result);
  return true;
}

bool ReadElfVersionNote(const ElfBytes& file, std::vector<uint8_t>* block) {
  std::string found;
  if (!ReadVersionBlock(file, &found)) return false;
  block->assign(found.begin(), found.end());
  return true;
}

bool ReadElfVersionNote(std::string_view image, std::vector<uint8_t>* block) {
  return ReadElfVersionNote(MemorySource(image), block);
}
