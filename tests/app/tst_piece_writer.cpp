// The writer thread of long scripts: pieces come out whole and in order, a failure reaches the
// maker of the pieces, and giving up midway neither hangs nor throws.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/piece_writer.h"

using makeddl::app::PieceWriter;

namespace {

TEST(PieceWriter, WritesEveryPieceInOrder) {
  std::vector<std::string> written;
  {
    PieceWriter writer([&written](const std::string& piece) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // slower than the maker
      written.push_back(piece);
    });
    for (int i = 0; i < 200; ++i) writer.hand(std::to_string(i));
    writer.finish();
  }
  ASSERT_EQ(written.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(written[i], std::to_string(i));
}

TEST(PieceWriter, AFailureReachesTheMakerAndStopsTheWriting) {
  std::atomic<int> calls = 0;
  PieceWriter writer([&calls](const std::string& piece) {
    ++calls;
    if (piece == "bad") throw std::runtime_error("disk full");
  });
  writer.hand("good");
  writer.hand("bad");
  bool thrown = false;
  try {
    for (int i = 0; i < 100; ++i) writer.hand("later");
    writer.finish();
  } catch (const std::runtime_error& error) {
    thrown = true;
    EXPECT_STREQ(error.what(), "disk full");
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(calls, 2);
  EXPECT_THROW(writer.finish(), std::runtime_error);  // and stays failed
}

TEST(PieceWriter, GivingUpMidwayDropsTheRest) {
  std::atomic<int> calls = 0;
  {
    PieceWriter writer([&calls](const std::string&) {
      ++calls;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    writer.hand("a");
    writer.hand("b");
    writer.hand("c");
  }  // no finish(): the maker failed
  EXPECT_LT(calls, 3);
}

}  // namespace
