#pragma once
// Conversions between UTF-8, the program's inner text, and the 8-bit code pages that
// scripts, the script pane and files use (glibc iconv underneath).

#include <stdexcept>
#include <string>
#include <string_view>

namespace makeddl {

enum class Encoding { Gbk, Big5 };

// The iconv name used for the encoding. Big5 is read and written as Big5-HKSCS, the
// superset that also holds the kana and box-drawing cells the code tables write.
const char* iconvName(Encoding encoding);

// Short name for messages: "GBK" or "Big5".
const char* displayName(Encoding encoding);

// Thrown when UTF-8 text holds characters that the target encoding cannot hold.
class UnencodableText : public std::runtime_error {
 public:
  UnencodableText(Encoding encoding, std::string characters);
  // The characters that could not be encoded, in order of first appearance, as UTF-8.
  const std::string& characters() const { return characters_; }

 private:
  std::string characters_;
};

// Thrown for input that is not valid UTF-8.
class InvalidUtf8 : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes 8-bit text. A byte that starts no valid character is kept as the private-use
// character U+F700 + byte, so that encodeFromUtf8 gives the same bytes back.
std::string decodeToUtf8(std::string_view bytes, Encoding encoding);

// Encodes UTF-8 text; the private-use escapes of decodeToUtf8 turn back into their bytes.
// Throws UnencodableText naming every character the encoding lacks; nothing is dropped.
std::string encodeFromUtf8(std::string_view utf8, Encoding encoding);

}  // namespace makeddl
