// ptn: builds pattern files and shows them through the library's own pattern reader.
#include <charconv>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "integrity/appended_signature.h"
#include "pattern_reader/pattern_file.h"
#include "pattern_reader/pattern_section.h"
#include "pattern_reader/virus_names.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/pattern_writer.h"
#include "tools/vxrtool/tool_support.h"

namespace {

constexpr std::string_view kBuildUsage =
    "ptn build --version N --names NAMES.txt [--mode 0x81|0x01|none] [--records-before K] "
    "[--sign KEY.pem] --out FILE";
constexpr std::string_view kPtnUsage = "ptn build|version|list|find|info ...";
// find's exit code when a name or the file could not be looked up.
constexpr int kExitLookupError = 2;

template <typename Number>
bool ParseNumber(const std::string& text, Number max, Number* value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end && !text.empty() && *value <= max;
}

bool ParseMode(const std::string& text, PatternWriteMode* mode) {
  if (text.empty() || text == "0x81")
    *mode = PatternWriteMode::kWhole;
  else if (text == "0x01")
    *mode = PatternWriteMode::kPerEntry;
  else if (text == "none")
    *mode = PatternWriteMode::kPlain;
  else
    return false;
  return true;
}

// One name per line (CR LF or LF); blank lines are skipped. False, naming the line, for a name
// the name field cannot hold.
bool ParseNames(const std::string& path, const std::string& text, std::vector<std::string>* names) {
  size_t line_number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    const std::string where = path + ":" + std::to_string(line_number) + ": ";
    if (line.size() > kMaxVirusNameChars) {
      return Failure(where + "the name is longer than 17 bytes"), false;
    }
    if (line.find('\0') != std::string_view::npos) {
      return Failure(where + "the name holds a NUL byte"), false;
    }
    names->emplace_back(line);
  }
  return true;
}

bool ParseBuildOptions(const Arguments& arguments, PatternWriteOptions* options, int* exit_code) {
  uint16_t version = 0;
  int records_before = 0;
  if (!arguments.Has("--version") || !ParseNumber(arguments.Value("--version"), uint16_t{0xFFFF}, &version)) {
    *exit_code = UsageError("--version needs a number from 0 to 65535", kBuildUsage);
    return false;
  }
  if (!ParseMode(arguments.Value("--mode"), &options->mode)) {
    *exit_code = UsageError("--mode is 0x81, 0x01 or none", kBuildUsage);
    return false;
  }
  if (arguments.Has("--records-before") && !ParseNumber(arguments.Value("--records-before"), 100000, &records_before)) {
    *exit_code = UsageError("--records-before needs a number from 0 to 100000", kBuildUsage);
    return false;
  }
  if (!arguments.Has("--names") || !arguments.Has("--out") || !arguments.operands().empty()) {
    *exit_code = UsageError("build takes --names and --out and no operand", kBuildUsage);
    return false;
  }
  options->version = version;
  options->records_before = records_before;
  return true;
}

int RunBuild(std::span<char* const> args) {
  Arguments arguments;
  std::string error;
  if (!arguments.Parse(args, {"--version", "--names", "--mode", "--records-before", "--sign", "--out"}, &error)) {
    return UsageError(error, kBuildUsage);
  }
  PatternWriteOptions options;
  int exit_code = kExitSuccess;
  if (!ParseBuildOptions(arguments, &options, &exit_code)) return exit_code;
  std::string text;
  std::vector<std::string> names;
  const std::string names_path = arguments.Value("--names");
  if (!ReadInputFile(names_path, &text) || !ParseNames(names_path, text, &names)) return kExitFailure;
  const std::string out = arguments.Value("--out");
  const std::string file = BuildPatternRecords(names, options);
  // The trailer is made before anything is written, so a key that cannot be used leaves the
  // file that is there as it was.
  std::string trailer = EmptySignatureTrailer();
  if (arguments.Has("--sign")) {
    const int signed_code = SignContent(arguments.Value("--sign"), file, out, &trailer);
    if (signed_code != kExitSuccess) return signed_code;
  }
  return WriteOutputFile(out, file + trailer) ? kExitSuccess : kExitFailure;
}

bool ParseOneFile(std::span<char* const> args, std::string_view usage, std::string* path, int* exit_code) {
  Arguments arguments;
  if (!ParseWithOneFile(args, {}, usage, &arguments, exit_code)) return false;
  *path = arguments.operands().front();
  return true;
}

int RunPatternVersion(std::span<char* const> args) {
  std::string path;
  int exit_code = kExitSuccess;
  if (!ParseOneFile(args, "ptn version FILE", &path, &exit_code)) return exit_code;
  uint16_t version = 0;
  switch (ReadPatternFileVersion(path.c_str(), &version)) {
    case PatternVersionStatus::kRead:
      std::printf("%u\n", unsigned{version});
      return kExitSuccess;
    case PatternVersionStatus::kNoVersionRecord:
      return Failure(path + ": no record of kind 0x1ABDE21A");
    default:
      return Failure("cannot open " + path);
  }
}

