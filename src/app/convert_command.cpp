#include "app/convert_command.h"

#include <cstring>
#include <istream>
#include <ostream>

#include "app/command_line.h"
#include "codeconv/code_converter.h"

namespace makeddl::app {

namespace {

constexpr const char* kUsage = "usage: makeddl convert --gb-to-big5 | --big5-to-gb  < input > output\n";
constexpr const char* kDescription =
    "Converts GB2312 text to Big5, or Big5 text to GB2312, byte for byte: every character keeps\n"
    "its two bytes, and one without a counterpart becomes two blanks.";

using BlockConversion = std::size_t (*)(std::string_view, char*, bool);

// Blocks of this size keep memory flat whatever the input's size, and are long enough that
// reading and writing cost few system calls.
constexpr std::size_t kBlockSize = 1 << 20;

struct ConvertFailure {
  const char* message;
};

// Reads `in` a block at a time and writes each block's conversion. A byte at the end of a
// block that may lead a pair is kept and read again before the next block.
void convertStream(BlockConversion convert, std::istream& in, std::ostream& out) {
  std::string input(kBlockSize + 1, '\0');
  std::string output(kBlockSize + 1, '\0');
  std::size_t kept = 0;
  for (bool last = false; !last;) {
    in.read(input.data() + kept, kBlockSize);
    if (in.bad()) throw ConvertFailure{"cannot read standard input"};
    const std::size_t size = kept + static_cast<std::size_t>(in.gcount());
    last = in.eof();
    const std::size_t done = convert(std::string_view(input.data(), size), output.data(), last);
    if (!out.write(output.data(), static_cast<std::streamsize>(done))) throw ConvertFailure{"cannot write standard output"};
    kept = size - done;
    std::memmove(input.data(), input.data() + done, kept);
  }
  if (!out.flush()) throw ConvertFailure{"cannot write standard output"};
}

}  // namespace

int runConvertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                      std::ostream& err) {
  CommandLine line("makeddl convert", kUsage, kDescription);
  line.parser().addOptions({{"gb-to-big5", "GB2312 text to Big5."}, {"big5-to-gb", "Big5 text to GB2312."}});
  BlockConversion convert = nullptr;
  try {
    if (!line.parse(args, out)) return kExitDone;
    const bool toBig5 = line.parser().isSet("gb-to-big5");
    if (toBig5 == line.parser().isSet("big5-to-gb")) throw UsageError("give one of --gb-to-big5 and --big5-to-gb");
    if (!line.parser().positionalArguments().isEmpty())
      throw UsageError("unexpected argument " + line.parser().positionalArguments().first().toStdString() +
                       " (the text comes on standard input)");
    convert = toBig5 ? &codeconv::GBToBig5Block : &codeconv::Big5ToGBBlock;
  } catch (const UsageError& error) {
    return line.reportUsageError(error, err);
  }
  try {
    convertStream(convert, in, out);
  } catch (const ConvertFailure& failure) {
    err << "makeddl convert: " << failure.message << '\n';
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace makeddl::app
