// The engine starter: a process starts it once and has it start every program that it runs
// from an open file (starter_protocol.h). As a child subreaper it adopts whatever the program's
// descendants leave behind, also a process that left the program's group or session, and it
// ends all of that when the program has ended, when asked, and when the process that started it
// is gone, so that nothing of the tree outlives the run. It is linked statically and uses the C
// library only: its own memory stays small and never counts into the program's peak.
//
// Started with /dev/null on its standard streams and its end of the channel on descriptor 3.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/child_start.h"
#include "platform/posix/engine_starter/starter_protocol.h"

namespace {

namespace protocol = platform::posix::starter;

// A program, its current folder and its three standard streams.
constexpr int kMaxDescriptors = 5;

// One message, and the argument and environment pointers into it (each string is at least its
// terminating NUL, so there are never more strings than bytes).
alignas(8) char message[protocol::kMaxMessage];
char* pointers[protocol::kMaxMessage + 2];

// The processors the starter was given, which every program gets.
cpu_set_t all_processors;

struct Received {
  ssize_t size = 0;
  int descriptors[kMaxDescriptors];
  int descriptor_count = 0;
};

// The next message with any descriptors it carries; size 0 when the other end has closed.
Received Receive() {
  Received received;
  iovec data = {message, sizeof message};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptors)];
  msghdr header = {};
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  do {
    received.size = recvmsg(protocol::kChannelFd, &header, MSG_CMSG_CLOEXEC);
  } while (received.size < 0 && errno == EINTR);
  if (received.size < 0) received.size = 0;  // a channel that fails is a process that is gone
  for (cmsghdr* item = CMSG_FIRSTHDR(&header); item != nullptr; item = CMSG_NXTHDR(&header, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS) continue;
    const size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; ++i) {
      int fd;
      memcpy(&fd, CMSG_DATA(item) + i * sizeof(int), sizeof fd);
      if (received.descriptor_count < kMaxDescriptors) {
        received.descriptors[received.descriptor_count++] = fd;
      } else {
        close(fd);
      }
    }
  }
  return received;
}

void CloseAll(const Received& received) {
  for (int i = 0; i < received.descriptor_count; ++i) close(received.descriptors[i]);
}

template <typename Message>
void Reply(const Message& reply) {
  send(protocol::kChannelFd, &reply, sizeof reply, MSG_NOSIGNAL);
}

// The reply with a descriptor (when `fd` is one) that the caller keeps.
template <typename Message>
void ReplyWith(const Message& reply, int fd) {
  if (fd < 0) return Reply(reply);
  iovec data = {const_cast<Message*>(&reply), sizeof reply};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof fd)] = {};
  msghdr header = {};
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  cmsghdr* rights = CMSG_FIRSTHDR(&header);
  rights->cmsg_level = SOL_SOCKET;
  rights->cmsg_type = SCM_RIGHTS;
  rights->cmsg_len = CMSG_LEN(sizeof fd);
  memcpy(CMSG_DATA(rights), &fd, sizeof fd);
  sendmsg(protocol::kChannelFd, &header, MSG_NOSIGNAL);
}

protocol::Kind KindOf(const Received& received) {
  protocol::Kind kind{};
  if (received.size >= static_cast<ssize_t>(sizeof kind)) memcpy(&kind, message, sizeof kind);
  return kind;
}

struct Plan {
  bool detached = false;
  int cpu = -1;
  int program = -1;
  int folder = -1;
  int streams[3] = {-1, -1, -1};  // -1: /dev/null
  char** argv = nullptr;
  char** envp = nullptr;
};

// Reads a start message into `plan`; false when it is malformed.
bool ParseStart(const Received& received, Plan* plan) {
  protocol::Start start;
  if (received.size < static_cast<ssize_t>(sizeof start)) return false;
  memcpy(&start, message, sizeof start);
  int expected = 2;
  for (int stream = 0; stream < 3; ++stream) expected += (start.inherited_streams >> stream) & 1;
  if (received.descriptor_count != expected || start.argc == 0) return false;
  const size_t strings = static_cast<size_t>(start.argc) + start.envc;
  if (strings > static_cast<size_t>(received.size)) return false;
  char* text = message + sizeof start;
  char* const end = message + received.size;
  size_t next = 0;
  for (size_t i = 0; i < strings; ++i) {
    char* terminator = static_cast<char*>(memchr(text, '\0', static_cast<size_t>(end - text)));
    if (terminator == nullptr) return false;
    if (i == start.argc) pointers[next++] = nullptr;
    pointers[next++] = text;
    text = terminator + 1;
  }
  if (start.envc == 0) pointers[next++] = nullptr;
  pointers[next] = nullptr;
  plan->detached = start.detached != 0;
  plan->cpu = start.cpu;
  plan->program = received.descriptors[0];
  plan->folder = received.descriptors[1];
  int used = 2;
  for (int stream = 0; stream < 3; ++stream) {
    if ((start.inherited_streams >> stream) & 1) plan->streams[stream] = received.descriptors[used++];
  }
  plan->argv = pointers;
  plan->envp = pointers + start.argc + 1;
  return true;
}

