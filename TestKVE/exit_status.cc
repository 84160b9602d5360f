#include "TestKVE/exit_status.h"

#include <cstdint>

namespace {

uint64_t g_failed_calls = 0;

}  // namespace

void NoteFailedCall() { ++g_failed_calls; }

int HarnessExitStatus(bool strict) { return strict && g_failed_calls != 0 ? 1 : 0; }
