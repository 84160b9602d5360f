// Runs a fuzz target without libFuzzer, for the ordinary and sanitizer builds: every seed of
// the corpus, every truncation of it and every single-byte flip of it, each in a buffer of
// exactly its size so that a sanitizer sees any read past the end.
//
//   <name>_fuzz CORPUS_FOLDER_OR_FILE...
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_support.h"

// Present in sanitizer builds only: called before a sanitizer ends the process.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

// What is being run, for the report of a crash; written before each input.
char g_current[512] = "";

// The C runtime of Windows counts in unsigned int; the texts here are short.
void WriteError(const char* text, size_t length) {
  [[maybe_unused]] const auto ignored = write(STDERR_FILENO, text, static_cast<unsigned>(length));
}

void ReportCurrentInput() {
  static const char kPrefix[] = "replay: crashed on ";
  // Only async-signal-safe calls here: this also runs inside a signal handler.
  WriteError(kPrefix, sizeof kPrefix - 1);
  WriteError(g_current, strlen(g_current));
  WriteError("\n", 1);
}

void OnFatalSignal(int signal_number) {
  ReportCurrentInput();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void InstallCrashReport() {
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(ReportCurrentInput);
  // A sanitizer has its own handler for faults; taking it over would lose its report. An
  // abort (a failed fuzz check) is ours either way.
  std::vector<int> signals = {SIGABRT};
  if (__sanitizer_set_death_callback == nullptr) {
    signals.insert(signals.end(), {SIGSEGV, SIGFPE, SIGILL});
#ifdef SIGBUS  // not on Windows
    signals.push_back(SIGBUS);
#endif
  }
  for (int signal_number : signals) ::signal(signal_number, OnFatalSignal);
}

void RunInput(const std::vector<uint8_t>& seed, size_t size, long flipped_at) {
  // A fresh allocation of exactly `size` bytes, as libFuzzer hands inputs over.
  auto input = std::make_unique<uint8_t[]>(size);
  std::copy_n(seed.begin(), size, input.get());
  if (flipped_at >= 0) input[static_cast<size_t>(flipped_at)] ^= 0xFF;
  LLVMFuzzerTestOneInput(input.get(), size);
}

void Describe(const std::string& seed_name, const char* mutation, size_t number) {
  std::snprintf(g_current, sizeof g_current, "%s (%s %zu)", seed_name.c_str(), mutation, number);
}

// The seed, each of its truncations, and each of its bytes complemented: 2n + 1 inputs.
size_t ReplaySeed(const std::string& name, const std::vector<uint8_t>& seed) {
  Describe(name, "whole, bytes:", seed.size());
  RunInput(seed, seed.size(), -1);
  for (size_t length = 0; length < seed.size(); ++length) {
    Describe(name, "cut to bytes:", length);
    RunInput(seed, length, -1);
  }
  for (size_t at = 0; at < seed.size(); ++at) {
    Describe(name, "byte flipped at offset", at);
    RunInput(seed, seed.size(), static_cast<long>(at));
  }
  return 2 * seed.size() + 1;
}

bool CollectSeeds(const std::filesystem::path& argument, std::vector<std::filesystem::path>* seeds) {
  std::error_code error;
  if (std::filesystem::is_regular_file(argument, error)) {
    seeds->push_back(argument);
    return true;
  }
  std::filesystem::directory_iterator folder(argument, error);
  if (error) {
    std::fprintf(stderr, "replay: %s: %s\n", argument.string().c_str(), error.message().c_str());
    return false;
  }
  std::vector<std::filesystem::path> found;
  for (const auto& entry : folder) {
    if (entry.is_regular_file(error)) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  seeds->insert(seeds->end(), found.begin(), found.end());
  return true;
}

bool ReadSeed(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream stream(path, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  return !stream.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
    return 2;
  }
  std::vector<std::filesystem::path> seeds;
  for (int i = 1; i < argc; ++i) {
    if (!CollectSeeds(argv[i], &seeds)) return 1;
  }
  // A replay of nothing would pass whatever the target does.
  if (seeds.empty()) {
    std::fprintf(stderr, "replay: no seed found\n");
    return 1;
  }
  InstallCrashReport();
  size_t inputs = 0;
  for (const std::filesystem::path& path : seeds) {
    std::vector<uint8_t> seed;
    if (!ReadSeed(path, &seed)) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
      return 1;
    }
    inputs += ReplaySeed(path.filename().string(), seed);
  }
  std::printf("replay: %zu inputs from %zu seeds, no failure\n", inputs, seeds.size());
  return 0;
}
