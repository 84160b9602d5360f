// The ELF side of version information on arbitrary files: the note finder and the engine's
// version read, then vxrtool's note writer, whose note must read back as written.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "integrity/engine_validation.h"
#include "platform/posix/elf_version_note.h"
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
  static const FuzzInputFile file("engine.exe");
  static const std::vector<uint8_t> block = MakeVersionBlock();
  file.Write({data, size});
  EngineVersionInfo info;
  ReadEngineVersionInfo(file.path().c_str(), &info);

  std::string image(reinterpret_cast<const char*>(data), size);
  platform::Error error;
  if (!EmbedVersionInfo(block, &image, &error)) {
    FUZZ_CHECK(image.size() == size && !error.text.empty());
    return 0;
  }
  file.Write({reinterpret_cast<const uint8_t*>(image.data()), image.size()});
  std::vector<uint8_t> read_back;
  FUZZ_CHECK(ReadElfVersionNote(file.path().c_str(), &read_back));
  FUZZ_CHECK(read_back == block);
  return 0;
}
