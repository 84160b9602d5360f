#include "TestKVE/pattern_loop.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "TestKVE/engine_client.h"
#include "TestKVE/legacy_random.h"
#include "command_text/command_line.h"

namespace {

constexpr size_t kPatternNameSize = 128;
constexpr int32_t kNoExecuteMode = 0;

struct PatternHandler {
  const char* option;
  int32_t execute_mode;  // kNoExecuteMode: none
  uint32_t string_id;
  const char* message_format;
};

// The item itself in the process's first repetition, else the item and the counter, padded
// with zeros to /WB digits; cut to the 128-byte name buffer.
std::string PatternName(const std::string& item, const HarnessState& state) {
  if (state.PatternLoopCounter == 0) return item;
  char name[kPatternNameSize];
  // A negative /WB would ask for a negative precision; it counts as no width.
  int width = std::max(state.WildcardWidth, 0);
  std::snprintf(name, sizeof name, "%s%.*d", item.c_str(), width, state.PatternLoopCounter);
  return name;
}

int ApplyPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state,
                  const PatternHandler& handler) {
  std::string value = OptionValue(line, handler.option);
  std::vector<std::string> items;
  if (value.empty() || SplitList(value, ';', &items) == 0 || items.empty()) return 0;
  if (handler.execute_mode != kNoExecuteMode) client.VXRSetValueInfo(VXR_INT_EXECUTE_MODE, handler.execute_mode);
  for (const std::string& item : items) {
    std::string name = PatternName(item, state);
    client.VXRSetStringInfo(handler.string_id, name.c_str());
    std::printf(handler.message_format, name.c_str());
  }
  return 1;
}

// The counter is a 32-bit integer that wraps past 2^31 - 1 to -2^31 as the 32-bit system's
// did; counting in unsigned arithmetic keeps that wrap defined.
void AdvancePatternLoopCounter(HarnessState& state) {
  state.PatternLoopCounter = static_cast<int32_t>(static_cast<uint32_t>(state.PatternLoopCounter) + 1u);
}

void ApplyAllPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state) {
  AssignPatterns(client, line, state);
  ExceptPatterns(client, line, state);
  RestorePatterns(client, line, state);
}

// The seed of the next random selection: /SEED's base plus the selections made so far, else
// the clock in seconds. The first is told on standard error, so that a run can be replayed.
uint32_t NextRandomSeed(HarnessState& state) {
  const uint32_t seed =
      state.RandomSeedBase ? *state.RandomSeedBase + state.RandomSelections : static_cast<uint32_t>(std::time(nullptr));
  if (state.RandomSelections == 0) std::fprintf(stderr, "Random seed: %u\n", seed);
  ++state.RandomSelections;
  return seed;
}

uint32_t ReadUnsignedOption(const CommandLine& line, const char* name, uint32_t fallback) {
  return static_cast<uint32_t>(ReadDecimalOption(line, name, static_cast<int32_t>(fallback)));
}

}  // namespace

int AssignPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state) {
  int32_t mode = line.HasOption("NC") ? SCAN_ASSIGN_NO_CLEAN : SCAN_ASSIGN;
  return ApplyPatterns(client, line, state, {"ASSIGN", mode, VXR_STR_SCAN_VIRUS_PATTERN, "Assign Pattern: %s\n"});
}

int ExceptPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state) {
  return ApplyPatterns(client, line, state,
                       {"EXCEPT", kNoExecuteMode, VXR_STR_EXCEPT_VIRUS_PATTERN, "Except Pattern: %s\n"});
}

int RestorePatterns(EngineClient& client, const CommandLine& line, const HarnessState& state) {
  return ApplyPatterns(client, line, state,
                       {"RESTORE", RESTORE_ONLY, VXR_STR_RESTORE_VIRUS_PATTERN, "Restore Pattern: %s\n"});
}

uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count, uint32_t limit) {
  return SelectRandomIterations(container, count, limit, static_cast<uint32_t>(std::time(nullptr)));
}

uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count, uint32_t limit, uint32_t seed) {
  container->clear();
  LegacyRandom random;
  random.Seed(seed);
  std::printf("Random number generator is initializing...\n");
  if (count > kLegacyRandMax) {
    std::printf("The random number count is more than ***RAND_MAX***\n");
    count = kLegacyRandMax;
  }
  // Draws lie below min(limit, 32768); remember which were taken to redraw duplicates fast.
  std::vector<bool> taken(std::min<size_t>(limit, size_t{kLegacyRandMax} + 1));
  while (container->size() < count) {
    uint32_t draw = random.Next() % limit;
    if (taken[draw]) continue;
    taken[draw] = true;
    container->push_back(draw);
  }
  std::sort(container->begin(), container->end());
  std::printf("Random numbers' container is ready\n");
  return count;
}

void RunPatternLoop(EngineClient& client, const CommandLine& line, HarnessState& state) {
  uint32_t repetitions = 1;
  bool selecting = false;
  std::vector<uint32_t> selected;
  std::string loop = OptionValue(line, "LOOP");
  if (!loop.empty()) {
    repetitions = static_cast<uint32_t>(ReadDecimal(loop));
    uint32_t random_count = ReadUnsignedOption(line, "RANDOM", 0);
    if (repetitions > random_count && random_count != 0) {
      const uint32_t seed = NextRandomSeed(state);
      client.NoteRandomSeed(seed);
      SelectRandomIterations(&selected, random_count, repetitions, seed);
      selecting = true;
    }
  }
  state.WildcardWidth = ReadDecimalOption(line, "WB", 0);
  // The selection is sorted and the repetitions ascend, so the next selected index is always
  // at the front of what remains.
  size_t next_selected = 0;
  for (uint32_t i = 0; i < repetitions; ++i) {
    if (!selecting) {
      ApplyAllPatterns(client, line, state);
    } else if (next_selected < selected.size() && selected[next_selected] == i) {
      ApplyAllPatterns(client, line, state);
      ++next_selected;
    }
    AdvancePatternLoopCounter(state);
  }
}
