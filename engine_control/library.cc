#include "engine_control/library.h"

Library& TheLibrary() {
  static Library library;
  return library;
}
