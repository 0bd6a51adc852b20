#pragma once
// The collations a column may declare (COLLATE name), with the numbers the catalogue shows for
// them. Text is stored and compared under the server's collation whatever a column declares.

#include "types/value.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

struct Collation {
    std::string name;  // as SQL Server spells it
    int id = 0;        // syscolumns.collationid
    Bytes tds;         // the five bytes of TDS and syscolumns.tdscollation
};

// A Windows collation (designator and CI/CS, AI/AS, KS, WS or BIN) or one of the SQL collations;
// nullopt for a name SQL Server 2000 does not know.
std::optional<Collation> findCollation(std::string_view name);
const Collation& databaseCollation();

}  // namespace sandbox
