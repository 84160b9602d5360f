#include "support/wine.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool RunningUnderWine() {
#ifdef _WIN32
  static const bool under_wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return under_wine;
#else
  return false;
#endif
}
