// The library's operations through the public header: order of checks, handles, lifetime.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/engine_file.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "vxr_lib.h"

namespace {

VXR_HANDLE MadeUpHandle() { return reinterpret_cast<VXR_HANDLE>(uintptr_t{0x1234}); }

// Every operation but VXRInitLib and VXRVerifySignature, called with `handle`.
std::vector<std::pair<const char*, std::function<VXRResult()>>> HandleOperations(VXR_HANDLE handle) {
  static uint32_t flag;
  static int32_t value;
  static char buffer[64];
  static uint32_t size;
  size = sizeof(buffer);
  return {
      {"VXRQuitScanContext", [=] { return VXRQuitScanContext(handle); }},
      {"VXRSetFlagInfo", [=] { return VXRSetFlagInfo(handle, VXR_FLG_BACKUP_FILE, 1); }},
      {"VXRGetFlagInfo", [=] { return VXRGetFlagInfo(handle, VXR_FLG_BACKUP_FILE, &flag); }},
      {"VXRSetValueInfo", [=] { return VXRSetValueInfo(handle, VXR_INT_DEBUG_INFO_LEVEL, 1); }},
      {"VXRGetValueInfo", [=] { return VXRGetValueInfo(handle, VXR_INT_DEBUG_INFO_LEVEL, &value); }},
      {"VXRSetStringInfo", [=] { return VXRSetStringInfo(handle, VXR_STR_BACKUP_DIR, "b"); }},
      {"VXRGetStringInfo", [=] { return VXRGetStringInfo(handle, VXR_STR_REPORT_DIR, buffer, &size); }},
      {"VXRExecute", [=] { return VXRExecute(handle, 1); }},
      {"VXRQueryVirusName", [=] { return VXRQueryVirusName(handle, nullptr, "EICAR"); }},
  };
}

TEST(LibraryBeforeInitTest, EveryOperationButInitAndVerifyIsNotInit) {
  VXR_HANDLE handle = nullptr;
  EXPECT_EQ(VXRQuitLib(), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRInitScanContext(&handle), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRInitScanContext(nullptr), VXR_LIB_NOT_INIT);
  for (const auto& [name, call] : HandleOperations(nullptr)) {
    SCOPED_TRACE(name);
    EXPECT_EQ(call(), VXR_LIB_NOT_INIT);
  }
  // Even arguments that would be refused are not looked at before initialisation.
  EXPECT_EQ(VXRSetValueInfo(nullptr, VXR_INT_DEBUG_INFO_LEVEL, 6), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRSetStringInfo(nullptr, VXR_STR_SECTION_OPTIONS, nullptr), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRExecute(nullptr, 2), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRVerifySignature(nullptr), VXR_LIB_INVALID_PATHNAME);
}

// The path checks of VXRInitLib come before the engine file is looked at, so a folder that
// holds no engine shows which step refused.
TEST(LibraryBeforeInitTest, InitLibPathLimits) {
  const struct {
    const char* name;
    std::string dir;
    const char* exe;
    VXRResult expected;
  } cases[] = {
      {"null folder", "", nullptr, VXR_LIB_INVALID_PARAMETER},
      {"folder of 261", std::string(261, 'd'), "x", VXR_LIB_INVALID_PARAMETER},
      {"folder of 255 and VXR.EXE", std::string(255, 'd'), nullptr, VXR_LIB_INVALID_PARAMETER},
      {"folder of 252 and VXR.EXE: 260", std::string(252, 'd'), nullptr, VXR_LIB_INVALID_VXREXE},
      {"VXR.INI does not fit beside a short name", std::string(253, 'd'), "a", VXR_LIB_INVALID_PARAMETER},
      {"name of 261", "/tmp", nullptr, VXR_LIB_INVALID_PARAMETER},
      {"name starting with a space", "/tmp", " vxr.exe", VXR_LIB_INVALID_PARAMETER},
      {"no engine file", "/nonexistent-testkve-folder", nullptr, VXR_LIB_INVALID_VXREXE},
      {"the folder itself", "/tmp", "", VXR_LIB_INVALID_VXREXE},
  };
  const std::string long_name(261, 'n');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const char* dir = std::string_view(c.name) == "null folder" ? nullptr : c.dir.c_str();
    const char* exe = std::string_view(c.name) == "name of 261" ? long_name.c_str() : c.exe;
    EXPECT_EQ(VXRInitLib(dir, exe), c.expected);
    EXPECT_EQ(VXRQuitLib(), VXR_LIB_NOT_INIT) << "a failed VXRInitLib leaves nothing behind";
  }
}

class LibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>();
    ASSERT_TRUE(MakeEngineFile(folder_->path() / "VXR.EXE"));
  }
  static void TearDownTestSuite() { folder_.reset(); }

  void SetUp() override {
    ASSERT_EQ(VXRInitLib(folder_->str().c_str(), nullptr), VXR_LIB_SUCCESS);
    ASSERT_EQ(VXRInitScanContext(&context_), VXR_LIB_SUCCESS);
  }
  void TearDown() override {
    VXRQuitScanContext(context_);
    VXRQuitLib();
  }

  static std::string GetString(VXR_HANDLE handle, uint32_t id, VXRResult* result = nullptr) {
    char buffer[1024] = {};
    uint32_t size = sizeof(buffer);
    VXRResult got = VXRGetStringInfo(handle, id, buffer, &size);
    if (result != nullptr) *result = got;
    return got == VXR_LIB_SUCCESS ? buffer : "<failed>";
  }

  static std::unique_ptr<TempFolder> folder_;
  VXR_HANDLE context_ = nullptr;
};

std::unique_ptr<TempFolder> LibraryTest::folder_;

TEST_F(LibraryTest, ASecondInitIsRefusedAndKeepsTheFirst) {
  TempFolder other;
  ASSERT_TRUE(MakeEngineFile(other.path() / "VXR.EXE"));
  EXPECT_EQ(VXRInitLib(other.str().c_str(), nullptr), VXR_LIB_ALREADY_INIT);
  EXPECT_EQ(VXRInitLib(nullptr, nullptr), VXR_LIB_ALREADY_INIT);
  VXR_HANDLE fresh = nullptr;
  ASSERT_EQ(VXRInitScanContext(&fresh), VXR_LIB_SUCCESS);
  EXPECT_EQ(GetString(fresh, VXR_STR_PATTERN_DIR), folder_->str());
  EXPECT_EQ(VXRVerifySignature(nullptr), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQuitScanContext(fresh), VXR_LIB_SUCCESS);
}

TEST_F(LibraryTest, EngineVersionAndBuildTexts) {
  EXPECT_EQ(GetString(context_, VXR_STR_VXR_VER), "3.5");
  EXPECT_EQ(GetString(context_, VXR_STR_VXR_BUILD_NUMBER), "Build 1024");
}

TEST_F(LibraryTest, ValueRulesComeBeforeTheHandle) {
  const struct {
    uint32_t id;
    int32_t value;
    VXRResult with_live_handle;
  } cases[] = {
      {VXR_INT_DEBUG_INFO_LEVEL, 0, VXR_LIB_SUCCESS},
      {VXR_INT_DEBUG_INFO_LEVEL, 5, VXR_LIB_SUCCESS},
      {VXR_INT_DEBUG_INFO_LEVEL, 6, VXR_LIB_INVALID_PARAMETER},
      {VXR_INT_DEBUG_INFO_LEVEL, -1, VXR_LIB_INVALID_PARAMETER},
      {VXR_FLG_BACKUP_FILE, 1, VXR_LIB_INVALID_PARAMETER},
      {VXR_FLG_ENABLE_QZ_SPYWARE, 0, VXR_LIB_INVALID_PARAMETER},
      {VXR_INT_PATTERN_VER, 1, VXR_LIB_INVALID_PARAMETER},
      {VXR_INT_EXECUTE_MODE, 5, VXR_LIB_INVALID_PARAMETER},
      {VXR_INT_EXECUTE_MODE, DUMP_BACKUP_FILE, VXR_LIB_SUCCESS},
      {VXR_INT_EXECUTE_MODE, SCAN_ASSIGN, VXR_LIB_SUCCESS},
      {VXR_INT_ENABLE_PATTERN_MAGIC, 0x1ABDE91A, VXR_LIB_SUCCESS},
      {VXR_INT_DISABLE_PATTERN_MAGIC, 0x1ABDE51A, VXR_LIB_SUCCESS},
      {VXR_INT_DISABLE_PATTERN_MAGIC, 0x1ABDE21A, VXR_LIB_INVALID_PARAMETER},
      {0x02000010, -12345, VXR_LIB_SUCCESS},
      {0x0100000B, 77, VXR_LIB_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.id << " " << c.value);
    EXPECT_EQ(VXRSetValueInfo(context_, c.id, c.value), c.with_live_handle);
    EXPECT_EQ(VXRSetValueInfo(MadeUpHandle(), c.id, c.value), VXR_LIB_INVALID_PARAMETER);
  }
  int32_t value = 0;
  EXPECT_EQ(VXRGetValueInfo(context_, VXR_INT_DEBUG_INFO_LEVEL, &value), VXR_LIB_SUCCESS);
  EXPECT_EQ(value, 5) << "a refused Set changes nothing";
}

