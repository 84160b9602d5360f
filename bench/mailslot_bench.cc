// The engine's message path: 100 000 messages of 100 bytes written by one process through the
// engine SDK's mailslot writer and then drained by the harness's reading loop, against the same
// bytes written by one process into a pipe (one write per message) and read by this one. Both
// include starting the writing process.
//
//   build/bin/mailslot_bench
//   build/bin/mailslot_bench --benchmark_repetitions=5
//
// A second comparison drains 1000 and 4000 messages that lie before a damaged tail of 8 MiB (records
// that claim the largest length and fail their checksum): when the tail is judged once, four
// times the messages cost little more than the tail; when every query judged it again, four
// times as much.
//
// Ends with one RESULT line per comparison: drain time over pipe time (goal: within 2 times),
// and the drain of 4000 over that of 1000 messages before the damaged tail (goal: within 2).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "TestKVE/extra_output.h"
#include "engine_sdk/mailslot_writer.h"
#include "platform/mailslot.h"
#include "platform/mailslot_record.h"
#include "platform/posix/mailslot_folder.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMessages = 100'000;
constexpr size_t kMessageBytes = 100;
constexpr char kSlot[] = "\\\\.\\mailslot\\BenchSlot";

std::vector<double> mailslot_seconds;
std::vector<double> pipe_seconds;
std::map<int64_t, std::vector<double>> damaged_tail_seconds;  // by number of messages

std::string Message(int number) {
  std::string text = std::to_string(number) + " ";
  text.resize(kMessageBytes - 1, '.');
  return text + "\n";
}

// Runs `write_all` in a child process and waits for it; false when it did not exit with 0.
// With a pipe, this process closes its write end and reads everything while the child writes.
template <typename Body>
bool InChild(Body write_all, const int* pipe_ends = nullptr) {
  pid_t pid = fork();
  if (pid == 0) _exit(write_all() ? 0 : 1);
  if (pipe_ends != nullptr) {
    close(pipe_ends[1]);
    // The reader keeps pace with the writer, as a pipe needs.
    std::vector<char> buffer(64 * 1024);
    size_t total = 0;
    for (ssize_t got; (got = read(pipe_ends[0], buffer.data(), buffer.size())) > 0;) total += static_cast<size_t>(got);
    benchmark::DoNotOptimize(total);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_MailslotDrain(benchmark::State& state) {
  TempFolder runtime;
  setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
  for (auto _ : state) {
    platform::Error error;
    platform::MailslotServer slot = platform::MailslotServer::Create(kSlot, &error);
    if (!slot.is_open()) return state.SkipWithError("cannot create the slot");
    Clock::time_point start = Clock::now();
    bool written = InChild([] {
      engine_sdk::MailslotWriter writer;
      std::string error_text;
      if (!writer.Open(kSlot, &error_text)) return false;
      for (int n = 1; n <= kMessages; ++n)
        if (!writer.Write(Message(n), &error_text)) return false;
      return true;
    });
    size_t messages = 0;
    size_t bytes = 0;
    ReadMailslot(slot, [&](uint32_t, const std::string& message) {
      ++messages;
      bytes += message.size();
    });
    mailslot_seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (!written || messages != kMessages || bytes != kMessages * kMessageBytes)
      return state.SkipWithError("messages lost");
  }
}
BENCHMARK(BM_MailslotDrain)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_PipeSameBytes(benchmark::State& state) {
  for (auto _ : state) {
    int ends[2];
    if (pipe(ends) != 0) return state.SkipWithError("no pipe");
    Clock::time_point start = Clock::now();
    int write_end = ends[1];
    bool written = InChild(
        [write_end, read_end = ends[0]] {
          close(read_end);
          for (int n = 1; n <= kMessages; ++n) {
            std::string message = Message(n);
            if (write(write_end, message.data(), message.size()) != static_cast<ssize_t>(message.size())) return false;
          }
          return true;
        },
        ends);
    pipe_seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    close(ends[0]);
    if (!written) return state.SkipWithError("pipe writer failed");
  }
}
BENCHMARK(BM_PipeSameBytes)->Iterations(5)->Unit(benchmark::kMillisecond);

// Bytes that look like records of the largest length but fail their checksum.
std::string DamagedTail(size_t bytes) {
  std::string fake = platform::MailslotRecord(std::string(platform::kMailslotMaxMessage, 'f')).substr(0, 4096);
  std::string tail;
  while (tail.size() < bytes) tail += fake;
  return tail;
}

void BM_DrainBeforeADamagedTail(benchmark::State& state) {
  TempFolder runtime;
  setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
  const int messages = static_cast<int>(state.range(0));
  const std::string tail = DamagedTail(8 * 1024 * 1024);
  for (auto _ : state) {
    platform::Error error;
    platform::MailslotServer slot = platform::MailslotServer::Create(kSlot, &error);
    if (!slot.is_open()) return state.SkipWithError("cannot create the slot");
    engine_sdk::MailslotWriter writer;
    std::string error_text;
    if (!writer.Open(kSlot, &error_text)) return state.SkipWithError("cannot open the slot");
    for (int n = 1; n <= messages; ++n) writer.Write(Message(n), &error_text);
    std::ofstream(platform::MailslotFolder() / "benchslot", std::ios::binary | std::ios::app) << tail;
    Clock::time_point start = Clock::now();
    int read = 0;
    ReadMailslot(slot, [&](uint32_t, const std::string&) { ++read; });
    damaged_tail_seconds[messages].push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (read != messages) return state.SkipWithError("messages lost");
  }
}
BENCHMARK(BM_DrainBeforeADamagedTail)->Arg(1000)->Arg(4000)->Iterations(3)->Unit(benchmark::kMillisecond);

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  double drain = Median(mailslot_seconds);
  double through_pipe = Median(pipe_seconds);
  double few = Median(damaged_tail_seconds[1000]);
  double many = Median(damaged_tail_seconds[4000]);
  if (drain <= 0 || through_pipe <= 0 || few <= 0 || many <= 0) return 1;
  std::printf(
      "RESULT mailslot drain vs pipe: %.3f (goal: <= 2) 100000 messages of 100 bytes, "
      "mailslot %.1f ms, pipe %.1f ms\n",
      drain / through_pipe, drain * 1e3, through_pipe * 1e3);
  std::printf(
      "RESULT mailslot drain before a damaged tail, 4000 vs 1000 messages: %.3f (goal: <= 2) "
      "8 MiB tail, 1000 messages %.1f ms, 4000 messages %.1f ms\n",
      many / few, few * 1e3, many * 1e3);
  return 0;
}
