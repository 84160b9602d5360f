// What another user can plant in a folder the harness writes to or reads from: the planting
// runs as user 65534, the harness as the caller, and the planted thing must never be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness_run.h"
#include "platform/service_manager.h"
#include "platform/service_record.h"
#include "support/file_watch.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "support/unprivileged.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPrecious[] = "precious settings\n";

// A folder that everybody can write, sticky (like /tmp) or not, beside a file of the caller's
// that a planted link points to.
struct SharedFolder {
  explicit SharedFolder(bool sticky) {
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | (sticky ? fs::perms::sticky_bit : fs::perms::none));
  }

  // Links made by user 65534: `name` in the shared folder, pointing to `target`.
  void PlantLinks(const std::vector<std::string>& names, const fs::path& target) const {
    ASSERT_TRUE(RunUnprivileged([&] {
      for (const std::string& name : names) {
        if (symlink(target.c_str(), (shared / name).c_str()) != 0) return false;
      }
      return true;
    }));
  }

  TempFolder root;
  fs::path shared = root.path() / "shared";
  fs::path precious = root.Write("precious.conf", kPrecious);
};

TEST(PlantedLinkE2eTest, TheHarnessNeverWritesItsRecordsThroughALink) {
  for (bool sticky : {true, false}) {
    SCOPED_TRACE(sticky ? "sticky folder" : "folder that is not sticky");
    SharedFolder folder(sticky);
    folder.PlantLinks({"report.xml", "run.jsonl", "run.html", "run.md"}, folder.precious);
    EngineFolderCopy engine;
    ProgramRun run = RunProgram(
        (engine.path() / "testkve").string(),
        {"/NH", "/RUN=1", "/JUNIT=" + (folder.shared / "report.xml").string(),
         "/JSON=" + (folder.shared / "run.jsonl").string(), "/REPORT=" + (folder.shared / "run.html").string(),
         "/MARKDOWN=" + (folder.shared / "run.md").string()},
        {engine.path()});
    EXPECT_EQ(0, run.exit_code) << run.errors;
    EXPECT_EQ(kPrecious, ReadFile(folder.precious));
    EXPECT_EQ(4u, CountOf(run.errors, "is a symbolic link")) << run.errors;
    EXPECT_TRUE(fs::is_symlink(folder.shared / "run.html"));
    EXPECT_TRUE(fs::is_symlink(folder.shared / "report.xml"));
    EXPECT_EQ(1u, CountOf(run.output, "Run stress: 1 round\n")) << "the run goes on";
  }
}

TEST(PlantedLinkE2eTest, VxrtoolFollowsOnlyLinksOfTheCallerOrRoot) {
  SharedFolder folder(/*sticky=*/false);
  // An executable, so that every rewrite gets as far as writing.
  const fs::path precious = folder.root.path() / "precious.elf";
  fs::copy_file(BuiltProgram("vxr_ref"), precious);
  const std::string original = ReadFile(precious);
  folder.PlantLinks({"planted"}, precious);
  const std::string key = std::string(TESTKVE_SOURCE_DIR) + "/tools/keys/dev_signing_key.pem";
  const std::vector<std::vector<std::string>> rewrites = {
      {"sign", "--key", key},
      {"version", "set", "--file-version", "3.5.0.1"},
  };
  for (std::vector<std::string> args : rewrites) {
    SCOPED_TRACE(args[0]);
    args.push_back((folder.shared / "planted").string());
    ProgramRun run = RunProgram(BuiltProgram("vxrtool"), args);
    EXPECT_NE(0, run.exit_code);
    EXPECT_EQ(1u, CountOf(run.errors, "symbolic link of user 65534")) << run.errors;
    EXPECT_EQ(original, ReadFile(precious));
  }
  // The caller's own link is followed: the file it points to is signed.
  fs::create_symlink(precious, folder.shared / "own");
  ProgramRun run = RunProgram(BuiltProgram("vxrtool"), {"sign", "--key", key, (folder.shared / "own").string()});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_TRUE(fs::is_symlink(folder.shared / "own"));
  EXPECT_NE(original, ReadFile(precious));
}