TEST_F(LibraryTest, StringIdRulesComeBeforeTheHandle) {
  const std::string path_260(260, 'p');
  const std::string path_261(261, 'p');
  const std::string list_text(5000, 'l');
  const struct {
    uint32_t id;
    const char* text;
    VXRResult any_handle;  // the result whatever the handle, when a rule refuses
  } refused[] = {
      {VXR_STR_SECTION_OPTIONS, "x", VXR_LIB_NOT_SUPPORT_NOW},
      {VXR_STR_SECTION_ADVANCED, "x", VXR_LIB_NOT_SUPPORT_NOW},
      {VXR_STR_PATTERN_VER, "1", VXR_LIB_INVALID_PARAMETER},
      {VXR_STR_VXR_VER, "3.5", VXR_LIB_INVALID_PARAMETER},
      {VXR_STR_VXR_BUILD_NUMBER, "b", VXR_LIB_INVALID_PARAMETER},
      {VXR_STR_BACKUP_DIR, nullptr, VXR_LIB_INVALID_PARAMETER},
      {VXR_STR_SECTION_OPTIONS, nullptr, VXR_LIB_INVALID_PARAMETER},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(VXRSetStringInfo(context_, c.id, c.text), c.any_handle);
    EXPECT_EQ(VXRSetStringInfo(MadeUpHandle(), c.id, c.text), c.any_handle);
  }
  for (uint32_t id :
       {VXR_STR_PATTERN_DIR, VXR_STR_BACKUP_DIR, VXR_STR_DEBUG_LOG_DIR, VXR_STR_REPORT_DIR, VXR_STR_PATTERN_FILENAME}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(VXRSetStringInfo(context_, id, path_261.c_str()), VXR_LIB_INVALID_PARAMETER);
    EXPECT_EQ(VXRSetStringInfo(context_, id, path_260.c_str()), VXR_LIB_SUCCESS);
    EXPECT_EQ(GetString(context_, id), path_260);
  }
  for (uint32_t id : {VXR_STR_EXTRA_OUTPUTS, VXR_STR_SCAN_VIRUS_PATTERN, uint32_t{0}, uint32_t{99}}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(VXRSetStringInfo(context_, id, list_text.c_str()), VXR_LIB_SUCCESS);
    EXPECT_EQ(VXRSetStringInfo(MadeUpHandle(), id, "x"), VXR_LIB_INVALID_PARAMETER);
  }
}

