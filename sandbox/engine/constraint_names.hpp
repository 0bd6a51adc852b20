#pragma once
// Names and stored texts of constraints, made as SQL Server 2000 makes them.

#include <string>

namespace sandbox {

namespace sql {
struct Expr;
}
struct Table;

// A system-generated constraint name ending in the constraint's object id in 8 hex digits:
// PK__table__0123ABCD without a column, DF__table__column__0123ABCD with one. The pieces are cut
// so that the whole name stays within 30 characters, as SQL Server 2000 does.
std::string generatedConstraintName(const std::string& prefix, const std::string& table, const std::string& column, int id);
// True for a name the server made for the constraint `id` (a user would have to guess the id).
bool isGeneratedConstraintName(const std::string& name, int id);
// The text syscomments keeps for a DEFAULT: the expression in exactly one pair of brackets.
std::string storedConstraintText(std::string text);
// The text syscomments keeps for a CHECK: the condition written again as SQL Server 2000 writes
// it, `([qty] > 0)` (check_text.cpp). Raises 8142 for a subquery.
std::string storedCheckText(const sql::Expr& condition, const Table& table);

}  // namespace sandbox
