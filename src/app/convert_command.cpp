#include "app/convert_command.h"

#include <istream>
#include <iterator>
#include <ostream>

#include "codeconv/code_converter.h"

namespace makeddl::app {

namespace {

constexpr const char* kUsage =
    "usage: makeddl convert --gb-to-big5 | --big5-to-gb  < input > output\n"
    "  converts GB2312 text to Big5 or Big5 text to GB2312, byte for byte\n";

using Conversion = std::string (*)(std::string_view);

Conversion conversionFor(const std::string& option) {
  if (option == "--gb-to-big5") return &codeconv::GBToBig5;
  if (option == "--big5-to-gb") return &codeconv::Big5ToGB;
  return nullptr;
}

}  // namespace

int runConvertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                      std::ostream& err) {
  const Conversion conversion = args.size() == 1 ? conversionFor(args[0]) : nullptr;
  if (!conversion) {
    err << kUsage;
    return 2;
  }
  const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    err << "makeddl convert: cannot read standard input\n";
    return 1;
  }
  const std::string output = conversion(input);
  out.write(output.data(), static_cast<std::streamsize>(output.size()));
  out.flush();
  if (!out) {
    err << "makeddl convert: cannot write standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace makeddl::app