// The program's vfork child: it shares the starter's memory until the exec and writes nothing
// there but `*error`.
[[noreturn]] void RunProgram(const Plan& plan, pid_t starter, volatile int* error) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != starter) {
    *error = errno != 0 ? errno : ESRCH;
    _exit(127);
  }
  platform::posix::ResetChildSignals();
  bool ready = fchdir(plan.folder) == 0;
  for (int stream = 0; ready && stream < 3; ++stream) {
    ready =
        plan.streams[stream] >= 0 ? dup2(plan.streams[stream], stream) == stream : platform::posix::OpenNullOn(stream);
  }
  if (!ready || !platform::posix::LeaveCallersGroup(plan.detached)) {
    *error = errno;
    _exit(127);
  }
  if (plan.cpu >= 0) sched_setaffinity(0, sizeof all_processors, &all_processors);
  platform::posix::UnblockAllSignals();
  execveat(plan.program, "", plan.argv, plan.envp, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

// The children listed by one reading of /proc/thread-self/children, at most kMostListed.
constexpr int kMostListed = 65536;
pid_t listed[kMostListed];

int ListChildren() {
  const int list = open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
  if (list < 0) return 0;
  int count = 0;
  pid_t pid = 0;
  // The program has been started, so the message buffer is free to read the list into.
  for (ssize_t got; count < kMostListed && (got = read(list, message, sizeof message)) > 0;) {
    for (ssize_t i = 0; i < got && count < kMostListed; ++i) {
      if (message[i] >= '0' && message[i] <= '9') {
        pid = pid * 10 + (message[i] - '0');
        continue;
      }
      if (pid > 0) listed[count++] = pid;
      pid = 0;
    }
  }
  if (pid > 0 && count < kMostListed) listed[count++] = pid;
  close(list);
  return count;
}

// Kills and reaps every child until none is left. Killing a child hands its own children to
// this subreaper, so each round works one level further down the tree. Each is killed first and
// then reaped by its own ID: a wait for any child would look through all of them each time.
void EndTree() {
  for (;;) {
    // Mostly the program left nothing: then there is no list to read.
    const pid_t reaped = waitpid(-1, nullptr, WNOHANG);
    if (reaped < 0 && errno == ECHILD) return;
    const int count = ListChildren();
    for (int i = 0; i < count; ++i) kill(listed[i], SIGKILL);
    for (int i = 0; i < count; ++i) {
      while (waitpid(listed[i], nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    if (count == 0 && reaped == 0) {
      // A child that was not listed yet, between its fork and its listing: look again shortly.
      const timespec pause = {0, 1'000'000};
      nanosleep(&pause, nullptr);
    }
  }
}

uint64_t Microseconds(const timeval& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1'000'000 + static_cast<uint64_t>(time.tv_usec);
}

// The program by its process ID as well as its group: a program may leave its group (join the
// starter's, say), and it is this starter's unreaped child, so its ID cannot name another.
void SignalProgram(pid_t program, int signal) {
  kill(program, signal);
  kill(-program, signal);
}

// SIGTTIN or SIGTTOU when the terminal has stopped the program (it read or set the terminal
// from the background, where it waits for ever); 0 for any other stop or none.
int TerminalStop(pid_t program) {
  siginfo_t info = {};
  if (waitid(P_PID, static_cast<id_t>(program), &info, WSTOPPED | WNOHANG) != 0 || info.si_pid != program) return 0;
  if (info.si_code != CLD_STOPPED) return 0;
  return info.si_status == SIGTTIN || info.si_status == SIGTTOU ? info.si_status : 0;
}

struct Followed {
  bool caller_here = true;
  int terminal_stop = 0;
};

// Acts on the caller's messages and on the program's stops until the program ends; the
// caller is gone when its end closes (the program has then been killed). `children` is a
// signal descriptor for SIGCHLD, which a stop of the program raises.
Followed FollowCaller(pid_t program, int process, int children) {
  Followed followed;
  for (;;) {
    pollfd watched[3] = {{process, POLLIN, 0}, {children, POLLIN, 0}, {protocol::kChannelFd, POLLIN, 0}};
    if (poll(watched, followed.caller_here ? 3 : 2, -1) < 0) continue;
    if (watched[0].revents != 0) break;
    if (watched[1].revents != 0) {
      signalfd_siginfo drained[8];
      while (read(children, drained, sizeof drained) > 0) {
      }
      if (const int stop = TerminalStop(program); stop != 0 && followed.terminal_stop == 0) {
        followed.terminal_stop = stop;
        SignalProgram(program, SIGKILL);
      }
    }
    if (watched[2].revents == 0) continue;
    const Received received = Receive();
    CloseAll(received);
    if (received.size == 0) {
      followed.caller_here = false;
      SignalProgram(program, SIGKILL);
    } else if (KindOf(received) == protocol::Kind::kForward && received.size >= 8) {
      protocol::Forward forward;
      memcpy(&forward, message, sizeof forward);
      SignalProgram(program, forward.signal);
      SignalProgram(program, SIGCONT);  // a stopped member could not act on it
    } else if (KindOf(received) == protocol::Kind::kEndTree) {
      SignalProgram(program, SIGKILL);
    }
  }
  return followed;
}

// Starts one program, follows it to its end and ends its tree; false when the caller is gone.
bool Serve(const Received& received, int children) {
  Plan plan;
  protocol::Started started;
  if (!ParseStart(received, &plan)) {
    CloseAll(received);
    started.error = EINVAL;
    Reply(started);
    return true;
  }
  // The start runs on the caller's processor, as the caller's own child would: the caller
  // sleeps meanwhile, and waking another, idle processor costs more than the start itself on a
  // virtual machine. The program gets the starter's whole set of processors back.
  if (plan.cpu >= 0 && plan.cpu < CPU_SETSIZE) {
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(plan.cpu, &only);
    sched_setaffinity(0, sizeof only, &only);
  }
  const pid_t starter = getpid();
  int error = 0;
  const pid_t program =
      platform::posix::VforkChild([&](volatile int* exec_error) { RunProgram(plan, starter, exec_error); }, &error);
  CloseAll(received);
  if (program < 0) {
    started.error = error;
    Reply(started);
    return true;
  }
  started.pid = program;
  const int process = static_cast<int>(syscall(SYS_pidfd_open, program, 0));
  ReplyWith(started, process);

  // Without a process descriptor only the program's end counts.
  const Followed followed = process >= 0 ? FollowCaller(program, process, children) : Followed{};
  if (process >= 0) close(process);
  int status = 0;
  rusage usage = {};
  while (wait4(program, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  EndTree();
  if (!followed.caller_here) return false;
  protocol::Ended ended;
  ended.status = status;
  ended.terminal_stop = followed.terminal_stop;
  ended.user_us = Microseconds(usage.ru_utime);
  ended.system_us = Microseconds(usage.ru_stime);
  ended.peak_rss_kib = static_cast<uint64_t>(usage.ru_maxrss);
  Reply(ended);
  return true;
}

}  // namespace

int main() {
  // A group of its own, so that neither the terminal's keys nor a signal to the caller's group
  // reach it: the caller tells it what to do. Continued when the caller dies, so that a
  // starter that its program stopped still sees the channel close and ends the tree.
  if (fcntl(protocol::kChannelFd, F_SETFD, FD_CLOEXEC) != 0 || setpgid(0, 0) != 0 ||
      prctl(PR_SET_CHILD_SUBREAPER, 1) != 0 || prctl(PR_SET_PDEATHSIG, SIGCONT) != 0) {
    return 127;
  }
  prctl(PR_SET_NAME, protocol::kStarterName);
  // SIGCHLD is read from a descriptor, so that a stop of the program wakes the wait for it.
  sigset_t child_signal;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_signal, nullptr);
  const int children = signalfd(-1, &child_signal, SFD_CLOEXEC | SFD_NONBLOCK);
  if (children < 0) return 127;
  sched_getaffinity(0, sizeof all_processors, &all_processors);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);  // a reply to a caller that has gone is simply lost
  for (;;) {
    const Received received = Receive();
    if (received.size == 0) return 0;
    if (KindOf(received) == protocol::Kind::kStart) {
      if (!Serve(received, children)) return 0;
    } else {
      CloseAll(received);  // a message about a program that has ended already
    }
  }
}
