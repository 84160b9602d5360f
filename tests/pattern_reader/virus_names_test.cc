// The name level of pattern files: the virus-name lookup and the listing, on small files that
// each show one rule or one malformed length.
#include "pattern_reader/virus_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_fixture.h"
#include "support/temp_folder.h"

namespace {

using namespace pattern_fixture;

NameLookup Lookup(const std::string& content, const char* name) {
  TempFolder folder;
  const std::string path = folder.Write("vxr.ptn", content).string();
  return LookupVirusName(path.c_str(), name);
}

// A file whose name records hold `sections`, one record each, and a last record that always
// answers for "LAST", to show that the walk went on.
std::string FileOf(std::initializer_list<std::string> sections) {
  std::string file;
  for (const std::string& section : sections) file += Record(kNameKind, section);
  return file + Record(kNameKind, PlainSection(Entry(Names({"LAST"})))) + Trailer();
}

const std::string k17 = "ABCDEFGHIJKLMNOPQ";
const std::string k18 = "ABCDEFGHIJKLMNOPQR";

struct LookupCase {
  const char* name;
  std::string file;
  std::string query;
  NameLookup expected;
};

TEST(VirusNameLookupTest, NameRules) {
  const std::string file = NamesFile({"TROJ_ONE", k17, "WORM_UPPER", "", k18});
  const LookupCase cases[] = {
      {"a stored name", file, "TROJ_ONE", NameLookup::kFound},
      {"17 characters", file, k17, NameLookup::kFound},
      {"18 characters are refused", file, k18, NameLookup::kBadArgument},
      {"lower case finds upper case", file, "worm_upper", NameLookup::kFound},
      {"mixed case", file, "tRoJ_oNe", NameLookup::kFound},
      {"a proper prefix", file, "TROJ_ON", NameLookup::kNotFound},
      {"a longer query", file, "TROJ_ONE1", NameLookup::kNotFound},
      {"an 18-byte stored name never matches its 17-byte start", NamesFile({k18}), k17, NameLookup::kNotFound},
      {"an empty query matches an empty name", file, "", NameLookup::kFound},
      {"an empty query and no empty name", NamesFile({"A"}), "", NameLookup::kNotFound},
      {"folding is ASCII only", NamesFile({"\xC9T\xC9"}), "\xE9t\xE9", NameLookup::kNotFound},
      {"a name only in another record kind",
       Record(kOtherKind, PlainSection(Entry(Names({"HIDDEN"})))) + NamesFile({"SHOWN"}), "HIDDEN",
       NameLookup::kNotFound},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Lookup(c.file, c.query.c_str()), c.expected);
  }
}

TEST(VirusNameLookupTest, SubEntriesAndRecords) {
  const std::string d4_first = NameData(NameSub("TROJ_A", 0, 0xF3, 0xD4) + NameSub("TROJ_B"));
  const std::string with_items = NameData(NameSub("TROJ_A", 3) + NameSub("TROJ_B", 1));
  const LookupCase cases[] = {
      {"a sub-entry of kind 0xD4 ends the scan", FileOf({PlainSection(Entry(d4_first))}), "TROJ_B",
       NameLookup::kNotFound},
      {"a tag other than 0xF3 ends the scan",
       FileOf({PlainSection(Entry(NameData(NameSub("X", 0, 0xF2) + NameSub("TROJ_B"))))}), "TROJ_B",
       NameLookup::kNotFound},
      {"items after a name are stepped over", FileOf({PlainSection(Entry(with_items))}), "TROJ_B", NameLookup::kFound},
      {"a later entry of the section", FileOf({PlainSection(Entry(Names({"A"})) + Entry(Names({"B"})))}), "b",
       NameLookup::kFound},
      {"mode 0x81", FileOf({WholeSection(Entry(Names({"W1", "W2"})))}), "W2", NameLookup::kFound},
      {"mode 0x01", FileOf({PerEntrySection(CompressedEntry(Names({"C1"})) + CompressedEntry(Names({"C2"})))}), "C2",
       NameLookup::kFound},
      {"two name records: the second is searched too",
       Record(kNameKind, PlainSection(Entry(Names({"FIRST"}))), 7) +
           Record(kNameKind, PlainSection(Entry(Names({"SECOND"}))), 8) + Trailer(),
       "SECOND", NameLookup::kFound},
      {"an empty body adds nothing and the walk goes on", RecordHeader(kNameKind, 0, 5) + NamesFile({"AFTER"}), "AFTER",
       NameLookup::kFound},
      {"no record of the name kind", Record(kOtherKind, "x") + Trailer(), "X", NameLookup::kNotFound},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Lookup(c.file, c.query.c_str()), c.expected);
  }
}