// A link of another user in the folder part of a path leads nowhere: neither the harness's
// records, nor the monitor's folder, nor vxrtool's output go through it.
TEST(PlantedLinkE2eTest, AnotherUsersLinkOnTheWayIsNeverFollowed) {
  for (bool sticky : {true, false}) {
    SCOPED_TRACE(sticky ? "sticky folder" : "folder that is not sticky");
    SharedFolder folder(sticky);
    const fs::path victim = folder.root.path() / "victim";
    fs::create_directory(victim);
    fs::copy_file(BuiltProgram("vxr_ref"), victim / "vxr.exe");
    const std::string engine_before = ReadFile(victim / "vxr.exe");
    folder.PlantLinks({"d", "PerfReport"}, victim);
    const fs::path d = folder.shared / "d";
    EngineFolderCopy engine;
    ProgramRun run =
        RunProgram(BuiltProgram("testkve"),
                   {"/NH", "/RUN=1", "/PERFMON", "/VXRPATH=" + engine.str(), "/JUNIT=" + (d / "run.xml").string(),
                    "/JSON=" + (d / "run.jsonl").string(), "/REPORT=" + (d / "run.html").string()},
                   {folder.shared, "", {kQuickMonitor}});
    EXPECT_EQ(0, run.exit_code) << run.errors;
    EXPECT_EQ(1u, CountOf(run.output, "Run stress: 1 round\n")) << "the run goes on";
    // The three records, and the monitor's log, table and picture.
    EXPECT_EQ(6u, CountOf(run.errors, "is a symbolic link of user 65534")) << run.errors;

    const std::string key = std::string(TESTKVE_SOURCE_DIR) + "/tools/keys/dev_signing_key.pem";
    const fs::path names = folder.root.Write("names.txt", "Virus.A\n");
    const std::vector<std::vector<std::string>> writes = {
        {"ptn", "build", "--version", "100", "--names", names.string(), "--out", (d / "x.ptn").string()},
        {"version", "set", "--file-version", "3.5.0.2", (d / "vxr.exe").string()},
        {"sign", "--key", key, (d / "vxr.exe").string()},
    };
    for (const std::vector<std::string>& args : writes) {
      SCOPED_TRACE(args[0]);
      ProgramRun tool = RunProgram(BuiltProgram("vxrtool"), args);
      EXPECT_NE(0, tool.exit_code);
      EXPECT_EQ(1u, CountOf(tool.errors, "d: is a symbolic link of user 65534")) << tool.errors;
    }
    EXPECT_EQ(engine_before, ReadFile(victim / "vxr.exe"));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(victim), {})) << "nothing was written into the victim folder";
  }
}

