// The engine starter program, carried inside this library.
#pragma once

namespace platform::posix {

/// A sealed in-memory copy of the engine starter, made on first use and kept open
/// (close-on-exec) for every later start; -1 when the system cannot make one.
int EngineStarterProgram();

}  // namespace platform::posix
