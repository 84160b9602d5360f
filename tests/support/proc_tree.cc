#include "support/proc_tree.h"

#include <filesystem>

void ProcTree::SetStat(std::string_view cpu_line) const {
  Write("stat", std::string(cpu_line) + "\ncpu0 1 2 3 4 5 6 7 8 0 0\nintr 12345 0 0\nctxt 99\n");
}

void ProcTree::SetMeminfo(int64_t committed_kb, int64_t limit_kb) const {
  SetMeminfoText("MemTotal:        8000000 kB\nMemFree:         1000000 kB\n"
                 "CommitLimit:    " + std::to_string(limit_kb) + " kB\n"
                 "Committed_AS:   " + std::to_string(committed_kb) + " kB\n"
                 "VmallocTotal:   34359738367 kB\n");
}

void ProcTree::SetMeminfoText(std::string_view text) const { Write("meminfo", text); }

void ProcTree::SetProcessIo(int pid, int64_t rchar, int64_t wchar, int64_t syscr,
                            int64_t syscw) const {
  const std::string folder = std::to_string(pid);
  std::filesystem::remove_all(path() / folder);
  std::filesystem::create_directories(path() / folder);
  Write(folder + "/io", "rchar: " + std::to_string(rchar) + "\nwchar: " + std::to_string(wchar) +
                            "\nsyscr: " + std::to_string(syscr) + "\nsyscw: " +
                            std::to_string(syscw) +
                            "\nread_bytes: 0\nwrite_bytes: 0\ncancelled_write_bytes: 0\n");
}

void ProcTree::MakeIoUnreadable(int pid) const {
  const std::filesystem::path folder = path() / std::to_string(pid);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "io");
}

void ProcTree::RemoveProcess(int pid) const {
  std::filesystem::remove_all(path() / std::to_string(pid));
}
