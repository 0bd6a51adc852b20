// libFuzzer target: both conversions must keep the text's byte length, whatever the bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "codeconv/code_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (makeddl::codeconv::GBToBig5(text).size() != size ||
      makeddl::codeconv::Big5ToGB(text).size() != size) {
    std::abort();
  }
  return 0;
}
