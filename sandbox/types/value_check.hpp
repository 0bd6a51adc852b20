#pragma once
// What a column of a type may hold: the right kind of stored value, within the type's range and
// length, and NULL only where the column allows it. Every row the engine stores keeps to this,
// and every file it reads is checked against it, so that a client is never sent a value its
// column cannot describe.

#include "types/value.hpp"

#include <string>

namespace sandbox {

// Why `value` cannot be stored in a column of `type`; empty when it can.
std::string storageProblem(const Value& value, const SqlType& type, bool nullable);
// Why `type` is no column type SQL Server 2000 can declare (a length or precision out of
// range); empty when it is one.
std::string columnTypeProblem(const SqlType& type);

// The datetime range, as days since 1900-01-01: 1753-01-01 to 9999-12-31; smalldatetime's is
// 1900-01-01 to 2079-06-06, to the minute.
inline constexpr int32_t kFirstDateTimeDay = -53690, kLastDateTimeDay = 2958463;
inline constexpr int32_t kLastSmallDateTimeDay = 65535;
inline constexpr uint32_t kTicksPerDay = 25920000, kTicksPerMinute = 18000;

}  // namespace sandbox
