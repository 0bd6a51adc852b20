// The packed row storage: values, NULL and empty text kept apart, long values, and tables
// handed over in pieces.

#include "connection/row_table.h"

#include <gtest/gtest.h>

using namespace makeddl::connection;

namespace {

Row row(std::optional<std::string> a, std::optional<std::string> b) { return {std::move(a), std::move(b)}; }

}  // namespace

TEST(RowTable, KeepsEveryValueNullAndEmptyTextApart) {
  RowTable table;
  const std::string longValue(70000, 'x');  // a length of three header bytes
  table.append(row("1", std::nullopt));
  table.append(row("", longValue));
  table.append(row(std::string("a\0b", 3), " "));
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.value(0, 0), std::optional<std::string_view>("1"));
  EXPECT_EQ(table.value(0, 1), std::nullopt);
  EXPECT_EQ(table.value(1, 0), std::optional<std::string_view>(""));
  EXPECT_EQ(table.value(1, 1)->size(), longValue.size());
  EXPECT_EQ(table[2], row(std::string("a\0b", 3), " "));
  EXPECT_EQ(table.value(2, 2), std::nullopt);  // past the last column
  EXPECT_THROW(table.at(3), std::out_of_range);
  const std::vector<Row> rows = table;
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], row("1", std::nullopt));
}

// Pieces appended one after another read as one table, in order, with nothing copied wrong
// when a piece's part-filled block is cut to size.
TEST(RowTable, PiecesAppendedInOrderReadAsOneTable) {
  RowTable whole, expected;
  for (int piece = 0; piece < 5; ++piece) {
    RowTable part;
    for (int i = 0; i < 1000 * piece + 3; ++i) {
      const Row values = row(std::to_string(piece) + ":" + std::to_string(i), i % 7 ? std::optional<std::string>("v") : std::nullopt);
      part.append(values);
      expected.append(values);
    }
    whole.append(std::move(part));
    EXPECT_TRUE(part.empty());
    whole.append(row("own", "row"));
    expected.append(row("own", "row"));
  }
  EXPECT_EQ(whole.size(), expected.size());
  EXPECT_TRUE(whole == expected);
  std::size_t index = 0;
  for (const Row& values : whole) EXPECT_EQ(values, expected[index++]);
}
