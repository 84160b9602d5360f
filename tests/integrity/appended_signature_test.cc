#include "integrity/appended_signature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/damaged_copies.h"
#include "support/vxrtool_runs.h"

namespace {

const std::string kContent = "engine bytes: the content that the signature covers\n";

int VerifyBytes(const TempFolder& folder, const std::string& bytes) {
  return VerifyAppendedSignature(folder.Write("file", bytes).string().c_str());
}

std::vector<uint8_t> Reversed(std::vector<uint8_t> bytes) { return {bytes.rbegin(), bytes.rend()}; }

TEST(AppendedSignatureTest, CorrectTrailerIsValid) {
  TempFolder folder;
  EXPECT_EQ(VerifyBytes(folder, DevSigned(kContent)), 1);
}

TEST(AppendedSignatureTest, MalformedTrailersAreInvalid) {
  const std::vector<uint8_t> signature = DevSignature(kContent);
  const auto length = static_cast<uint32_t>(signature.size());
  std::vector<uint8_t> padded_to_128(128 - signature.size(), 0);
  padded_to_128.insert(padded_to_128.end(), signature.begin(), signature.end());
  const uint32_t big_endian = (length & 0xFF) << 24 | (length >> 8 & 0xFF) << 16;
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"three bytes", "abc"},
      {"only a length field", WithTrailer("", {}, 0)},
      {"length 0", WithTrailer(kContent + std::string(signature.begin(), signature.end()), {}, 0)},
      {"length 1", WithTrailer(kContent, {signature.back()}, 1)},
      // 128 passes the length test and is read, but a 520-bit key's signatures are 65 bytes.
      {"length 128, correct value", WithTrailer(kContent, padded_to_128, 128)},
      {"length 129", WithTrailer(kContent + "x", padded_to_128, 129)},
      {"length with the top bit set", WithTrailer(kContent, signature, 0x80000000u | length)},
      {"length big-endian", WithTrailer(kContent, signature, big_endian)},
      {"no content: L == S - 4", WithTrailer("", signature, length)},
      {"L > S - 4", WithTrailer("", {signature.begin() + 1, signature.end()}, length)},
      {"signature reversed", WithTrailer(kContent, Reversed(signature), length)},
      {"signature of other content", WithTrailer(kContent + "!", signature, length)},
  };
  TempFolder folder;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(VerifyBytes(folder, test.bytes), 0);
  }
}

// The signature is a big-endian number: leading zero bytes that a signer leaves out do not
// change it.
TEST(AppendedSignatureTest, SignatureWithoutItsLeadingZeroBytesVerifies) {
  std::string content;
  std::vector<uint8_t> signature;
  for (int attempt = 0; attempt < 100000; ++attempt) {
    content = kContent + std::to_string(attempt);
    signature = DevSignature(content);
    if (signature.front() == 0) break;
  }
  ASSERT_EQ(signature.front(), 0) << "no signature with a leading zero byte found";
  size_t zeros = 0;
  while (signature[zeros] == 0) ++zeros;
  std::vector<uint8_t> short_signature(signature.begin() + static_cast<long>(zeros), signature.end());
  TempFolder folder;
  EXPECT_EQ(VerifyBytes(folder, WithTrailer(content, short_signature, static_cast<uint32_t>(short_signature.size()))),
            1);
  EXPECT_EQ(VerifyBytes(folder, WithTrailer(content, signature, static_cast<uint32_t>(signature.size()))), 1);
}

TEST(AppendedSignatureTest, EveryChangedByteMakesTheFileInvalid) {
  const std::string signed_file = DevSigned(kContent);
  TempFolder folder;
  for (const auto& changed : FlippedCopies(signed_file, {0x01, 0x80}))
    ASSERT_EQ(VerifyBytes(folder, changed.bytes), 0) << changed.what;
}

TEST(AppendedSignatureTest, EveryTruncationIsInvalid) {
  const std::string signed_file = DevSigned(kContent);
  TempFolder folder;
  for (const auto& cut : CutCopies(signed_file)) ASSERT_EQ(VerifyBytes(folder, cut.bytes), 0) << cut.what;
}

// The last four bytes are always taken as the length, so nothing may follow the trailer.
TEST(AppendedSignatureTest, BytesAfterTheTrailerMakeTheFileInvalid) {
  TempFolder folder;
  for (std::string extra : {std::string(1, '\0'), std::string(4, '\0'), std::string("\n")}) {
    EXPECT_EQ(VerifyBytes(folder, DevSigned(kContent) + extra), 0) << extra.size() << " bytes";
  }
}

