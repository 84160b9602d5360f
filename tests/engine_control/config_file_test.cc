// VXR.INI: the keys in their sections, their text, switch and level rules, and the presets.
#include "engine_control/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_control/library_state.h"
#include "engine_control/scan_context.h"
#include "support/temp_folder.h"
#include "vxr_lib.h"

namespace {

// One preset as "ID=text" for strings and "ID=number" for flags and values.
std::vector<std::string> Presets(const ScanContext& context) {
  std::vector<std::string> lines;
  for (const auto& setting : context.settings()) {
    std::string value = setting->is_numeric() ? std::to_string(setting->number()) : std::string(setting->text());
    lines.push_back(std::to_string(setting->id()) + "=" + value);
  }
  return lines;
}

// The root of absolute paths in the system's own spelling: the library keeps an absolute
// folder as it stands and makes a relative one absolute.
#ifdef _WIN32
const std::string kRoot = "C:\\";
#else
const std::string kRoot = "/";
#endif

// `relative` (with '/' between its parts) joined to the current folder as the system spells it.
std::string UnderCurrentFolder(const std::string& relative) {
  return (std::filesystem::current_path() / std::filesystem::path(relative).make_preferred()).string();
}

std::string Line(uint32_t id, const std::string& value) { return std::to_string(id) + "=" + value; }
std::string Line(uint32_t id, int32_t value) { return Line(id, std::to_string(value)); }

class ConfigFileTest : public ::testing::Test {
 protected:
  ConfigFileTest() {
    state_.set_engine_dir(folder_.str());
    state_.set_config_path((folder_.path() / "VXR.INI").string());
  }

  void WriteIni(std::string_view text) { folder_.Write("VXR.INI", text); }

  // Reads the file and presets a fresh context from it.
  std::vector<std::string> ReadPresets() {
    ConfigFile config(&state_);
    EXPECT_TRUE(config.Read());
    ScanContext context("");
    config.Preset(&context);
    return Presets(context);
  }

  int32_t PresetNumber(uint32_t id) {
    ConfigFile config(&state_);
    EXPECT_TRUE(config.Read());
    ScanContext context("");
    config.Preset(&context);
    int32_t number = -1;
    EXPECT_EQ(context.GetNumber(id, &number), VXR_LIB_SUCCESS);
    return number;
  }

  std::string PresetText(uint32_t id) {
    ConfigFile config(&state_);
    EXPECT_TRUE(config.Read());
    ScanContext context("");
    config.Preset(&context);
    char buffer[kPathFieldSize];
    uint32_t size = sizeof(buffer);
    if (context.GetString(id, buffer, &size) != VXR_LIB_SUCCESS) return "<none>";
    return buffer;
  }

