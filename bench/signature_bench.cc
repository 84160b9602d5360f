// Verifying the signature trailer of a 256 MiB file against the openssl command's MD5 of the
// same file: the verification streams the file through MD5 in 1000-byte chunks and should
// cost little more than the digest itself. Prints the ratio of the two wall-clock times.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"

namespace {

constexpr size_t kFileBytes = size_t{256} << 20;

// The signed file, made once per run with the development key.
class SignedFile {
 public:
  SignedFile() {
    path_ = std::filesystem::temp_directory_path() /
            ("testkve-signature-bench-" + std::to_string(std::random_device()()));
    std::string content(kFileBytes - 69, '\0');
    std::mt19937_64 random(1);
    for (size_t at = 0; at + 8 <= content.size(); at += 8) {
      uint64_t word = random();
      content.replace(at, 8, reinterpret_cast<const char*>(&word), 8);
    }
    std::vector<unsigned char> signature = Sign(content);
    std::ofstream out(path_, std::ios::binary);
    out.write(content.data(), static_cast<long>(content.size()));
    out.write(reinterpret_cast<const char*>(signature.data()), static_cast<long>(signature.size()));
    const char length[4] = {static_cast<char>(signature.size()), 0, 0, 0};
    out.write(length, 4);
  }
  ~SignedFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  static std::vector<unsigned char> Sign(const std::string& content) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key.pem", "r"), std::fclose);
    if (!file) throw std::runtime_error("no development key");
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
        PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::vector<unsigned char> signature(128);
    size_t size = signature.size();
    if (!key || EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(digest.get(), signature.data(), &size,
                       reinterpret_cast<const unsigned char*>(content.data()),
                       content.size()) != 1) {
      throw std::runtime_error("signing failed");
    }
    signature.resize(size);
    return signature;
  }

  std::filesystem::path path_;
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
    std::printf("ratio VerifyAppendedSignature / openssl dgst -md5 on 256 MiB: %.3f\n",
                verify / openssl);
  }
  benchmark::Shutdown();
  return 0;
}
