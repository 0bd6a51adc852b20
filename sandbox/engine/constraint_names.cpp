#include "engine/constraint_names.hpp"

#include "types/text.hpp"

#include <cstdio>

namespace sandbox {
namespace {

std::string hexId(int id) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(id));
    return buffer;
}

}  // namespace

std::string generatedConstraintName(const std::string& prefix, const std::string& table, const std::string& column, int id) {
    if (column.empty()) return prefix + "__" + utf8Substring(table, 0, 16) + "__" + hexId(id);
    std::string tablePiece = utf8Substring(table, 0, 9);
    std::string columnPiece = utf8Substring(column, 0, 14 - characterCount(tablePiece));
    return prefix + "__" + tablePiece + "__" + columnPiece + "__" + hexId(id);
}

bool isGeneratedConstraintName(const std::string& name, int id) {
    std::string suffix = "__" + hexId(id);
    return name.size() > suffix.size() + 4 && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           name.compare(2, 2, "__") == 0;
}

std::string storedConstraintText(std::string text) {
    auto enclosedWhole = [](const std::string& t) {
        if (t.size() < 2 || t.front() != '(' || t.back() != ')') return false;
        int depth = 0;
        bool quoted = false;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\'') quoted = !quoted;
            if (quoted) continue;
            if (t[i] == '(') ++depth;
            if (t[i] == ')' && --depth == 0 && i + 1 < t.size()) return false;
        }
        return true;
    };
    size_t begin = text.find_first_not_of(" \t\r\n"), end = text.find_last_not_of(" \t\r\n");
    text = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
    while (enclosedWhole(text)) text = text.substr(1, text.size() - 2);
    return "(" + text + ")";
}

}  // namespace sandbox
