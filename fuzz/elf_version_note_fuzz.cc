// Our version note on arbitrary bytes: the note reader, then the note writer, whose note must
// read back as written. Byte work only, so it runs on every system.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/elf_version_note.h"
#include "platform/version_info.h"

namespace {

std::vector<uint8_t> MakeVersionBlock() {
  VersionInfoContent content;
  content.fixed = FixedFileInfo{0x00030005, 0x00000001, 0x00030005, 0x00000001};
  content.translations = {{0x0409, 0x04B0}};
  content.string_tables = {{{0x0409, 0x04B0}, {{"SpecialBuild", "1001"}}}};
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  FUZZ_CHECK(block.ok());
  return *block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> block = MakeVersionBlock();
  std::string image(reinterpret_cast<const char*>(data), size);
  std::vector<uint8_t> found;
  if (ReadElfVersionNote(image, &found)) {
    // What is found is bytes of the input (its queries: version_info_fuzz.cc).
    FUZZ_CHECK(image.find(std::string_view(reinterpret_cast<const char*>(found.data()), found.size())) !=
               std::string::npos);
  }

  platform::Error error;
  if (!WriteElfVersionNote(block, &image, &error)) {
    FUZZ_CHECK(image.size() == size && !error.text.empty());
    return 0;
  }
  std::vector<uint8_t> read_back;
  FUZZ_CHECK(ReadElfVersionNote(image, &read_back));
  FUZZ_CHECK(read_back == block);
  return 0;
}
