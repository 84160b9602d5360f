// The tee on Windows: two named pipes of this process read with overlapped I/O by one thread,
// which waits on both reads and an event that tells it to finish. Anonymous pipes have no
// overlapped reads, and a blocking read could not be left while a grandchild holds the pipe.
#include "platform/output_tee.h"

#include <array>
#include <atomic>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/win32/handle.h"

namespace platform {
namespace {

using win32::UniqueHandle;

constexpr DWORD kReadSize = 64 * 1024;
// What Finish reads at most from each pipe: a process that outlives the child and keeps
// writing must not keep the caller reading for ever.
constexpr size_t kDrainLimit = 4 * 1024 * 1024;

std::wstring UniquePipeName() {
  static std::atomic<unsigned> counter{0};
  return L"\\\\.\\pipe\\testkve-tee-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1));
}

struct Pipe {
  UniqueHandle read;
  UniqueHandle write;
  UniqueHandle event;
  OVERLAPPED overlapped{};
  bool pending = false;
  HANDLE echo = nullptr;  // this process's own stream, or null when it gets nothing (more)
  std::array<char, kReadSize> buffer{};
};

// A pipe only this process's child writes to: the server end here, read overlapped; the
// client end opened at once, before anyone else can take the one instance.
bool MakePipe(Pipe* pipe, HANDLE echo) {
  const std::wstring name = UniquePipeName();
  pipe->read.Reset(CreateNamedPipeW(name.c_str(),
                                    PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, kReadSize, 0, nullptr));
  if (!pipe->read) return false;
  pipe->write.Reset(
      CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  pipe->event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  pipe->overlapped.hEvent = pipe->event.get();
  pipe->echo = echo == INVALID_HANDLE_VALUE ? nullptr : echo;
  return pipe->write && pipe->event;
}

class Win32OutputTee final : public OutputTee {
 public:
  Win32OutputTee(bool echo, Sink sink) : sink_(std::move(sink)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    ok_ = stop_ && MakePipe(&pipes_[0], echo ? GetStdHandle(STD_OUTPUT_HANDLE) : nullptr) &&
          MakePipe(&pipes_[1], echo ? GetStdHandle(STD_ERROR_HANDLE) : nullptr);
    if (!ok_) return;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      ok_ = false;
    }
  }
  ~Win32OutputTee() override { Finish(); }

  bool ok() const { return ok_; }
  ChildOutputs child_outputs() const override {
    return {reinterpret_cast<std::intptr_t>(pipes_[0].write.get()),
            reinterpret_cast<std::intptr_t>(pipes_[1].write.get())};
  }

  void CloseChildEnds() override {
    for (Pipe& pipe : pipes_) pipe.write.Reset();
  }

  void Finish() override {
    if (!thread_.joinable()) return;
    SetEvent(stop_.get());
    thread_.join();
    for (Pipe& pipe : pipes_) pipe.read.Reset();
    CloseChildEnds();
  }

 private:
  void Pass(size_t stream, DWORD size) {
    Pipe& pipe = pipes_[stream];
    const std::string_view bytes(pipe.buffer.data(), size);
    if (pipe.echo != nullptr && !win32::WriteAll(pipe.echo, bytes)) pipe.echo = nullptr;
    sink_(stream == 0 ? OutputStream::kOutput : OutputStream::kError, bytes);
  }

  // Starts reads until one is pending; false when the pipe has ended (it is then closed).
  bool StartRead(size_t stream) {
    Pipe& pipe = pipes_[stream];
    while (pipe.read && !pipe.pending) {
      DWORD got = 0;
      if (ReadFile(pipe.read.get(), pipe.buffer.data(), kReadSize, &got, &pipe.overlapped)) {
        Pass(stream, got);
        continue;
      }
      if (GetLastError() == ERROR_IO_PENDING) {
        pipe.pending = true;
        break;
      }
      pipe.read.Reset();
    }
    return static_cast<bool>(pipe.read);
  }

  // The end of a pending read: `wait` for it, or only take it when it is done.
  void Complete(size_t stream, bool wait) {
    Pipe& pipe = pipes_[stream];
    DWORD got = 0;
    const BOOL done = GetOverlappedResult(pipe.read.get(), &pipe.overlapped, &got, wait);
    pipe.pending = false;
    if (done) {
      if (got > 0) Pass(stream, got);
      return;
    }
    if (GetLastError() != ERROR_OPERATION_ABORTED) pipe.read.Reset();
  }

  void Run() {
    for (;;) {
      HANDLE waits[3];
      size_t streams[3];
      DWORD count = 0;
      for (size_t stream = 0; stream < 2; ++stream) {
        if (StartRead(stream)) {
          waits[count] = pipes_[stream].event.get();
          streams[count++] = stream;
        }
      }
      waits[count++] = stop_.get();
      const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
      // The stop event (last), or a failed wait, ends the reading.
      if (woke - WAIT_OBJECT_0 >= count - 1) break;
      Complete(streams[woke - WAIT_OBJECT_0], false);
    }
    for (size_t stream = 0; stream < 2; ++stream) Drain(stream);
  }

  // Takes a read in flight back (or what it got), then reads what the pipe holds now.
  void Drain(size_t stream) {
    Pipe& pipe = pipes_[stream];
    if (pipe.pending) {
      CancelIo(pipe.read.get());
      Complete(stream, true);
    }
    size_t drained = 0;
    while (pipe.read && drained < kDrainLimit) {
      DWORD available = 0;
      if (!PeekNamedPipe(pipe.read.get(), nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
      DWORD got = 0;
      const DWORD size = available < kReadSize ? available : kReadSize;
      if (!ReadFile(pipe.read.get(), pipe.buffer.data(), size, &got, &pipe.overlapped) &&
          (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(pipe.read.get(), &pipe.overlapped, &got, TRUE))) {
        break;
      }
      if (got == 0) break;
      Pass(stream, got);
      drained += got;
    }
  }

  Sink sink_;
  UniqueHandle stop_;
  std::array<Pipe, 2> pipes_;
  std::thread thread_;
  bool ok_ = false;
};

}  // namespace

std::unique_ptr<OutputTee> OutputTee::Start(bool echo, Sink sink) {
  auto tee = std::make_unique<Win32OutputTee>(echo, std::move(sink));
  if (!tee->ok()) return nullptr;
  return tee;
}

}  // namespace platform