TEST_F(LibraryTest, FlagsAreStoredAsZeroOrOne) {
  const struct {
    uint32_t id;
    uint32_t set;
    uint32_t stored;
  } cases[] = {
      {VXR_FLG_BACKUP_FILE, 7, 1},     {VXR_FLG_BACKUP_FILE, 0, 0}, {VXR_FLG_DETACH_CONSOLE, 0xFFFFFFFF, 1},
      {VXR_FLG_ENABLE_GENCLEAN, 1, 1}, {0x01000042, 0x100, 1},      {0x01000042, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    ASSERT_EQ(VXRSetFlagInfo(context_, c.id, c.set), VXR_LIB_SUCCESS);
    uint32_t flag = 99;
    EXPECT_EQ(VXRGetFlagInfo(context_, c.id, &flag), VXR_LIB_SUCCESS);
    EXPECT_EQ(flag, c.stored);
  }
}

TEST_F(LibraryTest, GetsOfWhatIsNotThere) {
  uint32_t flag = 0;
  int32_t value = 0;
  uint32_t size = 0;
  char buffer[8];
  EXPECT_EQ(VXRGetFlagInfo(context_, VXR_FLG_DETACH_CONSOLE, &flag), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetFlagInfo(context_, VXR_FLG_BACKUP_FILE, nullptr), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetValueInfo(context_, VXR_INT_ENABLE_PATTERN_MAGIC, &value), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetValueInfo(context_, VXR_INT_EXECUTE_MODE, nullptr), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetStringInfo(context_, VXR_STR_EXTRA_OUTPUTS, buffer, &size), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetStringInfo(context_, VXR_STR_SECTION_OPTIONS, buffer, &size), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetStringInfo(context_, VXR_STR_REPORT_DIR, buffer, nullptr), VXR_LIB_INVALID_PARAMETER);
  size = 8;
  EXPECT_EQ(VXRGetStringInfo(context_, VXR_STR_REPORT_DIR, nullptr, &size), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRGetValueInfo(context_, VXR_INT_EXECUTE_MODE, &value), VXR_LIB_SUCCESS);
  EXPECT_EQ(value, SCAN_ALL_WITH_CLEAN);
}

TEST_F(LibraryTest, SizeQueryThenCopyThenOneByteShort) {
  for (uint32_t id : {VXR_STR_REPORT_DIR, VXR_STR_VXR_VER, VXR_STR_VXR_BUILD_NUMBER}) {
    SCOPED_TRACE(id);
    const std::string expected = GetString(context_, id);
    uint32_t size = 0;
    ASSERT_EQ(VXRGetStringInfo(context_, id, nullptr, &size), VXR_LIB_SUCCESS);
    EXPECT_EQ(size, expected.size() + 1);
    std::string buffer(size, 'x');
    const uint32_t exact = size;
    EXPECT_EQ(VXRGetStringInfo(context_, id, buffer.data(), &size), VXR_LIB_SUCCESS);
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer, expected + '\0');
    size = exact - 1;
    std::string short_buffer(size, 'x');
    EXPECT_EQ(VXRGetStringInfo(context_, id, short_buffer.data(), &size), VXR_LIB_BUFFER_TOO_SHORT);
    EXPECT_EQ(size, exact);
    EXPECT_EQ(short_buffer, std::string(exact - 1, 'x'));
  }
}

TEST_F(LibraryTest, ExecuteChecksModeBeforeHandleAndStartsNothingOnRefusal) {
  EXPECT_EQ(VXRExecute(context_, 2), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRExecute(context_, 0xFFFFFFFF), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRExecute(MadeUpHandle(), 0), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRExecute(nullptr, 1), VXR_LIB_INVALID_PARAMETER);
}

TEST_F(LibraryTest, QueryVirusNameChecksItsArgumentsFirst) {
  const std::string long_text(261, 'x');
  EXPECT_EQ(VXRQueryVirusName(MadeUpHandle(), nullptr, "EICAR"), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, nullptr), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, long_text.c_str()), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRQueryVirusName(context_, long_text.c_str(), "EICAR"), VXR_LIB_INVALID_PARAMETER);
}

// Pattern files made by the real vxrtool in a folder of their own, looked up through the
// library with the file named by the caller or by the context's settings.
TEST_F(LibraryTest, QueryVirusNameLooksUpThePatternFile) {
  TempFolder patterns;
  const std::string names = patterns.Write("names.txt", "TROJ_FOUND\nWORM_SEVENTEEN_CH\n").string();
  const std::string va_names = patterns.Write("va.txt", "VA_ONLY\n").string();
  for (const auto& [file, list] : {std::pair{"vxr.ptn", names}, std::pair{"QLVAMain.ptn", va_names}}) {
    const std::string out = (patterns.path() / file).string();
    ASSERT_EQ(RunProgram(BuiltProgram("vxrtool"), {"ptn", "build", "--version", "5", "--names", list, "--out", out})
                  .exit_code,
              0);
  }
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_DIR, patterns.str().c_str()), VXR_LIB_SUCCESS);
  const std::string explicit_path = (patterns.path() / "vxr.ptn").string();
  const std::string missing = (patterns.path() / "missing.ptn").string();
  const struct {
    const char* path;
    const char* name;
    VXRResult expected;
  } cases[] = {
      {nullptr, "TROJ_FOUND", VXR_LIB_SUCCESS},
      {"", "troj_found", VXR_LIB_SUCCESS},
      {explicit_path.c_str(), "WORM_SEVENTEEN_CH", VXR_LIB_SUCCESS},
      {nullptr, "TROJ_MISSING", VXR_LIB_NOT_EXIST_VIRUSNA},
      {nullptr, "VA_ONLY", VXR_LIB_NOT_EXIST_VIRUSNA},
      {missing.c_str(), "TROJ_FOUND", VXR_LIB_PTN_OPEN_FAIL},
      {nullptr, "WORM_SEVENTEEN_CHR", VXR_LIB_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VXRQueryVirusName(context_, c.path, c.name), c.expected);
  }
  // The name the /VA handler sets differs in case from the file's.
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "qlvamain.ptn"), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, "VA_ONLY"), VXR_LIB_SUCCESS);
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "nothing.ptn"), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, "VA_ONLY"), VXR_LIB_PTN_OPEN_FAIL);
}

