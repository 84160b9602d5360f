// /SERVICE as a user meets it: the built testkve registers and starts TestSrv in a service
// database of the test's own, and the sample service program runs the harness detached.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_manager.h"
#include "platform/service_record.h"
#include "support/file_watch.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;

const std::string kEngineLines = "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n";
const std::string kEndLine = " end: ";

// A folder to run the harness in, with a service database of its own. With `service_program`
// the sample service program lies in the folder, but no harness beside it: the service then
// starts and ends at once, which is all most cases need.
class ServiceFolder : public TempFolder {
 public:
  explicit ServiceFolder(bool service_program = true) {
    if (service_program) fs::copy_file(BuiltProgram("TestSrv.exe"), path() / "TestSrv.exe");
  }

  fs::path db() const { return path() / "db"; }
  fs::path log() const { return db() / "TestSrv.log"; }
  fs::path record() const { return db() / "TestSrv.service"; }

  // Runs `program` (a path, or a name relative to the folder) in the folder.
  ProgramRun Run(const std::string& program, const std::vector<std::string>& args) const {
    return RunProgram(program, args, {path(), "", {{"TESTKVE_SERVICE_DB", db().string()}}});
  }

  // A copy of the harness in the folder under `name`, for command lines that start with it.
  std::string PlaceHarness(const std::string& name) const {
    fs::create_directories((path() / name).parent_path());
    fs::copy_file(BuiltProgram("testkve"), path() / name);
    return name;
  }
};

platform::ServiceParameters ReadRecord(const fs::path& record) {
  platform::ServiceParameters parameters;
  EXPECT_TRUE(platform::ParseServiceRecord(ReadFile(record), &parameters)) << record;
  return parameters;
}

std::string StartLine(const std::string& folder, const std::string& options) {
  return " start: folder \"" + folder + "\", program \"TestKVE.exe\", options \"" + options + "\"\n";
}

TEST(ServiceModeE2eTest, FirstRunCreatesTheServiceAndStartsItWithoutAPass) {
  ServiceFolder folder;
  ProgramRun run = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE", "/RUN=5"});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(kEngineLines + "Run Service MODE\noriginal sCmd is " + BuiltProgram("testkve") +
                " /NH /SERVICE /RUN=5\nArgument to launch service:  /NH  /RUN=5\n"
                "Service start.\n",
            run.output);
  platform::ServiceParameters p = ReadRecord(folder.record());
  EXPECT_EQ("TestSrv", p.name);
  EXPECT_EQ("TestSrv", p.display_name);
  EXPECT_EQ(0xF01FFu, p.desired_access);
  EXPECT_EQ(0x10u, p.service_type);
  EXPECT_EQ(3u, p.start_type);
  EXPECT_EQ(1u, p.error_control);
  EXPECT_EQ(folder.str() + "/TestSrv.exe", p.program_path);
  EXPECT_EQ("", p.load_order_group);
  EXPECT_FALSE(p.wants_tag);
  EXPECT_TRUE(p.dependencies.empty());
  EXPECT_EQ("", p.account);
  EXPECT_EQ("", p.password);

  ASSERT_TRUE(WaitForText(folder.log(), kEndLine, 1));
  std::string log = ReadFile(folder.log());
  EXPECT_EQ(1u, CountOf(log, StartLine(folder.str(), " /NH  /RUN=5")));
  EXPECT_EQ(0u, CountOf(log, "Run stress"));
}

TEST(ServiceModeE2eTest, LaterRunStartsTheRecordedServiceUnchanged) {
  ServiceFolder folder(false);
  platform::Error error;
  auto manager = platform::ServiceManager::Open(folder.db().string(), &error);
  ASSERT_NE(nullptr, manager);
  // Another program than TestSrv.exe in the current folder, which does not exist here.
  ASSERT_NE(nullptr, manager->CreateService(
                         {.name = "TestSrv", .start_type = 2, .program_path = BuiltProgram("TestSrv.exe")}, &error));
  const std::string record = ReadFile(folder.record());

  ProgramRun run = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE", "/RUN=0"});
  EXPECT_EQ(kEngineLines + "Run Service MODE\noriginal sCmd is " + BuiltProgram("testkve") +
                " /NH /SERVICE /RUN=0\nArgument to launch service:  /NH  /RUN=0\n"
                "Service start.\n",
            run.output);
  EXPECT_EQ(record, ReadFile(folder.record()));
  // The registered program differs from the one in this folder: one warning names both.
  EXPECT_EQ(1u, CountOf(run.errors, "warning: the service TestSrv runs " + BuiltProgram("TestSrv.exe") + ", not " +
                                        folder.str() + "/TestSrv.exe"))
      << run.errors;
  // The recorded program ran the harness beside it, in build/bin, in this folder.
  ASSERT_TRUE(WaitForText(folder.log(), kEndLine, 1));
  EXPECT_EQ(1u, CountOf(ReadFile(folder.log()), kEngineLines + "TestSrv "));
  EXPECT_EQ(1u, CountOf(ReadFile(folder.log()), "end: harness exit status 0\n"));
}

