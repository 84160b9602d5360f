// fuzz_seeds: writes the seeds of the fuzz corpus that come from the library's own writers:
// settings blocks as the launch fills them, version-information blocks as vxrtool builds
// them, and pattern files (which fuzz/make_corpus then signs with vxrtool).
//
//   fuzz_seeds CORPUS_FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine_control/scan_context.h"
#include "platform/version_info.h"
#include "settings_block/block_record.h"
#include "settings_block/settings_block.h"
#include "vxr_lib.h"

namespace {

namespace fs = std::filesystem;

bool WriteSeed(const fs::path& corpus, const std::string& name, std::string_view bytes) {
  fs::path path = corpus / name;
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// The block the launch hands over for `records`: made, filled and checksummed in shared memory.
bool BlockBytes(const std::vector<std::unique_ptr<BlockRecord>>& records, std::string* bytes) {
  uint64_t size = SharedBlock::kHeaderSize;
  for (const auto& record : records) size += record->Size();
  SharedBlock block;
  if (size > UINT32_MAX || !block.Create(static_cast<uint32_t>(size))) return false;
  block.OpenForWriting();
  for (const auto& record : records) {
    if (!block.Append(*record)) return false;
  }
  block.Finish();
  bytes->assign(reinterpret_cast<const char*>(block.bytes().data()), block.bytes().size());
  return true;
}

// The settings of a run with the presets of the engine folder's VXR.INI and a pattern loop.
bool WriteSettingsBlocks(const fs::path& corpus) {
  ScanContext context("/opt/engine/vxr.exe");
  context.SetString(VXR_STR_REPORT_DIR, "report");
  context.SetString(VXR_STR_BACKUP_DIR, "backup");
  context.SetString(VXR_STR_PATTERN_DIR, "/opt/engine");
  context.SetString(VXR_STR_PATTERN_FILENAME, "vxr.ptn");
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "TROJ_A");
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "TROJ_B");
  context.SetFlag(VXR_FLG_DISABLE_CONSOLE_OUTPUT, 0);
  context.SetFlag(VXR_FLG_BACKUP_FILE, 1);
  context.SetValue(VXR_INT_DEBUG_INFO_LEVEL, 3);
  context.SetValue(VXR_INT_ENABLE_PATTERN_MAGIC, kPatternMagics[0]);
  context.SetValue(VXR_INT_EXECUTE_MODE, SCAN_ASSIGN);
  std::string bytes;
  if (!context.RebuildRecords() || !BlockBytes(context.records(), &bytes) ||
      !WriteSeed(corpus, "settings_block/run_with_presets", bytes)) {
    return false;
  }
  // A record of a class the engine does not know, which it must step over.
  std::vector<std::unique_ptr<BlockRecord>> records;
  records.push_back(std::make_unique<StringRecord>(VXR_STR_PATTERN_VER, "1234"));
  records.push_back(std::make_unique<ValueRecord>(0x03000001, 42));
  records.push_back(std::make_unique<FlagRecord>(VXR_FLG_ENABLE_GENCLEAN, 1));
  records.push_back(std::make_unique<ValueRecord>(0, 0));
  return BlockBytes(records, &bytes) && WriteSeed(corpus, "settings_block/unknown_class_record", bytes);
}

bool WriteVersionBlock(const fs::path& corpus, const std::string& name, const VersionInfoContent& content) {
  const platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  if (!block) {
    std::fprintf(stderr, "fuzz_seeds: %s: %s\n", name.c_str(), block.error().text.c_str());
    return false;
  }
  return WriteSeed(corpus, "version_info/" + name,
                   std::string_view(reinterpret_cast<const char*>(block->data()), block->size()));
}

bool WriteVersionBlocks(const fs::path& corpus) {
  VersionInfoContent engine;
  engine.fixed = FixedFileInfo{0x00030005, 0x00000001, 0x00030005, 0x00000001};
  engine.translations = {{0x0409, 0x04B0}};
  engine.string_tables = {{{0x0409, 0x04B0}, {{"FileVersion", "3.5.0.1"}, {"SpecialBuild", "1001"}}}};
  // No fixed part, two translations, two string tables, text beyond ASCII.
  VersionInfoContent unusual;
  unusual.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
  unusual.string_tables = {{{0x0407, 0x04E4}, {{"SpecialBuild", "Prüfung"}}},
                           {{0x0409, 0x04B0}, {{"SpecialBuild", "\xE2\x82\xAC 7"}}}};
  return WriteVersionBlock(corpus, "engine_3_5", engine) && WriteVersionBlock(corpus, "no_fixed_part", unusual);
}

// A pattern-file record header: kind, a, 4 unused bytes, version, b; a body of a x b bytes.
std::string PatternRecord(uint32_t kind, uint16_t a, uint16_t b, uint16_t version) {
  std::string bytes(14, '\0');
  auto put = [&bytes](size_t at, uint32_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
  };
  put(0, kind, 4);
  put(4, a, 2);
  put(10, version, 2);
  put(12, b, 2);
  return bytes + std::string(size_t{a} * b, '\x5A');
}

bool WritePatternFiles(const fs::path& corpus) {
  constexpr uint32_t kVersionKind = 0x1ABDE21A;
  return WriteSeed(corpus, "pattern_file/version_first",
                   PatternRecord(kVersionKind, 2, 3, 1234) + PatternRecord(0x1ABDD51A, 4, 4, 0)) &&
         WriteSeed(corpus, "pattern_file/version_after_two",
                   PatternRecord(0x1ABDD51A, 3, 5, 0) + PatternRecord(0x1ABDE31A, 0, 9, 0) +
                       PatternRecord(kVersionKind, 1, 1, 65535));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER\n");
    return 2;
  }
  const fs::path corpus = argv[1];
  bool written = WriteSettingsBlocks(corpus) && WriteVersionBlocks(corpus) && WritePatternFiles(corpus);
  return written ? 0 : 1;
}
