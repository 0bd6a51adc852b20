// The query editor's statement and script files.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "scripts/query_text.h"
#include "scripts/script_file.h"
#include "scripts/script_text.h"

using namespace makeddl::scripts;

namespace {

TEST(EditorStatement, LinesStayApartWhateverTheirBreaks) {
  EXPECT_EQ(editorStatement("select dept_id\nfrom t_dept"), "select dept_id\r\nfrom t_dept");
  EXPECT_EQ(editorStatement("a\r\nb\rc\n"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(editorStatement("select 1 -- one\nselect 2"), "select 1 -- one\r\nselect 2");
  EXPECT_EQ(editorStatement("select '部门'"), "select '部门'");
}

TEST(ScriptPaneText, EveryLineEndsWithABreak) {
  EXPECT_EQ(scriptPaneText({"", "a", ""}), "\na\n\n");
  EXPECT_EQ(scriptPaneText({}), "");
}

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ScriptFile, WritesTheBytesReplacingTheFileAndNamesAFailure) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tst_script_file_部门";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "脚本.sql").string();
  writeScriptFile(path, "a much longer earlier text\r\n");
  writeScriptFile(path, std::string("\r\n\xB2\xBF\r\n", 6));
  EXPECT_EQ(fileBytes(folder / "脚本.sql"), std::string("\r\n\xB2\xBF\r\n", 6));
  const std::string missing = (folder / "no" / "x.sql").string();
  try {
    writeScriptFile(missing, "x");
    FAIL() << "wrote into a missing folder";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
