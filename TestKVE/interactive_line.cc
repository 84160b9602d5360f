#include "TestKVE/interactive_line.h"

bool ReadInteractiveLine(std::FILE* input, char (&line)[kInteractiveLineSize]) {
  size_t length = 0;
  bool any = false;
  // Only a CR that was kept and came right before the line feed is dropped.
  bool kept_cr_last = false;
  for (int c = std::getc(input); c != EOF; c = std::getc(input)) {
    any = true;
    if (c == '\n') {
      if (kept_cr_last) --length;
      break;
    }
    kept_cr_last = false;
    if (length + 1 < kInteractiveLineSize) {
      line[length++] = static_cast<char>(c);
      kept_cr_last = c == '\r';
    }
  }
  line[length] = '\0';
  return any;
}
