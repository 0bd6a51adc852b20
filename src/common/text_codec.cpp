#include "common/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>

namespace makeddl {

namespace {

constexpr char32_t kEscapeBase = 0xF700;  // U+F780..U+F7FF stand for undecodable bytes 80..FF

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::system_error(errno, std::generic_category(),
                              std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(handle_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts as much of input as possible, appending to output. Returns the number of
  // input bytes consumed; stops early at a sequence it cannot convert.
  // Writes straight into output's tail, made as long as the input left (the most any of the
  // encodings here needs for text from UTF-8) and longer while iconv asks for more room.
  std::size_t convert(std::string_view input, std::string& output) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    for (;;) {
      const std::size_t written = output.size();
      std::size_t outLeft = std::max(inLeft, kLeastRoom);
      output.resize(written + outLeft);
      char* out = output.data() + written;
      const bool needsRoom = iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) &&
                             errno == E2BIG;
      output.resize(output.size() - outLeft);
      if (!needsRoom) break;
    }
    flush(output);
    return input.size() - inLeft;
  }

 private:
  static constexpr std::size_t kLeastRoom = 16;  // room for any one character

  void flush(std::string& output) {
    char buffer[64];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(handle_, nullptr, nullptr, &out, &outLeft);
    output.append(buffer, sizeof buffer - outLeft);
  }

  iconv_t handle_;
};

void appendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Length of the UTF-8 sequence that starts at text[at]; throws on a malformed one.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || at + length > text.size())
    throw InvalidUtf8("text is not valid UTF-8 at byte " + std::to_string(at));
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
      throw InvalidUtf8("text is not valid UTF-8 at byte " + std::to_string(at));
  return length;
}

// The escaped byte when text[at..] is one of decodeToUtf8's U+F780..U+F7FF escapes.
bool escapedByteAt(std::string_view text, std::size_t at, char& byte) {
  // U+F780..U+F7BF encode as EF 9E 80..BF, U+F7C0..U+F7FF as EF 9F 80..BF.
  if (at + 3 > text.size() || static_cast<unsigned char>(text[at]) != 0xEF) return false;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  const auto third = static_cast<unsigned char>(text[at + 2]);
  if ((second != 0x9E && second != 0x9F) || (third & 0xC0) != 0x80) return false;
  const char32_t c = 0xF000 | ((second & 0x3F) << 6) | (third & 0x3F);
  byte = static_cast<char>(c - kEscapeBase);
  return true;
}

}  // namespace

const char* iconvName(Encoding encoding) {
  return encoding == Encoding::Gbk ? "GBK" : "BIG5-HKSCS";
}

const char* displayName(Encoding encoding) {
  return encoding == Encoding::Gbk ? "GBK" : "Big5";
}

UnencodableText::UnencodableText(Encoding encoding, std::string characters)
    : std::runtime_error(std::string("text holds characters that ") + displayName(encoding) +
                         " cannot hold: " + characters),
      characters_(std::move(characters)) {}

namespace {

// Decodes whole runs at once; a byte that starts no character becomes its escape.
std::string decodeRuns(std::string_view bytes, Encoding encoding) {
  Iconv decoder("UTF-8", iconvName(encoding));
  std::string result;
  result.reserve(bytes.size() * 3 / 2);
  while (!bytes.empty()) {
    bytes.remove_prefix(decoder.convert(bytes, result));
    if (bytes.empty()) break;
    appendUtf8(kEscapeBase + static_cast<unsigned char>(bytes.front()), result);
    bytes.remove_prefix(1);
  }
  return result;
}

// Decodes one character at a time, keeping a two-byte cell only when it encodes back to the
// same bytes (a few Big5 cells share their character with another cell); otherwise the lead
// byte becomes its escape. Slow, so used only when the fast decoding does not round-trip.
std::string decodeCellByCell(std::string_view bytes, Encoding encoding) {
  Iconv decoder("UTF-8", iconvName(encoding));
  std::string result;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
      result += bytes[at++];
      continue;
    }
    const std::string_view cell = bytes.substr(at, 2);
    std::string decoded;
    if (cell.size() == 2 && decoder.convert(cell, decoded) == 2 && encodeFromUtf8(decoded, encoding) == cell) {
      result += decoded;
      at += 2;
    } else {
      appendUtf8(kEscapeBase + lead, result);
      ++at;
    }
  }
  return result;
}

}  // namespace

std::string decodeToUtf8(std::string_view bytes, Encoding encoding) {
  std::string result = decodeRuns(bytes, encoding);
  if (encodeFromUtf8(result, encoding) != bytes) result = decodeCellByCell(bytes, encoding);
  return result;
}

namespace {

// Stretches of ASCII at least this long are copied as they are, since every encoding here
// writes ASCII as itself; shorter ones go to iconv with the characters around them, so that
// text mixing ASCII closely with other characters costs few iconv calls.
constexpr std::size_t kAsciiStretch = 16;

// Where the ASCII that starts at `at` ends; eight bytes at a time while it lasts.
std::size_t asciiEnd(std::string_view text, std::size_t at) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  for (std::uint64_t word = 0; at + sizeof word <= text.size(); at += sizeof word) {
    std::memcpy(&word, text.data() + at, sizeof word);
    if (word & kHighBits) break;
  }
  while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) ++at;
  return at;
}

// Where the run for iconv that starts at `at` ends: where the next ASCII stretch long enough to
// copy begins, or where the text's ASCII tail begins. Never inside a UTF-8 sequence.
std::size_t iconvRunEnd(std::string_view text, std::size_t at) {
  while (at < text.size()) {
    while (at < text.size() && static_cast<unsigned char>(text[at]) >= 0x80) ++at;
    const std::size_t ascii = asciiEnd(text, at);
    if (ascii - at >= kAsciiStretch || ascii == text.size()) break;
    at = ascii;
  }
  return at;
}

}  // namespace

// ASCII is copied and the runs between are given to iconv, which stops only where it cannot
// go on: at one of decodeToUtf8's escapes (which no encoding here holds), at a character the
// encoding lacks, or at bytes that are not UTF-8. Only those places are looked at one by one.
std::string encodeFromUtf8(std::string_view utf8, Encoding encoding) {
  Iconv encoder(iconvName(encoding), "UTF-8");
  std::string result;
  std::string missing;
  result.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t ascii = asciiEnd(utf8, at);
    result.append(utf8, at, ascii - at);
    at = ascii;
    if (at == utf8.size()) break;
    const std::size_t runEnd = iconvRunEnd(utf8, at);
    at += encoder.convert(utf8.substr(at, runEnd - at), result);
    if (at == runEnd) continue;
    char byte;
    if (escapedByteAt(utf8, at, byte)) {
      result += byte;
      at += 3;
      continue;
    }
    const std::size_t length = utf8Length(utf8, at);
    const std::string_view character = utf8.substr(at, length);
    if (missing.find(character) == std::string::npos) missing += character;
    at += length;
  }
  if (!missing.empty()) throw UnencodableText(encoding, std::move(missing));
  return result;
}

}  // namespace makeddl
