#include "platform/folder_entry.h"

namespace platform {

// Windows' own file names already match without regard to case; the path opens as it is.
std::string ResolveEntryIgnoringCase(const std::string& path) { return path; }

}  // namespace platform
