// The tee on Linux: two pipes read by one thread with poll, woken by an eventfd to finish.
#include "platform/output_tee.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

constexpr size_t kReadSize = 64 * 1024;
// What Finish reads at most from each pipe: a process that outlives the child and keeps
// writing must not keep the caller reading for ever.
constexpr size_t kDrainLimit = 4 * 1024 * 1024;

struct Pipe {
  posix::UniqueFd read;
  posix::UniqueFd write;
  int echo_fd = -1;  // this process's own stream, or -1 when it gets nothing (more)
};

bool MakePipe(Pipe* pipe, int echo_fd) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  pipe->read.Reset(ends[0]);
  pipe->write.Reset(ends[1]);
  pipe->echo_fd = echo_fd;
  return fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0;
}

class PosixOutputTee final : public OutputTee {
 public:
  PosixOutputTee(bool echo, Sink sink) : sink_(std::move(sink)) {
    ok_ = MakePipe(&pipes_[0], echo ? 1 : -1) && MakePipe(&pipes_[1], echo ? 2 : -1);
    wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ok_ = ok_ && wake_.valid() && StartThread();
  }
  ~PosixOutputTee() override { Finish(); }

  bool ok() const { return ok_; }
  ChildOutputs child_outputs() const override { return {pipes_[0].write.get(), pipes_[1].write.get()}; }

  void CloseChildEnds() override {
    for (Pipe& pipe : pipes_) pipe.write.Reset();
  }

  void Finish() override {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    posix::RetryOnEintr([&] { return ::write(wake_.get(), &one, sizeof one); });
    thread_.join();
    for (Pipe& pipe : pipes_) pipe.read.Reset();
    CloseChildEnds();
  }

 private:
  // The thread takes no signal: they stay with the threads that wait for the child and
  // handle stops.
  bool StartThread() {
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return thread_.joinable();
  }

  void Pass(size_t stream, std::string_view bytes) {
    Pipe& pipe = pipes_[stream];
    if (pipe.echo_fd >= 0 && !posix::WriteAll(pipe.echo_fd, bytes)) pipe.echo_fd = -1;
    sink_(stream == 0 ? OutputStream::kOutput : OutputStream::kError, bytes);
  }

  // One read of a pipe that poll found ready: what it gave, 0 at its end (the pipe is then
  // closed), -1 when nothing is there now.
  ssize_t ReadOnce(size_t stream) {
    const ssize_t got =
        posix::RetryOnEintr([&] { return ::read(pipes_[stream].read.get(), buffer_.data(), buffer_.size()); });
    if (got > 0) {
      Pass(stream, std::string_view(buffer_.data(), static_cast<size_t>(got)));
      return got;
    }
    if (got < 0 && errno == EAGAIN) return -1;
    pipes_[stream].read.Reset();
    return 0;
  }

  void Run() {
    for (;;) {
      std::array<pollfd, 3> watched = {
          pollfd{pipes_[0].read.get(), POLLIN, 0}, pollfd{pipes_[1].read.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
      if (posix::RetryOnEintr([&] { return poll(watched.data(), watched.size(), -1); }) < 0) break;
      if (watched[2].revents != 0) break;
      for (size_t stream = 0; stream < 2; ++stream) {
        if (watched[stream].revents != 0) ReadOnce(stream);
      }
    }
    for (size_t stream = 0; stream < 2; ++stream) Drain(stream);
  }

  void Drain(size_t stream) {
    size_t drained = 0;
    while (pipes_[stream].read.valid() && drained < kDrainLimit) {
      const ssize_t got = ReadOnce(stream);
      if (got <= 0) break;
      drained += static_cast<size_t>(got);
    }
  }

  Sink sink_;
  std::array<Pipe, 2> pipes_;
  posix::UniqueFd wake_;
  std::array<char, kReadSize> buffer_{};
  std::thread thread_;
  bool ok_ = false;
};

}  // namespace

std::unique_ptr<OutputTee> OutputTee::Start(bool echo, Sink sink) {
  auto tee = std::make_unique<PosixOutputTee>(echo, std::move(sink));
  if (!tee->ok()) return nullptr;
  return tee;
}

}  // namespace platform
