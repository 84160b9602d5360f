#include "perf_monitor/engine_finder.h"

#include <string_view>
#include <unordered_map>

namespace {

// How far up the parent chain a descendant of the harness may sit (harness, a starter, the
// engine and what it forked).
constexpr int kMostGenerations = 16;

using Processes = std::unordered_map<int, const platform::ProcessEntry*>;

bool IsDecimal(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The process that started `child`, when the record of it is still true.
const platform::ProcessEntry* ParentOf(const platform::ProcessEntry& child, const Processes& processes) {
  const auto parent = processes.find(child.parent_id);
  if (parent == processes.end() || parent->second->start_time > child.start_time) return nullptr;
  return parent->second;
}

bool DescendsFrom(const platform::ProcessEntry& process, int ancestor_pid, const Processes& processes) {
  const platform::ProcessEntry* current = &process;
  for (int generation = 0; generation < kMostGenerations; ++generation) {
    current = ParentOf(*current, processes);
    if (current == nullptr) return false;
    if (current->process_id == ancestor_pid) return true;
  }
  return false;
}

}  // namespace

bool IsEngineCommandLine(std::span<const std::string> arguments, int harness_pid) {
  if (arguments.size() != 3) return false;
  const std::string_view handle = arguments[1], harness = arguments[2];
  return handle.starts_with("/SMH=") && IsDecimal(handle.substr(5)) && harness == "/PI=" + std::to_string(harness_pid);
}

std::optional<platform::ProcessEntry> FindEngine(std::span<const platform::ProcessEntry> processes, int harness_pid) {
  Processes by_id;
  for (const platform::ProcessEntry& process : processes) by_id.emplace(process.process_id, &process);
  const auto is_engine = [&](const platform::ProcessEntry& process) {
    return IsEngineCommandLine(process.arguments, harness_pid) && DescendsFrom(process, harness_pid, by_id);
  };
  const platform::ProcessEntry* eldest = nullptr;
  for (const platform::ProcessEntry& process : processes) {
    if (!is_engine(process)) continue;
    // A copy the engine forked may share its start to the clock tick: its parent tells it apart.
    const platform::ProcessEntry* parent = ParentOf(process, by_id);
    if (parent != nullptr && is_engine(*parent)) continue;
    if (eldest == nullptr || process.start_time < eldest->start_time ||
        (process.start_time == eldest->start_time && process.process_id < eldest->process_id))
      eldest = &process;
  }
  if (eldest == nullptr) return std::nullopt;
  return *eldest;
}

std::optional<platform::ProcessFigures> EngineFinder::Read() {
  if (engine_) {
    if (auto figures = FiguresOf(*engine_)) return figures;
    engine_.reset();
  }
  if (!table_) return std::nullopt;
  const auto found = FindEngine(table_->Snapshot(), harness_pid_);
  if (!found) return std::nullopt;
  engine_ = Found{found->process_id, found->start_time};
  auto figures = FiguresOf(*engine_);
  if (!figures) engine_.reset();
  return figures;
}

// A process that now has the engine's ID but another start is not the engine.
std::optional<platform::ProcessFigures> EngineFinder::FiguresOf(const Found& engine) {
  auto figures = table_->Figures(engine.process_id);
  if (!figures || figures->start_time != engine.start_time) return std::nullopt;
  return figures;
}