TEST_F(LibraryTest, QueryVirusNameRefusesAJoinedPathThatDoesNotFit) {
  // 250 + "/" + 9 = 260 characters: one more than the 260-byte field holds with its terminator.
  const std::string dir = "/" + std::string(249, 'd');
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_DIR, dir.c_str()), VXR_LIB_SUCCESS);
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "123456789"), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, "X"), VXR_LIB_INVALID_PARAMETER);
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "12345678"), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQueryVirusName(context_, nullptr, "X"), VXR_LIB_PTN_OPEN_FAIL);
}

TEST_F(LibraryTest, ReleasedAndMadeUpHandlesAreRefusedWithoutBeingRead) {
  VXR_HANDLE released = nullptr;
  ASSERT_EQ(VXRInitScanContext(&released), VXR_LIB_SUCCESS);
  ASSERT_EQ(VXRQuitScanContext(released), VXR_LIB_SUCCESS);
  // A block that looks like a handle, magic word and all, is still not one of ours.
  struct {
    uint32_t magic = 0x2BDFFDB2;
    void* context = nullptr;
  } foreign;
  const struct {
    const char* name;
    VXR_HANDLE handle;
  } handles[] = {{"released", released},
                 {"made up", MadeUpHandle()},
                 {"foreign", reinterpret_cast<VXR_HANDLE>(&foreign)},
                 {"null", nullptr}};
  for (const auto& h : handles) {
    for (const auto& [name, call] : HandleOperations(h.handle)) {
      SCOPED_TRACE(std::string(h.name) + " " + name);
      EXPECT_EQ(call(), VXR_LIB_INVALID_PARAMETER);
    }
  }
  EXPECT_EQ(VXRSetFlagInfo(context_, VXR_FLG_BACKUP_FILE, 1), VXR_LIB_SUCCESS) << "others still work";
}

TEST_F(LibraryTest, ContextsOutliveQuitLibAndAreReleasedAfterANewInit) {
  ASSERT_EQ(VXRQuitLib(), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRSetFlagInfo(context_, VXR_FLG_BACKUP_FILE, 1), VXR_LIB_NOT_INIT);
  EXPECT_EQ(VXRQuitScanContext(context_), VXR_LIB_NOT_INIT);
  ASSERT_EQ(VXRInitLib(folder_->str().c_str(), "VXR.EXE"), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRSetFlagInfo(context_, VXR_FLG_BACKUP_FILE, 1), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQuitScanContext(context_), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQuitScanContext(context_), VXR_LIB_INVALID_PARAMETER);
}

TEST_F(LibraryTest, ASetOfAnotherKindOnAPresetStringIsRefused) {
  EXPECT_EQ(VXRSetFlagInfo(context_, VXR_STR_BACKUP_DIR, 1), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRSetValueInfo(context_, VXR_STR_REPORT_DIR, 3), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(GetString(context_, VXR_STR_BACKUP_DIR), "backup");
  EXPECT_EQ(GetString(context_, VXR_STR_REPORT_DIR), "report");
}

TEST_F(LibraryTest, PatternFolderAndNameAreLibraryWide) {
  TempFolder patterns;
  // One record header of the version kind, version 0x0102, and an empty body.
  patterns.Write("mine.ptn", std::string("\x1A\xE2\xBD\x1A\0\0\0\0\0\0\x02\x01\0\0", 14));
  VXR_HANDLE other = nullptr;
  ASSERT_EQ(VXRInitScanContext(&other), VXR_LIB_SUCCESS);
  VXRResult result = VXR_LIB_SUCCESS;
  GetString(other, VXR_STR_PATTERN_VER, &result);
  EXPECT_EQ(result, VXR_LIB_PATTERN_NOT_EXIST) << "the engine folder holds no vxr.ptn";

  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_DIR, patterns.str().c_str()), VXR_LIB_SUCCESS);
  ASSERT_EQ(VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "mine.ptn"), VXR_LIB_SUCCESS);
  EXPECT_EQ(GetString(other, VXR_STR_PATTERN_VER), "258");
  int32_t value = 0;
  EXPECT_EQ(VXRGetValueInfo(other, VXR_INT_PATTERN_VER, &value), VXR_LIB_SUCCESS);
  EXPECT_EQ(value, 258);
  uint32_t size = 0;
  EXPECT_EQ(VXRGetStringInfo(other, VXR_STR_PATTERN_VER, nullptr, &size), VXR_LIB_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(GetString(other, VXR_STR_PATTERN_DIR), folder_->str()) << "only the context that set it";

  std::filesystem::remove(patterns.path() / "mine.ptn");
  EXPECT_EQ(VXRGetValueInfo(other, VXR_INT_PATTERN_VER, &value), VXR_LIB_PATTERN_NOT_EXIST);
  EXPECT_EQ(VXRQuitScanContext(other), VXR_LIB_SUCCESS);
}