TEST(ServiceModeE2eTest, ProgramNameAndServiceOptionLeaveTheThirdArgument) {
  struct Case {
    std::string program;  // placed in the folder and started by this name
    std::vector<std::string> args;
    std::string messages;  // between the "original sCmd is" line and the outcome
    std::string options;   // the third start argument
  } cases[] = {
      {"./TestKVE.exe", {"/SERVICE", "/RUN=2", "C:\\Temp"}, "", "  /RUN=2 C:\\Temp"},
      {"my tools/TestKVE.exe", {"/SERVICE", "/NC"}, "have \"\n", "  /NC"},
      {"./TestKVE.exe", {"/SERVICE"}, "", " "},
      {"./harness", {"/SERVICE", "/NC"}, "", "./harness  /NC"},
      {"./TestKVE.exe", {"-SERVICE", "-NC"}, "", ""},
      // Options keep their case, so file names survive.
      {"./testkve",
       {"/service", "/PTNPATH=/home/qa/Ptn", "/assign=Troj_a"},
       "",
       "  /PTNPATH=/home/qa/Ptn /assign=Troj_a"},
      // Only the option the harness reads as SERVICE goes, never a path or value holding it.
      {"./testkve", {"/SERVICES", "/PTNPATH=/srv/service", "-Service"}, "", " /SERVICES /PTNPATH=/srv/service "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " " + c.args[0]);
    ServiceFolder folder;
    std::string program = folder.PlaceHarness(c.program);
    // A path with a blank is started by its full path and arrives quoted.
    if (program.find(' ') != std::string::npos) program = (folder.path() / program).string();
    // The command lines as given, without /NH: the banner comes first.
    ProgramRun run = folder.Run(program, c.args);
    std::string command = program.find(' ') != std::string::npos ? "\"" + program + "\"" : program;
    for (const std::string& arg : c.args) command += " " + arg;
    EXPECT_EQ(kEngineLines + "Run Service MODE\noriginal sCmd is " + command + "\n" + c.messages +
                  "Argument to launch service: " + c.options + "\nService start.\n",
              run.output.substr(run.output.find(kEngineLines)));
    ASSERT_TRUE(WaitForText(folder.log(), kEndLine, 1));
    EXPECT_EQ(1u, CountOf(ReadFile(folder.log()), StartLine(folder.str(), c.options)));
  }
}

TEST(ServiceModeE2eTest, FailuresAreReportedAndNothingStarts) {
  // Under a regular file the database cannot be made, not even by root.
  ServiceFolder unwritable;
  unwritable.Write("db", "");
  ProgramRun run = unwritable.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_EQ(kEngineLines + "Run Service MODE\nOpen SCManager failed (20)\n", run.output);

  ServiceFolder damaged;
  fs::create_directory(damaged.db());
  damaged.Write("db/TestSrv.service", "TestKVE service record 1\nname=TestSrv\n");
  run = damaged.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_EQ(kEngineLines + "Run Service MODE\nService record " + damaged.record().string() +
                " cannot be used (74): remove it to register the service again\n",
            run.output);
  EXPECT_FALSE(fs::exists(damaged.log()));

  ServiceFolder no_program(false);
  run = no_program.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_EQ(kEngineLines + "Run Service MODE\noriginal sCmd is " + BuiltProgram("testkve") +
                " /NH /SERVICE\nArgument to launch service:  /NH \nStart sevice fail\n",
            run.output);
}

