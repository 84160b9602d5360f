#include "platform/text_encoding.h"

namespace platform {

// Arguments, paths and lines come as the user's locale writes them.
bool TextIsUtf8() { return false; }

unsigned NarrowCodePageOtherThanUtf8() { return 0; }

}  // namespace platform
