#include "platform/processor_time.h"

#include <time.h>

namespace platform {

uint64_t OwnProcessorTimeUs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
}

}  // namespace platform
