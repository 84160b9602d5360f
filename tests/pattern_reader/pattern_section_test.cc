// The section level of pattern files: raw DEFLATE expansion within its limits, and the entry
// walk of the three modes with every untrusted length.
#include "pattern_reader/pattern_section.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_fixture.h"

namespace {

using namespace pattern_fixture;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Expands `stored` into a buffer of `room` bytes; the text produced, or "<failed>".
std::string Expand(const std::string& stored, size_t room) {
  std::vector<uint8_t> out(room);
  uint16_t produced = 0;
  if (!ExpandDeflate(Bytes(stored), out, &produced)) return "<failed>";
  return std::string(out.begin(), out.begin() + produced);
}

TEST(ExpandDeflateTest, Limits) {
  const std::string text = "TROJ_A TROJ_B TROJ_C TROJ_A TROJ_B TROJ_C";
  const std::string stream = Deflate(text);
  const std::string big(40000, 'q');
  std::string corrupt = stream;
  corrupt[0] = static_cast<char>(0xFF);  // block type 3, which does not exist
  const struct {
    const char* name;
    std::string stored;
    size_t room;
    std::string expected;
  } cases[] = {
      {"exact room", stream, text.size(), text},
      {"more room than needed", stream, 100, text},
      {"one byte too little room", stream, text.size() - 1, "<failed>"},
      {"a stream cut short", stream.substr(0, stream.size() - 2), 100, "<failed>"},
      {"bad data", corrupt, 100, "<failed>"},
      {"an empty stream into no room", Deflate(""), 0, ""},
      {"no input", "", 10, "<failed>"},
      {"more than 32767 bytes", Deflate(big), big.size(), "<failed>"},
      {"exactly 32767 bytes", Deflate(big.substr(0, 32767)), big.size(), big.substr(0, 32767)},
      {"stored in more than 32768 bytes", std::string(32769, 'x'), 100, "<failed>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Expand(c.stored, c.room), c.expected);
  }
}

// The entries a section hands over, in order.
std::vector<std::string> EntriesOf(const std::string& body, size_t stop_after = SIZE_MAX) {
  std::vector<std::string> entries;
  EXPECT_EQ(ParsePatternSection(Bytes(body),
                                [&](std::span<const uint8_t> data) {
                                  entries.emplace_back(data.begin(), data.end());
                                  return entries.size() < stop_after;
                                }),
            PatternStatus::kDone);
  return entries;
}

using Strings = std::vector<std::string>;

TEST(PatternSectionTest, ModesAndUntrustedLengths) {
  const std::string two = Entry("one") + Entry("two", 16);
  // A stored region over 32768 bytes that still expands to a small one: the limit, not the
  // expansion, refuses it.
  const std::string padded_stream = Deflate(two) + std::string(32769, '\0');
  const struct {
    const char* name;
    std::string body;
    Strings expected;
  } cases[] = {
      {"plain", PlainSection(two), {"one", "two"}},
      {"plain, D shorter than the stored bytes", Section(0, 13, two + "junk"), {"one"}},
      {"plain, D + 14 beyond the body", Section(0, static_cast<uint16_t>(two.size() + 1), two), {}},
      {"whole region compressed", WholeSection(two), {"one", "two"}},
      {"whole region, D one byte short", WholeSection(two, -1), {}},
      {"whole region, D one byte long", WholeSection(two, +1), {}},
      {"whole region, stored in more than 32768 bytes",
       Section(0x81, static_cast<uint16_t>(two.size()), padded_stream),
       {}},
      {"whole region, bad data", Section(0x81, 10, "not deflate"), {}},
      {"each entry compressed", Section(0x01, 0, ""), {}},
      {"each entry compressed, two entries",
       PerEntrySection(CompressedEntry("alpha") + CompressedEntry("beta")),
       {"alpha", "beta"}},
      {"each entry compressed, U one byte long stops the walk",
       PerEntrySection(CompressedEntry("alpha") + CompressedEntry("beta", 1) + CompressedEntry("gamma")),
       {"alpha"}},
      {"an entry header shorter than 10 stops the walk",
       PlainSection(Entry("one") + Entry("", 9) + Entry("x")),
       {"one"}},
      {"an entry running past the region", PlainSection(Entry("one") + Entry("two").substr(0, 12)), {"one"}},
      {"H running past the region", PlainSection(Entry("one") + Entry("", 300).substr(0, 12)), {"one"}},
      {"fewer than 10 bytes left", PlainSection(Entry("one") + "123456789"), {"one"}},
      {"shorter than a section header", std::string(13, '\0'), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EntriesOf(c.body), c.expected);
  }
}

TEST(PatternSectionTest, TheEntryCallbackStopsTheWalk) {
  EXPECT_EQ(EntriesOf(PlainSection(Entry("a") + Entry("b") + Entry("c")), 2), (Strings{"a", "b"}));
}

TEST(PatternSectionTest, RefusesAnEmptyBodyOrNoCallback) {
  const std::string body = PlainSection(Entry("a"));
  EXPECT_EQ(ParsePatternSection({}, [](std::span<const uint8_t>) { return true; }), PatternStatus::kBadArgument);
  EXPECT_EQ(ParsePatternSection(Bytes(body), nullptr), PatternStatus::kBadArgument);
}

// A damaged section ends its walk as a whole one does; an entry of a plain section is a view
// into the body itself and never reaches past it, an expanded one is at most as long as the
// largest entry of the undamaged section's kind.
void ExpectEntriesInside(const std::string& body, bool plain) {
  const std::span<const uint8_t> bytes = Bytes(body);
  const uint8_t* begin = bytes.data();
  const uint8_t* end = begin + bytes.size();
  const PatternStatus status = ParsePatternSection(bytes, [&](std::span<const uint8_t> entry) {
    if (plain && !entry.empty()) {
      EXPECT_TRUE(entry.data() >= begin && entry.data() + entry.size() <= end) << "outside the body";
    }
    EXPECT_LE(entry.size(), plain ? bytes.size() : size_t{65536});
    return true;
  });
  EXPECT_EQ(PatternStatus::kDone, status);
}

TEST(PatternSectionTest, EveryTruncationAndFlippedByteStaysInside) {
  const struct {
    std::string body;
    bool plain;
  } sections[] = {
      {PlainSection(Entry("one") + Entry("two", 12)), true},
      {WholeSection(Entry("one") + Entry("two")), false},
      {PerEntrySection(CompressedEntry("alpha") + CompressedEntry("beta")), false},
  };
  for (const auto& section : sections) {
    for (size_t size = 1; size <= section.body.size(); ++size) {
      SCOPED_TRACE("cut to " + std::to_string(size));
      ExpectEntriesInside(section.body.substr(0, size), section.plain);
    }
    for (size_t at = 0; at < section.body.size(); ++at) {
      SCOPED_TRACE("flipped at " + std::to_string(at));
      std::string flipped = section.body;
      flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
      ExpectEntriesInside(flipped, section.plain);
    }
  }
}

}  // namespace