TEST_F(LibraryTest, VerifySignature) {
  TempFolder files;
  const auto unsigned_file = files.Write("plain.bin", "no trailer here");
  EXPECT_EQ(VXRVerifySignature(nullptr), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRVerifySignature((folder_->path() / "VXR.EXE").string().c_str()), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRVerifySignature(unsigned_file.string().c_str()), VXR_LIB_INVALID_SIGNATURE);
  EXPECT_EQ(VXRVerifySignature((files.path() / "missing").string().c_str()), VXR_LIB_INVALID_PATHNAME);
  ASSERT_EQ(VXRQuitLib(), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRVerifySignature(nullptr), VXR_LIB_INVALID_PATHNAME);
  EXPECT_EQ(VXRVerifySignature((folder_->path() / "VXR.EXE").string().c_str()), VXR_LIB_SUCCESS);
}

// Engines that the checks of VXRInitLib refuse, each leaving the library uninitialised.
TEST(LibraryInitTest, RefusedEnginesAndConfiguration) {
  TempFolder folder;
  const struct {
    const char* name;
    EngineFileOptions engine;
    std::string ini;
    VXRResult expected;
  } cases[] = {
      {"unsigned", {.sign = false}, "", VXR_LIB_INVALID_VXREXE},
      {"version 3.4", {.file_version = "3.4.0.0"}, "", VXR_LIB_INVALID_VXREXE},
      {"pattern folder too long", {}, "[options]\nPatternDir=" + std::string(259, 'p') + "\n", VXR_LIB_FAIL_READ_INI},
      {"pattern folder longer than its field",
       {},
       "[options]\nPatternDir=/" + std::string(300, 'p') + "\n",
       VXR_LIB_FAIL_READ_INI},
      {"report folder longer than its field",
       {},
       "[advanced]\nReportDir=" + std::string(260, 'r') + "\n",
       VXR_LIB_FAIL_READ_INI},
      {"pattern file name longer than its field",
       {},
       "[advanced]\nPatternName=" + std::string(260, 'n') + ".ptn\n",
       VXR_LIB_FAIL_READ_INI},
      {"accepted", {}, "[options]\nBackupDir=kept\n", VXR_LIB_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(MakeEngineFile(folder.path() / "vxr_qa.exe", c.engine));
    folder.Write("VXR.INI", c.ini);
    EXPECT_EQ(VXRInitLib(folder.str().c_str(), "vxr_qa.exe"), c.expected);
    EXPECT_EQ(VXRQuitLib(), c.expected == VXR_LIB_SUCCESS ? VXR_LIB_SUCCESS : VXR_LIB_NOT_INIT);
  }
}

TEST(LibraryInitTest, AFolderEndingInASlashStillFindsItsEngine) {
  TempFolder folder;
  ASSERT_TRUE(MakeEngineFile(folder.path() / "VXR.EXE"));
  ASSERT_EQ(VXRInitLib((folder.str() + "/").c_str(), nullptr), VXR_LIB_SUCCESS);
  VXR_HANDLE context = nullptr;
  ASSERT_EQ(VXRInitScanContext(&context), VXR_LIB_SUCCESS);
  char buffer[300];
  uint32_t size = sizeof(buffer);
  ASSERT_EQ(VXRGetStringInfo(context, VXR_STR_PATTERN_DIR, buffer, &size), VXR_LIB_SUCCESS);
  // The folder as given; Windows spells its separators as backslashes.
  EXPECT_EQ(std::string(buffer), folder.str() + static_cast<char>(std::filesystem::path::preferred_separator));
  EXPECT_EQ(VXRQuitScanContext(context), VXR_LIB_SUCCESS);
  EXPECT_EQ(VXRQuitLib(), VXR_LIB_SUCCESS);
}

}  // namespace
