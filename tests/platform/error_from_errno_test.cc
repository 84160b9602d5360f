// The one errno table: every number that callers tell apart lands in its class, the same
// class whichever service meets it, and the number and words travel with it.
#include "platform/posix/error_from_errno.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using platform::ErrorFromErrno;
using platform::ErrorKind;

struct ErrnoCase {
  int number;
  ErrorKind kind;
};

TEST(ErrorFromErrnoTest, EachNumberHasOneClass) {
  constexpr ErrnoCase kCases[] = {
      {EEXIST, ErrorKind::kExists},     {ENOENT, ErrorKind::kNotFound},  {ENOTDIR, ErrorKind::kNotFound},
      {EINVAL, ErrorKind::kInvalid},    {EACCES, ErrorKind::kDenied},    {EPERM, ErrorKind::kDenied},
      {EISDIR, ErrorKind::kDenied},     {EMSGSIZE, ErrorKind::kTooLong}, {EBADF, ErrorKind::kNotOpen},
      {EBUSY, ErrorKind::kBusy},        {EBADMSG, ErrorKind::kDamaged},  {ENAMETOOLONG, ErrorKind::kOther},
      {ELOOP, ErrorKind::kOther},       {EIO, ErrorKind::kOther},        {ENOSPC, ErrorKind::kOther},
      {EWOULDBLOCK, ErrorKind::kOther}, {0, ErrorKind::kOther},
  };
  for (const ErrnoCase& c : kCases) {
    SCOPED_TRACE(std::strerror(c.number));
    const platform::Error error = ErrorFromErrno(c.number);
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.code, c.number);
    EXPECT_EQ(error.text, std::strerror(c.number));
  }
}

TEST(ErrorFromErrnoTest, TheCallersWordsReplaceTheSystems) {
  EXPECT_EQ(ErrorFromErrno(EPERM, "the folder /x is not yours alone").text, "the folder /x is not yours alone");
  const platform::Error bare = ErrorFromErrno(EBADMSG, {});
  EXPECT_EQ(bare.kind, ErrorKind::kDamaged);
  EXPECT_EQ(bare.code, EBADMSG);
  EXPECT_TRUE(bare.text.empty());
}

TEST(ResultTest, HoldsAValueOrAFailure) {
  platform::Result<std::string> value(std::string("bytes"));
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, "bytes");
  EXPECT_EQ(value->size(), 5u);
  EXPECT_EQ(value.error().kind, ErrorKind::kNone);

  platform::Result<std::string> failure(ErrorFromErrno(ENOENT));
  EXPECT_FALSE(failure);
  EXPECT_EQ(failure.error().kind, ErrorKind::kNotFound);
  EXPECT_EQ(failure.error().code, ENOENT);
}

}  // namespace
