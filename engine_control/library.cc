#include "engine_control/library.h"

Library& TheLibrary() {
  static Library library;
  return library;
}

Library* InitialisedLibrary() {
  Library& library = TheLibrary();
  return library.initialised ? &library : nullptr;
}

ContextEntry EnterContext(VXR_HANDLE handle) {
  Library* library = InitialisedLibrary();
  if (library == nullptr) return {VXR_LIB_NOT_INIT, nullptr, nullptr};
  ScanContext* context = library->handles.Find(handle);
  if (context == nullptr) return {VXR_LIB_INVALID_PARAMETER, library, nullptr};
  return {VXR_LIB_SUCCESS, library, context};
}
