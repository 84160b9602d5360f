// The virus-name lookup over pattern files of 200 000 names, in mode 0x81 (each section
// compressed whole) and mode 0x01 (each entry compressed), for a name that is not there, so
// the whole file is read. The floor, in the same run: reading the same file and inflating the
// same compressed regions with zlib alone. Then the peak memory of a lookup in a fresh process
// (vxrtool ptn find) for 20 000 and 200 000 names, which must not grow with the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/recording_reporter.h"
#include "pattern_reader/pattern_file.h"
#include "pattern_reader/pattern_section.h"
#include "pattern_reader/virus_names.h"
#include "platform/little_endian.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

constexpr int kManyNames = 200000;
constexpr int kFewerNames = 20000;
constexpr const char* kMissingName = "NOT_IN_THE_FILE";

std::string NamesText(int count) {
  static const char* const kPrefixes[] = {"TROJ_", "WORM_", "BKDR_", "TSPY_", "PE_", "JS_"};
  std::string text;
  uint32_t state = 12345;
  for (int i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    text += std::string(kPrefixes[state >> 29 & 3]) + std::to_string(i) + "." +
            static_cast<char>('A' + (state >> 16) % 26) + static_cast<char>('A' + (state >> 8) % 26) + "\n";
  }
  return text;
}

// A pattern file built by vxrtool, and its compressed regions (unmasked) for the floor.
struct PatternFile {
  std::string path;
  std::vector<std::string> regions;
};

// The stored DEFLATE regions of every name section: the whole region (0x81) or each entry's.
std::vector<std::string> CompressedRegions(const std::string& path) {
  std::vector<std::string> regions;
  WalkPatternRecords(
      path.c_str(),
      [](const PatternRecordHeader& header) {
        return header.kind == kPatternNameRecordKind ? PatternFilterAnswer::kRead : PatternFilterAnswer::kSkip;
      },
      [&regions](const PatternRecordHeader&, std::span<const uint8_t> body) {
        const std::string stored(body.begin() + kPatternSectionHeaderSize, body.end());
        if (body[10] == kSectionCompressedWhole) {
          regions.push_back(stored);
          return true;
        }
        for (size_t at = 0; at + 10 <= stored.size();) {
          const size_t header = LoadLittleEndian16(&stored[at]);
          const size_t size = LoadLittleEndian16(&stored[at + 8]);
          regions.push_back(stored.substr(at + header, size));
          at += header + size;
        }
        return true;
      });
  return regions;
}

PatternFile Build(const TempFolder& folder, int names, const char* mode) {
  const std::string list = folder.Write("names_" + std::to_string(names) + ".txt", NamesText(names));
  PatternFile file;
  file.path = (folder.path() / ("names_" + std::to_string(names) + "_" + mode + ".ptn")).string();
  const ProgramRun run = RunProgram(
      BuiltProgram("vxrtool"), {"ptn", "build", "--version", "1", "--names", list, "--mode", mode, "--out", file.path});
  if (run.exit_code != 0) std::fprintf(stderr, "vxrtool failed: %s\n", run.errors.c_str());
  file.regions = CompressedRegions(file.path);
  return file;
}

std::map<std::string, PatternFile>* files = nullptr;

void BM_Lookup(benchmark::State& state, const char* mode) {
  const PatternFile& file = files->at(mode);
  for (auto _ : state) {
    if (LookupVirusName(file.path.c_str(), kMissingName) != NameLookup::kNotFound) {
      state.SkipWithError("the lookup failed");
      break;
    }
  }
}

// Reads the whole file and inflates every compressed region, with one reused zlib stream.
void BM_Floor(benchmark::State& state, const char* mode) {
  const PatternFile& file = files->at(mode);
  std::vector<char> bytes(static_cast<size_t>(std::filesystem::file_size(file.path)));
  std::vector<uint8_t> out(kMaxExpandedBytes);
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  for (auto _ : state) {
    std::FILE* in = std::fopen(file.path.c_str(), "rb");
    if (in == nullptr || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) {
      state.SkipWithError("cannot read the file");
    }
    if (in != nullptr) std::fclose(in);
    benchmark::DoNotOptimize(bytes.data());
    for (const std::string& region : file.regions) {
      inflateReset(&stream);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(region.data()));
      stream.avail_in = static_cast<uInt>(region.size());
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      if (inflate(&stream, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  inflateEnd(&stream);
}

BENCHMARK_CAPTURE(BM_Lookup, 0x81, "0x81")->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_Floor, 0x81, "0x81")->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_Lookup, 0x01, "0x01")->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_Floor, 0x01, "0x01")->Unit(benchmark::kMillisecond)->MinTime(2);

// The peak resident set of `vxrtool ptn find FILE NAME` in KiB, or -1.
long PeakKib(const std::string& file) {
  const std::string vxrtool = BuiltProgram("vxrtool");
  std::vector<std::string> args = {vxrtool, "ptn", "find", file, kMissingName};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, vxrtool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 1) {
    return -1;
  }
  return usage.ru_maxrss;
}

void PrintTimeResult(const RecordingReporter& reporter, const char* mode) {
  const double lookup = reporter.Seconds(std::string("BM_Lookup/") + mode) * 1e3;
  const double floor = reporter.Seconds(std::string("BM_Floor/") + mode) * 1e3;
  if (lookup <= 0 || floor <= 0) return;
  std::printf(
      "RESULT pattern lookup %s vs zlib floor: %.3f (goal: <= 1.2) lookup %.2f ms, floor "
      "%.2f ms processor time, %d names, a miss\n",
      mode, lookup / floor, lookup, floor, kManyNames);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TempFolder folder;
  std::map<std::string, PatternFile> built = {{"0x81", Build(folder, kManyNames, "0x81")},
                                              {"0x01", Build(folder, kManyNames, "0x01")}};
  files = &built;
  RecordingReporter reporter(RecordingReporter::Clock::kProcessor);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const PatternFile fewer = Build(folder, kFewerNames, "0x81");
  const long many_kib = PeakKib(built.at("0x81").path);
  const long fewer_kib = PeakKib(fewer.path);
  PrintTimeResult(reporter, "0x81");
  PrintTimeResult(reporter, "0x01");
  if (many_kib > 0 && fewer_kib > 0) {
    std::printf(
        "RESULT pattern lookup peak memory 200000 vs 20000 names: %.3f (goal: <= 1.1) "
        "peak resident %ld KiB for 200000 names, %ld KiB for 20000 names\n",
        static_cast<double>(many_kib) / static_cast<double>(fewer_kib), many_kib, fewer_kib);
  }
  benchmark::Shutdown();
  return 0;
}