TEST(ServiceModeE2eTest, TooLongForTheCopiesIsRefusedBeforeAnythingIsMade) {
  ServiceFolder long_command;
  const std::string value(260, 'p');
  ProgramRun run = long_command.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE", "/PTN=" + value});
  const size_t length = BuiltProgram("testkve").size() + 19 + value.size();
  EXPECT_EQ(kEngineLines +
                "Run Service MODE\nService not started: the command line is too long "
                "to hand on (" +
                std::to_string(length) + " characters, at most 259)\n",
            run.output);
  EXPECT_FALSE(fs::exists(long_command.record()));

  // A folder whose program path needs 260 characters.
  ServiceFolder long_folder;
  fs::path deep = long_folder.path() / std::string(260 - 13 - long_folder.str().size(), 'f');
  fs::create_directory(deep);
  run = RunProgram(BuiltProgram("testkve"), {"/NH", "/SERVICE"},
                   {deep, "", {{"TESTKVE_SERVICE_DB", long_folder.db().string()}}});
  EXPECT_EQ(kEngineLines +
                "Run Service MODE\nService not started: the current folder is too long "
                "for the service program path " +
                deep.string() +
                "/TestSrv.exe (260 characters, "
                "at most 259)\n",
            run.output);
  EXPECT_FALSE(fs::exists(long_folder.record()));
}

// The whole way: the harness in a copy of the bundled engine folder starts the service, whose
// program runs the harness beside it with the options handed on.
TEST(ServiceModeE2eTest, RoundTripRunsTheStressPassesInTheService) {
  EngineFolderCopy engine;
  TempFolder services;
  ProgramRun run = RunProgram((engine.path() / "testkve").string(), {"/SERVICE", "/RUN=2", "/NH"},
                              {engine.path(), "", {{"TESTKVE_SERVICE_DB", services.str()}}});
  EXPECT_EQ(1u, CountOf(run.output, "Service start.\n")) << run.output;
  EXPECT_EQ(0u, CountOf(run.output, "Run stress"));

  const fs::path log = services.path() / "TestSrv.log";
  ASSERT_TRUE(WaitForText(log, kEndLine, 1)) << ReadFile(log);
  std::vector<std::string> lines = ReadLines(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(0u, lines.front().find("TestSrv ")) << lines.front();
  EXPECT_EQ(1u, CountOf(ReadFile(log), StartLine(engine.str(), "  /RUN=2 /NH")));
  EXPECT_NE(std::string::npos, lines.back().find(" end: harness exit status 0"));
  std::string text = ReadFile(log);
  EXPECT_EQ(1u, CountOf(text, "Run stress: 1 round\n"));
  EXPECT_EQ(1u, CountOf(text, "Run stress: 2 round\n"));
  EXPECT_EQ(2u, CountOf(text, "Launch KVE program\n"));
  EXPECT_EQ(0u, CountOf(text, "Error Code"));
}

// Two harnesses register the service at the same moment: one record, whole, every time.
TEST(ServiceModeE2eTest, ConcurrentFirstRunsLeaveOneValidRecord) {
  ServiceFolder folder;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    fs::remove_all(folder.db());
    ProgramRun runs[2];
    std::thread other([&] { runs[1] = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"}); });
    runs[0] = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
    other.join();
    size_t starts = 0;
    for (const ProgramRun& run : runs) {
      bool started = run.output.ends_with("\nService start.\n");
      // A loser that found the winner's record may find its service still running, too.
      bool running = run.output.ends_with("\nStart sevice fail\n") && CountOf(run.errors, "already running") == 1;
      EXPECT_TRUE(started || running || run.output.ends_with("\nCreateService failed (17)\n")) << run.output;
      starts += started ? 1 : 0;
    }
    EXPECT_GE(starts, 1u);
    EXPECT_EQ(folder.str() + "/TestSrv.exe", ReadRecord(folder.record()).program_path);
    ASSERT_TRUE(WaitForText(folder.log(), kEndLine, starts));
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder.db())) files.push_back(entry.path());
    EXPECT_EQ(2u, files.size());  // the record and the log, no temporary file
  }
}

