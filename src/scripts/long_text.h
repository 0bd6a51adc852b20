#pragma once
// Long text values that hold line breaks or other control characters. A short value is
// written as one expression ('a'+char(13)+char(10)+'b'), but SQL Server 2000 cannot join text
// or ntext values beyond 8,000 bytes with +. Such a value is therefore built in a temporary
// table, a piece of at most 8,000 bytes at a time with UPDATETEXT, and its row is inserted
// from there:
//
//   DELETE FROM #makeddl_text
//   INSERT INTO #makeddl_text (id,t,n) VALUES (3,'',NULL)
//   SELECT @makeddl_ptr=TEXTPTR(t) FROM #makeddl_text WHERE id=3
//   SET @makeddl_piece='...'+char(10)+'...'
//   UPDATETEXT #makeddl_text.t @makeddl_ptr NULL 0 @makeddl_piece
//   INSERT INTO t_doc (id,body) SELECT 1,v3.t FROM #makeddl_text v3 WHERE v3.id=3

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace makeddl::scripts {

// True when a value must take the long form: it holds a line-breaking character and is
// longer than one expression can hold (8,000 bytes in the server's code page, or 4,000
// characters for national text).
bool needsLongTextForm(std::string_view utf8, bool national);

// The statements that declare the variables and create the temporary table; written once per
// script, before the first long value.
std::vector<std::string> longTextPreamble();

// The statement that drops the temporary table at the end of a script that used it.
std::string longTextEpilogue();

// The statements that empty the temporary table before a row's long values are built.
std::string longTextRowStart();

// The statements that build the value in the temporary table under `id`.
std::vector<std::string> longTextBuild(int id, std::string_view utf8, bool national);

// The select-list item and the FROM item that read the value built under `id` back.
std::string longTextColumn(int id, bool national);
std::string longTextSource(int id);
std::string longTextCondition(int id);

}  // namespace makeddl::scripts