// The content is read in chunks of 1000 bytes; lengths on and around chunk boundaries all
// reach the end exactly.
TEST(AppendedSignatureTest, ContentLengthsAroundChunkBoundariesVerify) {
  TempFolder folder;
  for (size_t size : {1u, 999u, 1000u, 1001u, 2000u, 3000u, 4096u, 10000u}) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + size);
    EXPECT_EQ(VerifyBytes(folder, DevSigned(content)), 1) << size << " content bytes";
  }
}

TEST(AppendedSignatureTest, UnreadablePathsGiveMinusOne) {
  TempFolder folder;
  EXPECT_EQ(VerifyAppendedSignature((folder.path() / "missing").string().c_str()), -1);
  EXPECT_EQ(VerifyAppendedSignature(folder.path().string().c_str()), -1);
  EXPECT_EQ(VerifyAppendedSignature(nullptr), -1);
}

#ifdef __linux__
TEST(AppendedSignatureTest, AFifoGivesMinusOne) {
  TempFolder folder;
  std::string fifo = (folder.path() / "fifo").string();
  ASSERT_TRUE(RunShell("mkfifo " + fifo));
  EXPECT_EQ(VerifyAppendedSignature(fifo.c_str()), -1);
}
#endif

// ---- The stream core ------------------------------------------------------------------------

// fopencookie, which makes a stream fail on cue, is glibc's own.
#ifdef __GLIBC__
// A stream over `bytes` whose reads fail with an error inside [fail_from, fail_to).
struct FailingSource {
  std::string bytes;
  size_t fail_from;
  size_t fail_to;
  size_t position = 0;
};

ssize_t FailingRead(void* cookie, char* out, size_t size) {
  auto* source = static_cast<FailingSource*>(cookie);
  size_t at = source->position;
  if (at >= source->fail_from && at < source->fail_to) return -1;
  size_t end = at < source->fail_from ? source->fail_from : source->bytes.size();
  size_t count = std::min(size, end - std::min(at, end));
  source->bytes.copy(out, count, at);
  source->position += count;
  return static_cast<ssize_t>(count);
}

int FailingSeek(void* cookie, off64_t* offset, int whence) {
  auto* source = static_cast<FailingSource*>(cookie);
  off64_t base = whence == SEEK_SET   ? 0
                 : whence == SEEK_CUR ? static_cast<off64_t>(source->position)
                                      : static_cast<off64_t>(source->bytes.size());
  if (base + *offset < 0) return -1;
  source->position = static_cast<size_t>(base + *offset);
  *offset = base + *offset;
  return 0;
}

std::FILE* OpenFailing(FailingSource* source) {
  cookie_io_functions_t functions{FailingRead, nullptr, FailingSeek, nullptr};
  return fopencookie(source, "rb", functions);
}

// A read error in the middle of the content ends the loop (it does not spin on a stream
// that never reaches its end) and the file counts as invalid.
TEST(AppendedSignatureStreamTest, ReadErrorEndsTheLoopAsInvalid) {
  const std::string content(5000, 'x');
  FailingSource source{DevSigned(content), 2500, content.size()};
  std::FILE* stream = OpenFailing(&source);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(VerifyAppendedSignatureStream(stream, static_cast<int64_t>(source.bytes.size())), 0);
  std::fclose(stream);
}

TEST(AppendedSignatureStreamTest, FileShorterThanReportedIsInvalid) {
  FailingSource source{DevSigned(kContent), 0, 0};
  std::FILE* stream = OpenFailing(&source);
  ASSERT_NE(stream, nullptr);
  auto size = static_cast<int64_t>(source.bytes.size());
  EXPECT_EQ(VerifyAppendedSignatureStream(stream, size), 1);
  EXPECT_EQ(VerifyAppendedSignatureStream(stream, size + 10), 0);
  std::fclose(stream);
}
#endif  // __GLIBC__

TEST(SignatureVerdictTest, NumericVerdictsNameTheirOutcome) {
  EXPECT_EQ(AppendedSignatureVerdict(1), IntegrityVerdict::kValid);
  EXPECT_EQ(AppendedSignatureVerdict(0), IntegrityVerdict::kInvalid);
  EXPECT_EQ(AppendedSignatureVerdict(-1), IntegrityVerdict::kUnreadable);
}

}  // namespace