// Files of another user at the records' paths are replaced by new files of the caller's, never
// written in place: whatever that user still holds open is no longer the record.
TEST(PlantedFileE2eTest, APlantedFileIsReplacedNotWrittenInPlace) {
  for (bool sticky : {true, false}) {
    SCOPED_TRACE(sticky ? "sticky folder" : "folder that is not sticky");
    SharedFolder folder(sticky);
    const std::vector<std::string> names = {"run.jsonl", "run.xml", "run.html"};
    ASSERT_TRUE(RunUnprivileged([&] {
      for (const std::string& name : names) {
        const int fd = open((folder.shared / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || fchmod(fd, 0666) != 0) return false;
        close(fd);
      }
      return true;
    }));
    // What the other user keeps open to add a forged line later.
    const int planted = open((folder.shared / "run.jsonl").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_LE(0, planted);
    EngineFolderCopy engine;
    ProgramRun run = RunProgram(
        BuiltProgram("testkve"),
        {"/NH", "/RUN=2", "/VXRPATH=" + engine.str(), "/JSON=run.jsonl", "/JUNIT=run.xml", "/REPORT=run.html"},
        {folder.shared});
    const std::string forged = "{\"record\":\"pass\",\"pass\":3}\n";
    EXPECT_EQ(static_cast<ssize_t>(forged.size()), write(planted, forged.data(), forged.size()));
    close(planted);
    EXPECT_EQ(0, run.exit_code) << run.errors;
    EXPECT_EQ(2u, CountOf(ReadFile(folder.shared / "run.jsonl"), "\"record\":\"pass\""))
        << "the forged line is not in it";
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      struct stat status;
      ASSERT_EQ(0, stat((folder.shared / name).c_str(), &status));
      EXPECT_EQ(geteuid(), status.st_uid);
      EXPECT_EQ(0u, status.st_mode & (S_IWGRP | S_IWOTH));
    }
  }
}

// What is no regular file at a record's path (a FIFO nobody reads) is refused at once, never
// waited on; the run goes on and the other records are written.
TEST(PlantedFileE2eTest, AFifoAtARecordsPathIsRefusedWithoutWaiting) {
  SharedFolder folder(/*sticky=*/true);
  ASSERT_TRUE(RunUnprivileged([&] { return mkfifo((folder.shared / "run.jsonl").c_str(), 0666) == 0; }));
  EngineFolderCopy engine;
  ProgramRun run =
      RunProgram(BuiltProgram("testkve"),
                 {"/NH", "/RUN=20", "/VXRPATH=" + engine.str(), "/JSON=run.jsonl", "/JUNIT=run.xml"}, {folder.shared});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(1u, CountOf(run.errors, "run.jsonl: it is not a regular file")) << run.errors;
  EXPECT_EQ(20u, CountOf(ReadFile(folder.shared / "run.xml"), "<testcase "));
}

// A folder to run /SERVICE in, with the database in `db`.
class ServiceRun : public TempFolder {
 public:
  ServiceRun() { fs::copy_file(BuiltProgram("TestSrv.exe"), path() / "TestSrv.exe"); }

  fs::path db() const { return path() / "db"; }

  ProgramRun Run(const std::vector<std::string>& args) const {
    return RunProgram(BuiltProgram("testkve"), args, {path(), "", {{"TESTKVE_SERVICE_DB", db().string()}}});
  }

  // A valid record of TestSrv whose program is a script that leaves a mark when it runs.
  std::string ForgedRecord() const {
    const fs::path script = Write("forged.sh", "#!/bin/sh\ntouch \"" + (path() / "forged-ran").string() + "\"\n");
    fs::permissions(script, fs::perms::all);
    return platform::FormatServiceRecord({.name = "TestSrv", .program_path = script.string()});
  }
};

// What the harness prints before the refusal, and the refusal itself.
const std::string kServiceHead = "Run Service MODE\n";

TEST(ServiceDatabaseE2eTest, ARecordAnotherUserCouldForgeIsNeverRun) {
  struct Case {
    const char* name;
    mode_t folder_mode;
    bool folder_of_other;  // the folder belongs to user 65534
    bool record_of_other;  // user 65534 writes the record
    const char* refusal;   // on standard error
    bool at_open;          // refused when the database is opened, before the record is read
  } cases[] = {
      {"a folder everybody can write", 0777, false, true, "can be written by group or others (mode 0777)", true},
      {"a folder of another user", 0700, true, true, "belongs to user 65534", true},
      {"a record of another user", 0755, false, true, "belongs to user 65534", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServiceRun folder;
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::others_all);
    fs::create_directory(folder.db());
    const std::string record = folder.ForgedRecord();
    chmod(folder.db().c_str(), c.record_of_other && !c.folder_of_other ? 0777 : c.folder_mode);
    if (c.folder_of_other) {
      ASSERT_EQ(0, chown(folder.db().c_str(), kUnprivilegedId, kUnprivilegedId));
    }
    ASSERT_TRUE(RunUnprivileged([&] {
      folder.Write("db/TestSrv.service", record);
      return true;
    }));
    chmod(folder.db().c_str(), c.folder_mode);
    ProgramRun run = folder.Run({"/NH", "/SERVICE"});
    const std::string head = run.output.substr(run.output.find(kServiceHead));
    if (c.at_open) {
      EXPECT_EQ(kServiceHead + "Open SCManager failed (1)\n", head);
    } else {
      EXPECT_EQ(kServiceHead + "Service record " + (folder.db() / "TestSrv.service").string() +
                    " cannot be used (1): remove it to register the service again\n",
                head);
    }
    EXPECT_EQ(1u, CountOf(run.errors, c.refusal)) << run.errors;
    EXPECT_FALSE(fs::exists(folder.db() / "TestSrv.log"));
    EXPECT_FALSE(fs::exists(folder.path() / "forged-ran"));
  }
}

// A record outlives the folder it was registered from: whoever makes that folder again, or can
// write on the way to it, must not have a program of theirs run by the database's user.
TEST(ServiceDatabaseE2eTest, AStaleRecordNeverRunsAnotherUsersProgram) {
  struct Case {
    const char* name;
    bool sticky;            // the shared folder that held the registered folder
    bool folder_of_other;   // user 65534 makes the folder again
    bool program_of_other;  // and the program in it is theirs
    const char* refusal;    // on standard error
  } cases[] = {
      {"remade by another user in a sticky folder", true, true, true, "stale belongs to user 65534"},
      {"another user's program in the caller's folder", true, false, true, "TestSrv.exe belongs to user 65534"},
      {"remade in a folder everybody can write", false, true, true, "shared can be written by group or others"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedFolder shared(c.sticky);
    const fs::path stale = shared.shared / "stale";
    // The record that /SERVICE run from `stale` made, before the folder was removed.
    ServiceRun elsewhere;
    platform::Error error;
    std::unique_ptr<platform::ServiceManager> manager = platform::ServiceManager::Open(elsewhere.db().string(), &error);
    ASSERT_TRUE(manager) << error.text;
    ASSERT_TRUE(manager->CreateService({.name = "TestSrv", .program_path = (stale / "TestSrv.exe").string()}, &error));
    // The folder made again, and a program put in it that leaves a mark when it runs.
    if (c.folder_of_other) {
      ASSERT_TRUE(RunUnprivileged([&] { return mkdir(stale.c_str(), 0755) == 0; }));
    } else {
      fs::create_directory(stale);
    }
    const fs::path mark = shared.root.path() / "planted-ran";
    const fs::path program = elsewhere.Write("planted.sh", "#!/bin/sh\ntouch " + mark.string() + "\n");
    fs::copy_file(program, stale / "TestSrv.exe");
    fs::permissions(stale / "TestSrv.exe", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    if (c.program_of_other) {
      ASSERT_EQ(0, chown((stale / "TestSrv.exe").c_str(), kUnprivilegedId, kUnprivilegedId));
    }

    ProgramRun run = elsewhere.Run({"/NH", "/SERVICE"});
    EXPECT_TRUE(run.output.ends_with("Argument to launch service:  /NH \nStart sevice fail\n")) << run.output;
    EXPECT_EQ(1u, CountOf(run.errors, c.refusal)) << run.errors;
    EXPECT_FALSE(fs::exists(mark));
  }
}

TEST(ServiceDatabaseE2eTest, AFifoRecordOrLogGivesAMessageInsteadOfAHang) {
  ServiceRun fifo_record;
  fs::create_directory(fifo_record.db());
  ASSERT_EQ(0, mkfifo((fifo_record.db() / "TestSrv.service").c_str(), 0600));
  ProgramRun run = fifo_record.Run({"/NH", "/SERVICE"});
  EXPECT_EQ(1u, CountOf(run.output, "cannot be used (74)")) << run.output;
  EXPECT_EQ(1u, CountOf(run.errors, "TestSrv.service is not a regular file")) << run.errors;

  ServiceRun fifo_log;
  fs::create_directory(fifo_log.db());
  ASSERT_EQ(0, mkfifo((fifo_log.db() / "TestSrv.log").c_str(), 0600));
  run = fifo_log.Run({"/NH", "/SERVICE"});
  EXPECT_TRUE(run.output.ends_with("Start sevice fail\n")) << run.output;
  EXPECT_EQ(1u, CountOf(run.errors, "TestSrv.log is not a regular file")) << run.errors;
}

}  // namespace
