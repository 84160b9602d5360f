// The one line that a long stress run keeps up to date on a terminal: how far it is, how many
// passes failed, and how long it has taken and will take.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

/// "Pass 3 of 200, 1 failed, 0:05 elapsed, about 5:26 left" after `done` of `total` passes,
/// `failed` of them failed, in `elapsed`; the time left is the mean time of a pass so far
/// times the passes still to run (none is shown before the first pass has ended).
std::string ProgressText(uint32_t done, uint32_t total, uint32_t failed, std::chrono::milliseconds elapsed);

/// Draws the progress on standard error when it is a terminal that can redraw a line, and
/// does nothing otherwise (a pipe, a file, TERM=dumb), so logs never hold it.
class ProgressLine {
 public:
  explicit ProgressLine(uint32_t total);
  /// Takes the line away, so that the run's last lines stand alone.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// Shows the progress after `done` passes, `failed` of them failed.
  void Show(uint32_t done, uint32_t failed);
  /// Takes the line away before the harness prints its own lines.
  void Clear();

 private:
  bool live_ = false;
  bool shown_ = false;
  uint32_t total_ = 0;
  std::chrono::steady_clock::time_point start_;
};
