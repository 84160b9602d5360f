#include "platform/text_encoding.h"

#include <windows.h>

namespace platform {

// The command line and every path come from the W calls, converted by our own code.
bool TextIsUtf8() { return true; }

unsigned NarrowCodePageOtherThanUtf8() {
  const UINT code_page = GetACP();
  return code_page == CP_UTF8 ? 0 : code_page;
}

}  // namespace platform