  TempFolder folder_;
  LibraryState state_;
};

TEST_F(ConfigFileTest, WithoutAFileAFreshContextHoldsEveryDefaultInOrder) {
  EXPECT_EQ(ReadPresets(), (std::vector<std::string>{
                               Line(VXR_STR_REPORT_DIR, "report"),
                               Line(VXR_STR_BACKUP_DIR, "backup"),
                               Line(VXR_STR_DEBUG_LOG_DIR, "debug"),
                               Line(VXR_STR_PATTERN_DIR, folder_.str()),
                               Line(VXR_STR_PATTERN_FILENAME, "vxr.ptn"),
                               Line(VXR_FLG_DISABLE_CONSOLE_OUTPUT, 0),
                               Line(VXR_FLG_DISABLE_REPORT_OUTPUT, 0),
                               Line(VXR_FLG_DISABLE_DEBUG_OUTPUT, 0),
                               Line(VXR_INT_DEBUG_INFO_LEVEL, 0),
                               Line(VXR_FLG_BACKUP_FILE, 0),
                               Line(VXR_FLG_VIRUS_MSG_BOX, 0),
                               Line(VXR_FLG_NOVIRUS_MSG_BOX, 0),
                               Line(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN),
                           }));
  EXPECT_EQ(state_.pattern_dir(), folder_.str());
  EXPECT_EQ(state_.pattern_filename(), "vxr.ptn");
}

TEST_F(ConfigFileTest, EveryKeyFeedsItsPresetInTheFixedOrder) {
  const std::string options =
      "[options]\n"
      "BackupFile=1\nBackupDir=bk\nDebugLogDir=dbg\nVirusMsgbox=1\nNoneMsgbox=1\n"
      "PatternDir=" +
      kRoot + "srv\n";
  WriteIni(options +
           "[advanced]\n"
           "ExtraOutputs=KVPExtOutput.DLL\nDisableConsoleOutput=1\nDisableReportOutput=1\n"
           "DisableDebugOutput=1\nDebugInfoLevel=4\nReportDir=rep\nPatternName=qlakve.ptn\n");
  EXPECT_EQ(ReadPresets(), (std::vector<std::string>{
                               Line(VXR_STR_EXTRA_OUTPUTS, "KVPExtOutput.DLL"),
                               Line(VXR_STR_REPORT_DIR, "rep"),
                               Line(VXR_STR_BACKUP_DIR, "bk"),
                               Line(VXR_STR_DEBUG_LOG_DIR, "dbg"),
                               Line(VXR_STR_PATTERN_DIR, kRoot + "srv"),
                               Line(VXR_STR_PATTERN_FILENAME, "qlakve.ptn"),
                               Line(VXR_FLG_DISABLE_CONSOLE_OUTPUT, 1),
                               Line(VXR_FLG_DISABLE_REPORT_OUTPUT, 1),
                               Line(VXR_FLG_DISABLE_DEBUG_OUTPUT, 1),
                               Line(VXR_INT_DEBUG_INFO_LEVEL, 4),
                               Line(VXR_FLG_BACKUP_FILE, 1),
                               Line(VXR_FLG_VIRUS_MSG_BOX, 1),
                               Line(VXR_FLG_NOVIRUS_MSG_BOX, 1),
                               Line(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN),
                           }));
  EXPECT_EQ(state_.pattern_dir(), kRoot + "srv");
  EXPECT_EQ(state_.pattern_filename(), "qlakve.ptn");
}

TEST_F(ConfigFileTest, ASwitchSeesOnlyItsFirstCharacter) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {{"1", 1}, {"10", 1}, {"01", 0}, {"0", 0}, {"", 0}, {"yes", 0}, {"true", 0}, {"on", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteIni(std::string("[advanced]\nDisableConsoleOutput=") + c.text + "\n");
    EXPECT_EQ(PresetNumber(VXR_FLG_DISABLE_CONSOLE_OUTPUT), c.expected);
  }
}

TEST_F(ConfigFileTest, TheLevelIsItsFirstDigitWhenThatLiesInZeroToFive) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {{"12", 1}, {"7", 0}, {"5", 5}, {"0", 0}, {"-1", 0}, {"x3", 0}, {"", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteIni(std::string("[advanced]\nDebugInfoLevel=") + c.text + "\n");
    EXPECT_EQ(PresetNumber(VXR_INT_DEBUG_INFO_LEVEL), c.expected);
  }
}

TEST_F(ConfigFileTest, ARelativePatternDirIsResolvedAgainstTheCurrentDirectory) {
  WriteIni("[options]\nPatternDir=patterns/./new/../v2\n");
  EXPECT_EQ(PresetText(VXR_STR_PATTERN_DIR), UnderCurrentFolder("patterns/v2"));
  EXPECT_EQ(state_.pattern_dir(), UnderCurrentFolder("patterns/v2"));
}

TEST_F(ConfigFileTest, ARelativeEngineFolderIsTheDefaultPatternDirMadeAbsolute) {
  state_.set_engine_dir("engine/../engine");
  EXPECT_EQ(PresetText(VXR_STR_PATTERN_DIR), UnderCurrentFolder("engine"));
}

TEST_F(ConfigFileTest, KeysUnderTheWrongSectionAreNotSeen) {
  WriteIni(
      "BackupDir=top\n"
      "[advanced]\nBackupDir=wrong\nBackupFile=1\n"
      "[options]\nReportDir=wrong\nDebugInfoLevel=3\n");
  EXPECT_EQ(PresetText(VXR_STR_BACKUP_DIR), "backup");
  EXPECT_EQ(PresetText(VXR_STR_REPORT_DIR), "report");
  EXPECT_EQ(PresetNumber(VXR_FLG_BACKUP_FILE), 0);
  EXPECT_EQ(PresetNumber(VXR_INT_DEBUG_INFO_LEVEL), 0);
}

TEST_F(ConfigFileTest, CrLfLineEndsReadLikeLineFeeds) {
  WriteIni(
      "[options]\r\nBackupDir=bk\r\nBackupFile=1\r\n[advanced]\r\nDebugInfoLevel=2\r\n"
      "PatternName=p.ptn\r\n");
  EXPECT_EQ(PresetText(VXR_STR_BACKUP_DIR), "bk");
  EXPECT_EQ(PresetNumber(VXR_FLG_BACKUP_FILE), 1);
  EXPECT_EQ(PresetNumber(VXR_INT_DEBUG_INFO_LEVEL), 2);
  EXPECT_EQ(state_.pattern_filename(), "p.ptn");
}

// A text that does not fit its 260-byte field fails the read: cut, it would name another
// folder or file. 259 characters fit.
TEST_F(ConfigFileTest, ATextLongerThan259CharactersFailsTheReadAndIsNeverCut) {
  const struct {
    const char* section;
    const char* key;
    uint32_t id;
  } cases[] = {
      {"advanced", "ExtraOutputs", VXR_STR_EXTRA_OUTPUTS}, {"advanced", "ReportDir", VXR_STR_REPORT_DIR},
      {"options", "BackupDir", VXR_STR_BACKUP_DIR},        {"options", "DebugLogDir", VXR_STR_DEBUG_LOG_DIR},
      {"options", "PatternDir", VXR_STR_PATTERN_DIR},      {"advanced", "PatternName", VXR_STR_PATTERN_FILENAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const std::string fits = kRoot + std::string(259 - kRoot.size(), 'x');
    WriteIni(std::string("[") + c.section + "]\n" + c.key + "=" + fits + "\n");
    EXPECT_EQ(PresetText(c.id), fits);
    WriteIni(std::string("[") + c.section + "]\n" + c.key + "=" + fits + "y\n");
    ConfigFile config(&state_);
    EXPECT_FALSE(config.Read());
  }
}

TEST_F(ConfigFileTest, APatternDirThatDoesNotFitWhenMadeAbsoluteFailsTheRead) {
  // 259 characters fit the field, and the current directory joined to them does not.
  WriteIni("[options]\nPatternDir=" + std::string(259, 'p') + "\n");
  ConfigFile config(&state_);
  EXPECT_FALSE(config.Read());
  const std::string absolute = kRoot + std::string(259 - kRoot.size(), 'p');
  WriteIni("[options]\nPatternDir=" + absolute + "\n");
  EXPECT_TRUE(config.Read());
  EXPECT_EQ(state_.pattern_dir(), absolute);
}

TEST_F(ConfigFileTest, ASetOfThePresetFlagKeepsItsEleventhPosition) {
  WriteIni("[advanced]\nExtraOutputs=x\n");
  ConfigFile config(&state_);
  ASSERT_TRUE(config.Read());
  ScanContext context("");
  config.Preset(&context);
  ASSERT_EQ(context.settings().size(), 14u);
  context.SetFlag(VXR_FLG_BACKUP_FILE, 1);
  ASSERT_EQ(context.settings().size(), 14u);
  EXPECT_EQ(context.settings()[10]->id(), VXR_FLG_BACKUP_FILE);
  EXPECT_EQ(context.settings()[10]->number(), 1);
}

}  // namespace
