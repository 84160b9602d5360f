// Counters are added by the system's own name, and by the English one only where a Windows in
// another language knows no object or counter of that name. Wine's PDH is English only, so
// the decision is shown here with the two calls standing in.
#include "platform/win32/counter_add.h"

#include <gtest/gtest.h>

namespace {

TEST(CounterAddTest, TheEnglishNameIsTriedOnlyForAnUnknownObjectOrCounter) {
  struct Case {
    const char* what;
    PDH_STATUS localized;
    bool english_tried;
  };
  const Case cases[] = {
      {"added by its own name", ERROR_SUCCESS, false},
      {"no such object", static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT), true},
      {"no such counter", static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER), true},
      {"a malformed path", static_cast<PDH_STATUS>(PDH_CSTATUS_BAD_COUNTERNAME), false},
      {"no memory", static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE), false},
  };
  constexpr PDH_STATUS kEnglishResult = static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool english_tried = false;
    const PDH_STATUS status = platform::win32::AddLocalizedOrEnglish([&] { return c.localized; },
                                                                     [&] {
                                                                       english_tried = true;
                                                                       return kEnglishResult;
                                                                     });
    EXPECT_EQ(c.english_tried, english_tried);
    EXPECT_EQ(c.english_tried ? kEnglishResult : c.localized, status);
  }
}

}  // namespace
