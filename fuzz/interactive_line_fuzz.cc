// The interactive prompt on arbitrary input: every line as the reader cuts it (line feed and
// one CR before it dropped, 1023 bytes at most), then the option scan over it.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "TestKVE/interactive_line.h"
#include "command_text/command_line.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr size_t kKept = kInteractiveLineSize - 1;

// The line that starts at `pos`, as the reader should give it; moves `pos` past it.
std::string ExpectedLine(std::string_view input, size_t* pos) {
  size_t feed = input.find('\n', *pos);
  std::string_view raw = input.substr(*pos, feed == std::string_view::npos ? feed : feed - *pos);
  *pos = feed == std::string_view::npos ? input.size() : feed + 1;
  std::string line(raw.substr(0, kKept));
  if (feed != std::string_view::npos && raw.size() <= kKept && raw.ends_with('\r')) line.pop_back();
  return line;
}

void CheckScan(const char* line) {
  CommandLine typed(line);
  const std::string_view text(line);
  for (const auto& [name, value] : typed.table()) {
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(text.find(value) != std::string_view::npos);
  }
}

void ReadAll(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer; an empty file stands in for empty input.
  std::FILE* input = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "r") : std::fopen("/dev/null", "r");
  FUZZ_CHECK(input != nullptr);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  char line[kInteractiveLineSize];
  while (ReadInteractiveLine(input, line)) {
    FUZZ_CHECK(pos < text.size());
    std::string expected = ExpectedLine(text, &pos);
    FUZZ_CHECK(std::memcmp(line, expected.data(), expected.size()) == 0);
    FUZZ_CHECK(line[expected.size()] == '\0');
    CheckScan(line);
  }
  FUZZ_CHECK(pos == text.size());
  std::fclose(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InEachScanLocale([&] { ReadAll(data, size); });
  return 0;
}
