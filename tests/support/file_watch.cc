#include "support/file_watch.h"

#include <thread>

#include "support/text.h"

bool WaitForText(const std::filesystem::path& file, const std::string& needle, size_t count,
                 std::chrono::seconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (CountOf(ReadFile(file), needle) >= count) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