// Each malformed length gives up its section or entry; the name in the next record is still
// found and the name inside the bad part is not.
TEST(VirusNameLookupTest, MalformedLengthsAreGivenUp) {
  const std::string names = Names({"BAD"});
  const std::string big_names = [] {
    std::string subs;
    for (int i = 0; i < 1400; ++i) subs += NameSub("N" + std::to_string(i));
    return NameData(subs + NameSub("BAD"));
  }();
  const struct {
    const char* name;
    std::string section;
  } cases[] = {
      {"mode 0x81, D one byte short", WholeSection(Entry(names), -1)},
      {"mode 0x81, D one byte long", WholeSection(Entry(names), +1)},
      {"mode 0x81, stored in more than 32768 bytes",
       Section(0x81, static_cast<uint16_t>(Entry(names).size()), Deflate(Entry(names)) + std::string(32769, '\0'))},
      {"mode 0x81, expanding past 32767 bytes", WholeSection(Entry(big_names + big_names))},
      {"mode 0x01, U one byte short", PerEntrySection(CompressedEntry(names, -1))},
      {"plain, D + 14 beyond the body", Section(0, 400, Entry(names))},
      {"an entry header of 9 bytes", PlainSection(Entry(names, 9))},
      {"an entry running past the region", Section(0, static_cast<uint16_t>(Entry(names).size() - 1), Entry(names))},
      {"22 + N beyond the entry", PlainSection(Entry(NameData(NameSub("BAD"), 23)))},
      {"a sub-entry running past the list", PlainSection(Entry(NameData(NameSub("BAD", 1), 22)))},
      {"entry data shorter than 22 bytes", PlainSection(Entry(names.substr(0, 21)))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = FileOf({c.section});
    EXPECT_EQ(Lookup(file, "BAD"), NameLookup::kNotFound);
    EXPECT_EQ(Lookup(file, "LAST"), NameLookup::kFound);
  }
}

TEST(VirusNameLookupTest, ArgumentsAndFileErrors) {
  TempFolder folder;
  const std::string path = folder.Write("vxr.ptn", NamesFile({"A"})).string();
  EXPECT_EQ(LookupVirusName(nullptr, "A"), NameLookup::kBadArgument);
  EXPECT_EQ(LookupVirusName(path.c_str(), nullptr), NameLookup::kBadArgument);
  EXPECT_EQ(LookupVirusName((folder.path() / "missing.ptn").string().c_str(), "A"), NameLookup::kUnreadable);
  EXPECT_EQ(LookupVirusName(folder.str().c_str(), "A"), NameLookup::kUnreadable);
  EXPECT_EQ(LookupVirusName((folder.path() / "VXR.PTN").string().c_str(), "a"), NameLookup::kFound);
}

TEST(VirusNameListTest, EveryNameInFileOrder) {
  TempFolder folder;
  const std::string path =
      folder
          .Write("vxr.ptn", Record(kNameKind, WholeSection(Entry(Names({"Z1", "A2"})) + Entry(Names({"M3"})))) +
                                Record(kOtherKind, PlainSection(Entry(Names({"HIDDEN"})))) +
                                Record(kNameKind, PlainSection(Entry(Names({k18, ""})))) + Trailer())
          .string();
  std::vector<std::string> names;
  EXPECT_EQ(ForEachVirusName(path.c_str(), [&](std::string_view name) { names.emplace_back(name); }),
            PatternStatus::kDone);
  EXPECT_EQ(names, (std::vector<std::string>{"Z1", "A2", "M3", k18, ""}));
  EXPECT_EQ(ForEachVirusName((folder.path() / "none.ptn").string().c_str(), [](std::string_view) {}),
            PatternStatus::kUnreadable);
}

}  // namespace