int RunList(std::span<char* const> args) {
  std::string path;
  int exit_code = kExitSuccess;
  if (!ParseOneFile(args, "ptn list FILE", &path, &exit_code)) return exit_code;
  const PatternStatus status = ForEachVirusName(path.c_str(), [](std::string_view name) {
    std::fwrite(name.data(), 1, name.size(), stdout);
    std::fputc('\n', stdout);
  });
  if (status == PatternStatus::kDone) return kExitSuccess;
  return Failure("cannot read " + path);
}

int RunFind(std::span<char* const> args) {
  if (args.size() < 2) return UsageError("find needs a file and at least one name", "ptn find FILE NAME...");
  const char* path = args[0];
  bool all_found = true;
  for (const char* name : args.subspan(1)) {
    switch (LookupVirusName(path, name)) {
      case NameLookup::kFound:
        std::printf("%s: found\n", name);
        break;
      case NameLookup::kNotFound:
        std::printf("%s: not found\n", name);
        all_found = false;
        break;
      case NameLookup::kBadArgument:
        Failure(std::string(name) + ": a name has at most 17 characters");
        return kExitLookupError;
      default:
        Failure(std::string("cannot read ") + path);
        return kExitLookupError;
    }
  }
  return all_found ? kExitSuccess : kExitFailure;
}

struct KindFigures {
  uint64_t records = 0;
  uint64_t body_bytes = 0;
};

struct FileFigures {
  std::map<uint32_t, KindFigures> kinds;
  std::map<int, uint64_t> sections_by_mode;  // -1: too short to hold a section header
  uint64_t names = 0;
};

const char* ModeName(int mode) {
  switch (mode) {
    case kSectionCompressedWhole:
      return "0x81 (whole region compressed)";
    case kSectionCompressedPerEntry:
      return "0x01 (each entry compressed)";
    case -1:
      return "none (body shorter than a section header)";
    default:
      return nullptr;
  }
}

void PrintFigures(const std::string& path, const FileFigures& figures) {
  std::printf("%s\n", path.c_str());
  for (const auto& [kind, kind_figures] : figures.kinds) {
    std::printf("  kind 0x%08X: %llu records, %llu body bytes\n", kind,
                static_cast<unsigned long long>(kind_figures.records),
                static_cast<unsigned long long>(kind_figures.body_bytes));
  }
  for (const auto& [mode, count] : figures.sections_by_mode) {
    const char* name = ModeName(mode);
    if (name != nullptr) {
      std::printf("  sections with mode %s: %llu\n", name, static_cast<unsigned long long>(count));
    } else {
      std::printf("  sections with mode 0x%02X (plain): %llu\n", static_cast<unsigned>(mode),
                  static_cast<unsigned long long>(count));
    }
  }
  std::printf("  names: %llu\n", static_cast<unsigned long long>(figures.names));
}

int RunInfo(std::span<char* const> args) {
  std::string path;
  int exit_code = kExitSuccess;
  if (!ParseOneFile(args, "ptn info FILE", &path, &exit_code)) return exit_code;
  FileFigures figures;
  const PatternStatus status = WalkPatternRecords(
      path.c_str(),
      [&figures](const PatternRecordHeader& header) {
        KindFigures& kind = figures.kinds[header.kind];
        ++kind.records;
        kind.body_bytes += header.BodyLength();
        return header.kind == kPatternNameRecordKind ? PatternFilterAnswer::kRead : PatternFilterAnswer::kSkip;
      },
      [&figures](const PatternRecordHeader&, std::span<const uint8_t> body) {
        ++figures.sections_by_mode[body.size() < kPatternSectionHeaderSize ? -1 : body[10]];
        ParsePatternSection(body, [&figures](std::span<const uint8_t> data) {
          ForEachNameField(data, [&figures](auto) { return ++figures.names, true; });
          return true;
        });
        return true;
      });
  if (status != PatternStatus::kDone) return Failure("cannot read " + path);
  PrintFigures(path, figures);
  uint16_t version = 0;
  if (ReadPatternFileVersion(path.c_str(), &version) == PatternVersionStatus::kRead) {
    std::printf("  version: %u\n", unsigned{version});
  } else {
    std::printf("  version: none (no record of kind 0x1ABDE21A)\n");
  }
  const int verdict = VerifyAppendedSignature(path.c_str());
  std::printf("  signature: %s\n", verdict == 1 ? "valid" : verdict == 0 ? "invalid or missing" : "cannot be checked");
  return kExitSuccess;
}

struct PatternCommand {
  std::string_view name;
  int (*run)(std::span<char* const> args);
};

constexpr PatternCommand kPatternCommands[] = {
    {"build", RunBuild}, {"version", RunPatternVersion}, {"list", RunList}, {"find", RunFind}, {"info", RunInfo},
};

}  // namespace

int RunPattern(std::span<char* const> args) {
  if (args.empty()) return UsageError("ptn needs a command", kPtnUsage);
  for (const PatternCommand& command : kPatternCommands) {
    if (command.name == args[0]) return command.run(args.subspan(1));
  }
  return UsageError("unknown ptn command " + std::string(args[0]), kPtnUsage);
}
