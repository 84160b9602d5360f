// Verifying the signature trailer of a 256 MiB file against the openssl command's MD5 of the
// same file: the verification streams the file through MD5 in 1000-byte chunks and should
// cost little more than the digest itself. Ends with a RESULT line: the ratio of the two
// wall-clock times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"
#include "support/dev_signature.h"
#include "support/temp_folder.h"

namespace {

constexpr size_t kFileBytes = size_t{256} << 20;

// The signed file, made once per run with the development key.
class SignedFile {
 public:
  SignedFile() {
    std::string content(kFileBytes - 69, '\0');
    content.reserve(kFileBytes);
    std::mt19937_64 random(1);
    for (size_t at = 0; at + 8 <= content.size(); at += 8) {
      uint64_t word = random();
      content.replace(at, 8, reinterpret_cast<const char*>(&word), 8);
    }
    const std::vector<uint8_t> signature = DevSignature(content);
    content.append(signature.begin(), signature.end());
    content.append({static_cast<char>(signature.size()), 0, 0, 0});
    path_ = folder_.Write("signed", content).string();
  }
  const std::string& path() const { return path_; }

 private:
  TempFolder folder_;
  std::string path_;
};

SignedFile* signed_file = nullptr;

void BM_VerifyAppendedSignature(benchmark::State& state) {
  for (auto _ : state) {
    if (VerifyAppendedSignature(signed_file->path().c_str()) != 1) {
      state.SkipWithError("the file does not verify");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_OpensslDgstMd5(benchmark::State& state) {
  const std::string command = "openssl dgst -md5 " + signed_file->path() + " >/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("openssl dgst failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

// The openssl command runs in a child process, so both are timed on the wall clock.
BENCHMARK(BM_VerifyAppendedSignature)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_OpensslDgstMd5)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Keeps the time per iteration of each benchmark for the ratio.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        seconds_[run.run_name.function_name] =
            run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Seconds(const std::string& name) const {
    auto found = seconds_.find(name);
    return found == seconds_.end() ? 0 : found->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SignedFile file;
  signed_file = &file;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double verify = reporter.Seconds("BM_VerifyAppendedSignature");
  double openssl = reporter.Seconds("BM_OpensslDgstMd5");
  if (verify > 0 && openssl > 0) {
    std::printf(
        "RESULT appended signature vs openssl md5: %.3f (goal: <= 1.2) verify %.1f ms, "
        "openssl dgst -md5 %.1f ms on 256 MiB\n",
        verify / openssl, verify * 1e3, openssl * 1e3);
  }
  benchmark::Shutdown();
  return 0;
}
