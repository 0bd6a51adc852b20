#pragma once
// The rows of a result, packed: each value is its length and its bytes, one after another in
// large blocks, with no allocation per value or per row. A million rows of a few columns take
// a few tens of megabytes instead of hundreds, and rows arrive and move between threads in
// pieces without being copied.

#include <cstddef>
#include <deque>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace makeddl::connection {

// One row as the server sent it: a value per column, none for NULL.
using Row = std::vector<std::optional<std::string>>;

class RowTable {
 public:
  RowTable() = default;
  RowTable(RowTable&&) noexcept = default;
  RowTable& operator=(RowTable&&) noexcept = default;
  RowTable(const RowTable&) = delete;
  RowTable& operator=(const RowTable&) = delete;

  // Every row has as many values as the first one appended.
  void append(const Row& row);
  // Takes the other table's rows over, after this one's; the other is left empty.
  void append(RowTable&& other);
  void clear();

  std::size_t size() const { return rowStarts_.size(); }
  bool empty() const { return rowStarts_.empty(); }
  // The value of a row's column without copying it; none for NULL (and past the last column).
  std::optional<std::string_view> value(std::size_t row, std::size_t column) const;
  // A row as values of its own.
  Row operator[](std::size_t row) const;
  Row at(std::size_t row) const;  // throws std::out_of_range past the last row
  Row front() const { return at(0); }

  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Row;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Row;
    const_iterator(const RowTable* table, std::size_t row) : table_(table), row_(row) {}
    Row operator*() const { return (*table_)[row_]; }
    const_iterator& operator++() {
      ++row_;
      return *this;
    }
    bool operator==(const const_iterator& other) const { return row_ == other.row_; }

   private:
    const RowTable* table_;
    std::size_t row_;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  bool operator==(const RowTable& other) const;
  operator std::vector<Row>() const;  // every row as values of its own

 private:
  char* reserve(std::size_t bytes);
  void shrinkLastBlock();

  static constexpr std::size_t kBlockBytes = 1 << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0;      // bytes used in the last block
  std::size_t blockCapacity_ = 0;  // its size
  std::size_t width_ = 0;              // the values of each row (every row has as many)
  std::deque<const char*> rowStarts_;  // grows without moving what it holds
  std::vector<char> scratch_;          // one row being encoded
};

}  // namespace makeddl::connection
