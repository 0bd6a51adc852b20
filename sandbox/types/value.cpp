#include "types/value.hpp"

#include <algorithm>

namespace sandbox {

Value Value::varchar(std::string v) {
    int length = std::max<int>(1, static_cast<int>(utf8ToCp936(v).size()));
    return Value(SqlType::chars(TypeId::VarChar, std::min(length, 8000)), std::move(v));
}

Value Value::nvarchar(std::string v) {
    int length = std::max<int>(1, static_cast<int>(characterCount(v)));
    return Value(SqlType::chars(TypeId::NVarChar, std::min(length, 4000)), std::move(v));
}

}  // namespace sandbox
