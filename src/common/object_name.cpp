#include "common/object_name.h"

#include <ostream>
#include <vector>

#include "common/strings.h"

namespace makeddl {

ObjectName::ObjectName(std::string_view schemaName, std::string_view bare) : name(bare) {
  if (!equalsIgnoringCase(schemaName, "dbo")) schema = std::string(schemaName);
}

std::string shownName(const ObjectName& object) { return object.inDbo() ? object.name : sqlName(object); }

std::string sqlName(const ObjectName& object) {
  const std::string name = quotedIdentifier(object.name);
  return object.inDbo() ? name : quotedIdentifier(object.schema) + "." + name;
}

std::string nameArgument(const ObjectName& object) {
  return object.inDbo() ? objectNameArgument(object.name) : qualifiedNameArgument(object);
}

std::string qualifiedNameArgument(const ObjectName& object) {
  const std::string schema = object.inDbo() ? "dbo" : object.schema;
  return textLiteral("[" + bracketed(schema) + "].[" + bracketed(object.name) + "]");
}

std::ostream& operator<<(std::ostream& out, const ObjectName& object) { return out << shownName(object); }

namespace {

// The parts of a multi-part name, each without its brackets or quotes; nothing when a bracket
// or quote is not closed.
std::optional<std::vector<std::string>> nameParts(std::string_view text) {
  std::vector<std::string> parts(1);
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '.') {
      parts.emplace_back();
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      for (++at;; ++at) {
        if (at >= text.size()) return std::nullopt;
        if (text[at] != close) {
          parts.back() += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == close) {  // a doubled closer stands for itself
          parts.back() += close;
          ++at;
        } else {
          break;
        }
      }
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

std::optional<ObjectName> parseObjectName(std::string_view text) {
  const std::optional<std::vector<std::string>> parts = nameParts(trimmed(text));
  if (!parts || parts->size() > 2) return std::nullopt;
  for (const std::string& part : *parts)
    if (part.empty()) return std::nullopt;
  if (parts->size() == 1) return ObjectName(parts->front());
  return ObjectName(parts->front(), parts->back());
}

}  // namespace makeddl
