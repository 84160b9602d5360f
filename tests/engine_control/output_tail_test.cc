// The end of an engine's output stream kept in a small buffer used as a ring: whatever the
// pieces, the buffer ends up holding the last bytes in order, and the total counts every byte.
#include "engine_control/output_tail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(OutputTailTest, KeepsTheLastBytesInOrderWhateverThePieces) {
  const std::vector<std::vector<size_t>> cases = {
      {}, {3}, {10}, {11}, {4, 4, 4}, {9, 1, 1}, {25}, {7, 30, 2}, {10, 10}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}};
  for (const std::vector<size_t>& pieces : cases) {
    SCOPED_TRACE(pieces.size());
    std::string buffer(10, '?');
    VXRStreamTail stream = {buffer.data(), 10, 99, 99};
    OutputTail tail(&stream);
    std::string all;
    for (size_t size : pieces) {
      std::string piece;
      for (size_t i = 0; i < size; ++i) piece += static_cast<char>('a' + (all.size() + i) % 26);
      all += piece;
      tail.Add(piece);
    }
    tail.Finish();
    EXPECT_EQ(all.size(), stream.total);
    const std::string expected = all.size() > 10 ? all.substr(all.size() - 10) : all;
    EXPECT_EQ(expected, buffer.substr(0, stream.length));
  }
}

TEST(OutputTailTest, WithoutABufferOnlyCounts) {
  VXRStreamTail stream = {nullptr, 64, 5, 5};
  OutputTail tail(&stream);
  tail.Add("hello");
  tail.Finish();
  EXPECT_EQ(0u, stream.length);
  EXPECT_EQ(5u, stream.total);
}

}  // namespace
