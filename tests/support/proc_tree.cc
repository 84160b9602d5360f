#include "support/proc_tree.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

void ProcTree::SetStat(std::string_view cpu_line) const {
  Write("stat", std::string(cpu_line) + "\ncpu0 1 2 3 4 5 6 7 8 0 0\nintr 12345 0 0\nctxt 99\n");
}

void ProcTree::SetMeminfo(int64_t committed_kb, int64_t limit_kb) const {
  SetMeminfoText(
      "MemTotal:        8000000 kB\nMemFree:         1000000 kB\n"
      "CommitLimit:    " +
      std::to_string(limit_kb) +
      " kB\n"
      "Committed_AS:   " +
      std::to_string(committed_kb) +
      " kB\n"
      "VmallocTotal:   34359738367 kB\n");
}

void ProcTree::SetMeminfoText(std::string_view text) const { Write("meminfo", text); }

void ProcTree::SetProcessIo(int pid, int64_t rchar, int64_t wchar, int64_t syscr, int64_t syscw) const {
  const std::filesystem::path io = path() / std::to_string(pid) / "io";
  if (std::filesystem::is_directory(io)) std::filesystem::remove(io);
  std::filesystem::create_directories(io.parent_path());
  // Rewritten in place, like a live io file, so that a descriptor kept open reads the new text.
  std::ofstream file(io, std::ios::binary | std::ios::trunc);
  file << "rchar: " << rchar << "\nwchar: " << wchar << "\nsyscr: " << syscr << "\nsyscw: " << syscw
       << "\nread_bytes: 0\nwrite_bytes: 0\ncancelled_write_bytes: 0\n";
  if (!file.flush()) throw std::runtime_error("cannot write " + io.string());
}

void ProcTree::MakeIoUnreadable(int pid) const {
  const std::filesystem::path io = path() / std::to_string(pid) / "io";
  if (std::filesystem::is_regular_file(io)) {
    std::ofstream(io, std::ios::trunc);  // what an open descriptor reads: nothing
    return;
  }
  std::filesystem::create_directories(io);
}

void ProcTree::RemoveProcess(int pid) const { std::filesystem::remove_all(path() / std::to_string(pid)); }

void ProcTree::SetProcess(const Process& process) const {
  const std::string folder = std::to_string(process.pid);
  std::filesystem::create_directories(path() / folder);
  // A command name with spaces and a parenthesis, and a negative priority, as live files may have.
  Write(folder + "/stat", folder + " (vx r) (x) S " + std::to_string(process.parent) + " 1 1 0 -1 4194560 100 0 0 0 " +
                              std::to_string(process.cpu_ticks) + " 0 0 0 -2 -5 1 0 " +
                              std::to_string(process.start_ticks) + " 1000000 250 18446744073709551615\n");
  Write(folder + "/cmdline", process.cmdline);
  Write(folder + "/status", "Name:\tvxr\nState:\tS (sleeping)\nVmPeak:\t  9000 kB\nVmRSS:\t    " +
                                std::to_string(process.resident_kib) + " kB\nThreads:\t1\n");
}
