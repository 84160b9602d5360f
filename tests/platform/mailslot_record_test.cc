// The spool's record format on every system: a record reads back whole; a record cut short may
// still become whole; a changed byte never reads as a whole record; and the scan finds the next
// whole record behind damage and stops at a magic cut by the end.
#include "platform/mailslot_record.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/mailslot.h"
#include "support/damaged_copies.h"

namespace {

using platform::CheckMailslotRecord;
using platform::MailslotRecord;
using platform::MailslotRecordState;

TEST(MailslotRecordTest, AWholeRecordReadsBackAndEveryCutMayStillGrow) {
  for (const std::string& message :
       {std::string(), std::string("one message"), std::string(platform::kMailslotMaxMessage, 'x')}) {
    const std::string record = MailslotRecord(message);
    ASSERT_EQ(platform::kMailslotRecordHeaderSize + message.size(), record.size());
    size_t size = 0;
    EXPECT_EQ(MailslotRecordState::kWhole, CheckMailslotRecord(record + "more", &size));
    EXPECT_EQ(record.size(), size);
    EXPECT_EQ(message, record.substr(platform::kMailslotRecordHeaderSize));
    if (message.size() > 100) continue;  // the cuts of the short ones show it
    for (const auto& cut : CutCopies(record)) {
      EXPECT_EQ(MailslotRecordState::kIncomplete, CheckMailslotRecord(cut.bytes, &size)) << cut.what;
    }
  }
}

TEST(MailslotRecordTest, NoChangedByteReadsAsAWholeRecord) {
  const std::string record = MailslotRecord("damaged message");
  for (const auto& changed : FlippedCopies(record)) {
    size_t size = 0;
    EXPECT_NE(MailslotRecordState::kWhole, CheckMailslotRecord(changed.bytes, &size)) << changed.what;
  }
  // A length beyond the largest message is no record, however much follows.
  std::string too_long = MailslotRecord("x");
  too_long[7] = '\x01';  // the length's highest byte
  size_t size = 0;
  EXPECT_EQ(MailslotRecordState::kBroken, CheckMailslotRecord(too_long + std::string(70000, 'y'), &size));
}

TEST(MailslotRecordTest, TheScanFindsTheNextWholeRecordAndAMagicCutByTheEnd) {
  std::string damaged = MailslotRecord("first");
  damaged.back() ^= 0x01;
  const std::string bytes = "junk" + damaged + MailslotRecord("second");
  const size_t second = 4 + damaged.size();
  EXPECT_EQ(second, platform::FindWholeMailslotRecord(bytes, 0, bytes.size()));
  EXPECT_EQ(std::string::npos, platform::FindWholeMailslotRecord(bytes, 0, second));
  EXPECT_EQ(4u, platform::NextMailslotRecordCandidate(bytes, 0, bytes.size()));
  EXPECT_EQ(second, platform::NextMailslotRecordCandidate(bytes, 5, bytes.size()));
  EXPECT_EQ(3u, platform::NextMailslotRecordCandidate(bytes, 0, 3));  // never beyond the limit
  // The first two bytes of a magic at the end: a record may still start there.
  const std::string cut_magic = "abc" + MailslotRecord("x").substr(0, 2);
  EXPECT_EQ(3u, platform::NextMailslotRecordCandidate(cut_magic, 0, cut_magic.size()));
}

}  // namespace
