#include "connection/row_table.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace makeddl::connection {

namespace {

// A value's header: its length plus one (0 for NULL), seven bits a byte, low bits first.
void putHeader(std::vector<char>& out, std::size_t header) {
  do {
    char byte = static_cast<char>(header & 0x7F);
    header >>= 7;
    if (header) byte = static_cast<char>(byte | 0x80);
    out.push_back(byte);
  } while (header);
}

std::size_t takeHeader(const char*& at) {
  std::size_t header = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*at++);
    header |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return header;
  }
}

// Moves past one value; returns it (none for NULL).
std::optional<std::string_view> takeValue(const char*& at) {
  const std::size_t header = takeHeader(at);
  if (header == 0) return std::nullopt;
  const std::string_view value(at, header - 1);
  at += header - 1;
  return value;
}

}  // namespace

char* RowTable::reserve(std::size_t bytes) {
  if (blocks_.empty() || blockCapacity_ - blockUsed_ < bytes) {
    blockCapacity_ = std::max(bytes, kBlockBytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockCapacity_));
    blockUsed_ = 0;
  }
  char* at = blocks_.back().get() + blockUsed_;
  blockUsed_ += bytes;
  return at;
}

void RowTable::append(const Row& row) {
  if (empty()) width_ = row.size();
  scratch_.clear();
  for (const std::optional<std::string>& value : row) {
    putHeader(scratch_, value ? value->size() + 1 : 0);
    if (value) scratch_.insert(scratch_.end(), value->begin(), value->end());
  }
  char* at = reserve(scratch_.size());
  std::memcpy(at, scratch_.data(), scratch_.size());
  rowStarts_.push_back(at);
}

// Cuts the block being filled to the bytes it holds, so that a table of a few rows handed to
// another does not bring a mostly empty block along; its rows' starts move with it.
void RowTable::shrinkLastBlock() {
  if (blocks_.empty() || blockUsed_ == blockCapacity_) return;
  const char* oldStart = blocks_.back().get();
  auto fitted = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(blockUsed_, 1));
  std::memcpy(fitted.get(), oldStart, blockUsed_);
  const std::less<const char*> before;
  for (auto start = rowStarts_.rbegin();
       start != rowStarts_.rend() && !before(*start, oldStart) && before(*start, oldStart + blockCapacity_); ++start)
    *start = fitted.get() + (*start - oldStart);
  blocks_.back() = std::move(fitted);
  blockCapacity_ = blockUsed_;
}

void RowTable::append(RowTable&& other) {
  if (other.empty()) return;
  other.shrinkLastBlock();
  if (empty()) width_ = other.width_;
  // The other's blocks go before this table's last block, which stays the one being filled.
  std::unique_ptr<char[]> filling;
  if (!blocks_.empty()) {
    filling = std::move(blocks_.back());
    blocks_.pop_back();
  }
  for (std::unique_ptr<char[]>& block : other.blocks_) blocks_.push_back(std::move(block));
  if (filling) blocks_.push_back(std::move(filling));
  else {
    blockUsed_ = other.blockUsed_;
    blockCapacity_ = other.blockCapacity_;
  }
  rowStarts_.insert(rowStarts_.end(), other.rowStarts_.begin(), other.rowStarts_.end());
  other.clear();
}

void RowTable::clear() {
  blocks_.clear();
  blockUsed_ = blockCapacity_ = 0;
  width_ = 0;
  rowStarts_.clear();
  rowStarts_.shrink_to_fit();
}

std::optional<std::string_view> RowTable::value(std::size_t row, std::size_t column) const {
  if (column >= width_) return std::nullopt;
  const char* at = rowStarts_[row];
  for (std::size_t i = 0; i < column; ++i) takeValue(at);
  return takeValue(at);
}

Row RowTable::operator[](std::size_t row) const {
  Row values;
  values.reserve(width_);
  const char* at = rowStarts_[row];
  for (std::size_t i = 0; i < width_; ++i) {
    const std::optional<std::string_view> value = takeValue(at);
    values.push_back(value ? std::optional<std::string>(*value) : std::nullopt);
  }
  return values;
}

Row RowTable::at(std::size_t row) const {
  if (row >= size()) throw std::out_of_range("row " + std::to_string(row) + " of " + std::to_string(size()));
  return (*this)[row];
}

bool RowTable::operator==(const RowTable& other) const {
  if (size() != other.size() || (!empty() && width_ != other.width_)) return false;
  for (std::size_t row = 0; row < size(); ++row)
    for (std::size_t column = 0; column < width_; ++column)
      if (value(row, column) != other.value(row, column)) return false;
  return true;
}

RowTable::operator std::vector<Row>() const { return std::vector<Row>(begin(), end()); }

}  // namespace makeddl::connection
