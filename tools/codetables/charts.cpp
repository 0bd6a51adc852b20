#include "charts.h"

#include <iconv.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace makeddl::codetables {
namespace {

constexpr std::uint16_t kEtenExtensionFirst = 0xC6A1;
constexpr std::uint16_t kEtenExtensionLast = 0xC875;

// UTF-32 in host byte order, so that iconv's output reads directly as char32_t.
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

// One iconv conversion descriptor into UTF-32LE, closed on destruction.
class Decoder {
 public:
  explicit Decoder(const char* from_encoding)
      : descriptor_(iconv_open(kUtf32, from_encoding)) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from_encoding);
    }
  }
  ~Decoder() { iconv_close(descriptor_); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // The scalar values of the bytes, or nothing when iconv rejects or leaves any of them.
  std::optional<std::u32string> Decode(std::string_view bytes) {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    std::u32string result(bytes.size() + 4, U'\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char* out = reinterpret_cast<char*>(result.data());
    std::size_t out_left = result.size() * sizeof(char32_t);
    if (iconv(descriptor_, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) ||
        in_left != 0) {
      return std::nullopt;
    }
    // Stateful charts (BIG5-HKSCS) may hold a character back until flushed.
    if (iconv(descriptor_, nullptr, nullptr, &out, &out_left) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    result.resize(result.size() - out_left / sizeof(char32_t));
    return result;
  }

 private:
  iconv_t descriptor_;
};

bool IsPrivateUse(char32_t c) {
  return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000;
}

// The one character a two-byte cell stands for, if it is a code of the chart.
std::optional<char32_t> DecodeCell(Decoder& decoder, std::uint16_t code) {
  const std::array<char, 2> bytes{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  const auto decoded = decoder.Decode(std::string_view(bytes.data(), bytes.size()));
  if (!decoded || decoded->size() != 1 || IsPrivateUse(decoded->front())) {
    return std::nullopt;
  }
  return decoded->front();
}

// Adds every code from first to last (trail bytes 40..FE only) that the decoder knows.
void AddCells(Chart& chart, Decoder& decoder, std::uint16_t first, std::uint16_t last) {
  for (unsigned code = first; code <= last; ++code) {
    if ((code & 0xFF) < 0x40 || (code & 0xFF) == 0xFF) {
      continue;
    }
    if (const auto c = DecodeCell(decoder, static_cast<std::uint16_t>(code))) {
      chart.emplace(static_cast<std::uint16_t>(code), *c);
    }
  }
}

}  // namespace

Chart ReadGB2312Chart() {
  Decoder decoder("GB2312");
  Chart chart;
  AddCells(chart, decoder, 0xA1A1, 0xF7FE);
  return chart;
}

Chart ReadBig5Chart() {
  Decoder big5("BIG5");
  Chart chart;
  AddCells(chart, big5, 0xA140, 0xFEFE);
  Decoder hkscs("BIG5-HKSCS");
  AddCells(chart, hkscs, kEtenExtensionFirst, kEtenExtensionLast);
  return chart;
}

std::u32string DecodeUtf8(std::string_view text) {
  static Decoder decoder("UTF-8");
  auto decoded = decoder.Decode(text);
  if (!decoded) {
    throw std::runtime_error("malformed UTF-8: " + std::string(text));
  }
  return *decoded;
}

}  // namespace makeddl::codetables
