#pragma once
// The two batches behind the dependency page. Both return rows with the fields IndexNum, name,
// type, updated, selected and column, numbered from 1, with the object types in Chinese.

#include <string>
#include <string_view>
#include <vector>

#include "catalog/server_version.h"
#include "common/object_name.h"

namespace makeddl::catalog {

enum class DependencyDirection {
  Dependents = 1,    // the objects whose definitions refer to the named object
  Dependencies = 2,  // the objects and columns the named object's definition refers to
};

// An object-type code of sysobjects and the Chinese name the dependency page shows for it.
struct ObjectTypeName {
  std::string code;
  std::string name;
};

// The codes the page names, in the order the batch tests them; any other code shows as itself.
const std::vector<ObjectTypeName>& objectTypeNames();

// The "when 'code' then 'name'" arms of the batches' CASE over the type code.
std::string typeNameCases();

// The whole batch for the object, for the server's version (SQL Server 2000 unless given).
std::string dependencyBatch(const ObjectName& object, DependencyDirection direction, const ServerVersion& server = {});

}  // namespace makeddl::catalog
