#include "platform/posix/contained_start/engine_starter_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>

#include "platform/posix/unique_fd.h"

// The starter's bytes, put into this object by the assembler from the built program.
asm(R"(
    .section .rodata
    .balign 16
    .hidden testkve_engine_starter_begin
    .hidden testkve_engine_starter_end
testkve_engine_starter_begin:
    .incbin ")" TESTKVE_ENGINE_STARTER R"("
testkve_engine_starter_end:
    .previous
)");
extern "C" const char testkve_engine_starter_begin[];
extern "C" const char testkve_engine_starter_end[];

namespace platform::posix {
namespace {

int MakeStarterProgram() {
  const size_t size = static_cast<size_t>(testkve_engine_starter_end - testkve_engine_starter_begin);
  // Under a file-size limit smaller than the program, writing it would end this process with
  // SIGXFSZ: the programs are then started without the starter.
  rlimit file_size{};
  if (getrlimit(RLIMIT_FSIZE, &file_size) != 0 || (file_size.rlim_cur != RLIM_INFINITY && file_size.rlim_cur < size)) {
    return -1;
  }
  UniqueFd program(memfd_create("testkve-engine-starter", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!program) return -1;
  const char* bytes = testkve_engine_starter_begin;
  size_t left = size;
  while (left > 0) {
    const ssize_t written = RetryOnEintr([&] { return write(program.get(), bytes, left); });
    if (written <= 0) return -1;
    bytes += written;
    left -= static_cast<size_t>(written);
  }
  // Nobody, not even this process, can change the program once it is made.
  if (fcntl(program.get(), F_ADD_SEALS, F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE) != 0) return -1;
  return program.Release();
}

}  // namespace

int EngineStarterProgram() {
  static const int program = MakeStarterProgram();
  return program;
}

}  // namespace platform::posix
