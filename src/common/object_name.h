#pragma once
// The name of a database object with its schema. SQL Server 2005 and later keep every object in
// a schema; those of dbo (and every object as SQL Server 2000 lists it) are named bare, as the
// object lists always showed them, others as schema.name.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace makeddl {

struct ObjectName {
  std::string schema;  // empty for dbo
  std::string name;

  ObjectName() = default;
  // An object of dbo: a name as the catalogue holds it.
  ObjectName(std::string_view bare) : name(bare) {}
  ObjectName(const std::string& bare) : name(bare) {}
  ObjectName(const char* bare) : name(bare) {}
  // An object of the schema; dbo, in any case, is kept as no schema.
  ObjectName(std::string_view schemaName, std::string_view bare);

  bool inDbo() const { return schema.empty(); }
  bool operator==(const ObjectName&) const = default;
};

// As the lists show it: the bare name in dbo, else schema.name with each part in brackets
// where it needs them.
std::string shownName(const ObjectName& object);

// As statements name it: quoted where needed, with its schema unless in dbo.
std::string sqlName(const ObjectName& object);

// A text literal that object_id(), sp_helptext and their kind read as exactly this object.
std::string nameArgument(const ObjectName& object);

// The same with the schema always named, dbo too: '[dbo].[t]' finds dbo's t whatever the
// default schema of the user who runs it.
std::string qualifiedNameArgument(const ObjectName& object);

// Writes the shown name, for messages.
std::ostream& operator<<(std::ostream& out, const ObjectName& object);

// A name as a user writes it: "t", "sales.t", "[my schema].[a.b]", "dbo.t"; nothing for a text
// of more than two parts or with an unclosed bracket or quote.
std::optional<ObjectName> parseObjectName(std::string_view text);

}  // namespace makeddl
