// The pattern version read on arbitrary pattern files: the walk over the record headers.
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine_control/library_state.h"
#include "fuzz/fuzz_support.h"
#include "vxr_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile file("vxr.ptn");
  // One state for every input, as the library keeps one: a failed read must leave the
  // version of the last good one in place.
  static LibraryState state;
  if (state.pattern_filename().empty()) {
    state.set_pattern_dir(file.folder());
    state.set_pattern_filename("vxr.ptn");
  }
  file.Write({data, size});
  const std::string before = state.pattern_version();
  uint32_t text_size = 0;
  VXRResult result = state.ReadPatternVersion(&text_size);
  if (result != VXR_LIB_SUCCESS) {
    FUZZ_CHECK(result == VXR_LIB_FAIL);
    FUZZ_CHECK(state.pattern_version() == before);
    return 0;
  }
  const std::string& version = state.pattern_version();
  FUZZ_CHECK(text_size == version.size() + 1);
  // The decimal text of a 16-bit number.
  FUZZ_CHECK(!version.empty() && version.size() <= 5);
  FUZZ_CHECK(std::all_of(version.begin(), version.end(), [](char c) { return c >= '0' && c <= '9'; }));
  FUZZ_CHECK(std::stoul(version) <= 0xFFFF);
  return 0;
}
