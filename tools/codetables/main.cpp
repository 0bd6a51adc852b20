// makeddl-gen-codetables: builds the GB2312 -> Big5 and Big5 -> GB2312 code tables from
// glibc iconv's charts and OpenCC's character dictionaries and writes them as C++ source.
//
//   makeddl-gen-codetables OPENCC_TEXT_DIR OUTPUT_FILE
//
// OPENCC_TEXT_DIR holds STCharacters.txt, TWVariants.txt and TSCharacters.txt, OpenCC's
// dictionaries converted to text (regenerate.sh does that). A summary goes to stdout.

#include <exception>
#include <filesystem>
#include <iostream>

#include "charts.h"
#include "choice_rules.h"
#include "opencc_dictionary.h"
#include "table_report.h"
#include "table_writer.h"

namespace {

using namespace makeddl::codetables;

CharacterData LoadCharacterData(const std::filesystem::path& opencc_dir) {
  return CharacterData{
      .gb2312 = ReadGB2312Chart(),
      .big5 = ReadBig5Chart(),
      .simplified_to_traditional = ReadCharacterDictionary(opencc_dir / "STCharacters.txt"),
      .taiwan_variants = ReadCharacterDictionary(opencc_dir / "TWVariants.txt"),
      .traditional_to_simplified = ReadCharacterDictionary(opencc_dir / "TSCharacters.txt"),
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " OPENCC_TEXT_DIR OUTPUT_FILE\n";
    return 2;
  }
  try {
    const CharacterData data = LoadCharacterData(argv[1]);
    const auto gb_to_big5 = BuildGBToBig5Table(data);
    const auto big5_to_gb = BuildBig5ToGBTable(data);
    WriteTableSource(argv[2], gb_to_big5, big5_to_gb);
    std::cout << "GB2312 chart: " << data.gb2312.size() << " codes; Big5 chart: "
              << data.big5.size() << " codes\n";
    ReportGBToBig5(std::cout, gb_to_big5, data.gb2312);
    ReportBig5ToGB(std::cout, big5_to_gb);
  } catch (const std::exception& error) {
    std::cerr << argv[0] << ": " << error.what() << "\n";
    return 1;
  }
  return 0;
}
