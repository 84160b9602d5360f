// Runs under Wine: the few tests of a service that Wine lacks are skipped there, with the
// Wine behaviour that makes them meaningless; every such skip is listed in docs/windows.md.
#pragma once

#include <gtest/gtest.h>

/// Whether this process runs under Wine (ntdll exports wine_get_version); false on Linux and
/// on Windows itself.
bool RunningUnderWine();

/// Skips the current test under Wine, saying which Wine behaviour is missing.
#define SKIP_UNDER_WINE(reason)                                       \
  do {                                                                \
    if (RunningUnderWine()) GTEST_SKIP() << "under Wine: " << reason; \
  } while (false)