// The service's program still runs: a second start is refused, and a start after it has ended
// goes ahead. The program is a script that waits for the test to release it.
TEST(ServiceModeE2eTest, AServiceThatStillRunsIsNotStartedAgain) {
  ServiceFolder folder(false);
  const fs::path hold = folder.path() / "hold";
  ASSERT_EQ(0, mkfifo(hold.c_str(), 0600));
  fs::path program = folder.Write("TestSrv.exe", "#!/bin/sh\nread line < \"$1/hold\"\necho released\n");
  fs::permissions(program, fs::perms::owner_all);
  ProgramRun first = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_TRUE(first.output.ends_with("\nService start.\n")) << first.output;
  ProgramRun second = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_TRUE(second.output.ends_with("\nStart sevice fail\n")) << second.output;
  EXPECT_EQ(1u, CountOf(second.errors, "TestKVE: the service is already running")) << second.errors;
  {
    std::ofstream release(hold);
    release << "go\n";
  }
  ASSERT_TRUE(WaitForText(folder.log(), "released\n", 1));
  // The lock on the log goes with the last process that holds it; this waits for that.
  {
    int log = open(folder.log().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(log, 0);
    EXPECT_EQ(0, flock(log, LOCK_EX));
    close(log);
  }
  ProgramRun third = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE"});
  EXPECT_TRUE(third.output.ends_with("\nService start.\n")) << third.output;
  std::ofstream(hold) << "go\n";
  EXPECT_TRUE(WaitForText(folder.log(), "released\n", 2));
}

// A folder path that holds a word the option scan would read: the service runs the harness by
// its plain name, so the harness runs its passes once and never starts the service again.
TEST(ServiceModeE2eTest, AFolderPathThatScansAsAnOptionRunsTheHarnessOnce) {
  TempFolder root;
  const fs::path engine = root.path() / "a -SERVICE b";
  fs::create_directory(engine);
  CopyEngineFolderFiles(engine);
  TempFolder services;
  ProgramRun run = RunProgram((engine / "testkve").string(), {"/SERVICE", "/RUN=1", "/NH"},
                              {engine, "", {{"TESTKVE_SERVICE_DB", services.str()}}});
  EXPECT_EQ(1u, CountOf(run.output, "Service start.\n")) << run.output;
  const fs::path log = services.path() / "TestSrv.log";
  ASSERT_TRUE(WaitForText(log, kEndLine, 1)) << ReadFile(log);
  const std::string text = ReadFile(log);
  EXPECT_EQ(1u, CountOf(text, " start: ")) << text;
  EXPECT_EQ(1u, CountOf(text, "Run stress: 1 round\n")) << text;
  EXPECT_EQ(0u, CountOf(text, "Run Service MODE")) << text;
}

// Options whose value holds a blank reach the service's harness as they were typed: the quote
// the harness puts around such a value is not taken for the end of a quoted program path.
TEST(ServiceModeE2eTest, OptionsWithBlanksReachTheServiceWhole) {
  EngineFolderCopy engine;
  TempFolder services;
  const std::string patterns = engine.str() + "/my ptn";
  ProgramRun run =
      RunProgram((engine.path() / "testkve").string(), {"/NH", "/SERVICE", "/RUN=2", "/PTNPATH=" + patterns, "/SPY"},
                 {engine.path(), "", {{"TESTKVE_SERVICE_DB", services.str()}}});
  const std::string options = " /NH  /RUN=2 /PTNPATH=\"" + patterns + "\" /SPY";
  EXPECT_EQ(1u, CountOf(run.output, "Argument to launch service: " + options + "\nService start.\n")) << run.output;
  EXPECT_EQ(0u, CountOf(run.output, "have \""));
  const fs::path log = services.path() / "TestSrv.log";
  ASSERT_TRUE(WaitForText(log, kEndLine, 1)) << ReadFile(log);
  const std::string text = ReadFile(log);
  EXPECT_EQ(1u, CountOf(text, StartLine(engine.str(), options))) << text;
  EXPECT_EQ(1u, CountOf(text, "Run stress: 2 round\n")) << text;
  EXPECT_EQ(0u, CountOf(text, "TestKVE   Ver")) << "no banner: /NH arrived";
  EXPECT_EQ(2u, CountOf(text, "Enable Spyware Mode\n")) << text;
  EXPECT_EQ(2u, CountOf(text, "Set pattern path: " + patterns + "\n")) << text;
}

// A line feed in an option could forge a line of the service program's own; it shows escaped.
TEST(ServiceModeE2eTest, ControlCharactersInTheServiceProgramsLinesAreEscaped) {
  ServiceFolder folder;
  ProgramRun run = folder.Run(BuiltProgram("testkve"), {"/NH", "/SERVICE",
                                                        "/PTN=a\nTestSrv\x1b"
                                                        "forged"});
  EXPECT_TRUE(run.output.ends_with("Service start.\n")) << run.output;
  ASSERT_TRUE(WaitForText(folder.log(), kEndLine, 1));
  const std::string log = ReadFile(folder.log());
  EXPECT_EQ(1u, CountOf(log, StartLine(folder.str(), " /NH  /PTN=a\\x0ATestSrv\\x1Bforged"))) << log;
  EXPECT_EQ(0u, CountOf(log, "\nTestSrv\x1b"));
}

}  // namespace
