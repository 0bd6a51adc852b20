#pragma once
// Conversions, comparisons and arithmetic between SQL values, with SQL Server 2000's results.

#include "types/value.hpp"

#include <string>

namespace sandbox {

// CAST/CONVERT. `style` is CONVERT's third argument (0 when absent). Throws SqlError.
Value convertValue(const Value& value, const SqlType& target, int style = 0);
// As an assignment into a column: a too-long string is an error (8152), not a truncation.
Value assignValue(const Value& value, const SqlType& target);

// Text of a value as CONVERT(varchar, value) gives it.
std::string formatValue(const Value& value, int style = 0);

// Compares two non-NULL values after converting to the type of higher precedence.
int compareValues(const Value& a, const Value& b);
bool valuesEqual(const Value& a, const Value& b);  // NULL never equals anything

// The result type when two values of these types meet in arithmetic or comparison.
SqlType commonType(const SqlType& a, const SqlType& b);
// The type of a + b for two strings: the lengths added, up to 8,000 bytes (4,000 characters).
SqlType concatenationType(const SqlType& a, const SqlType& b);
// The type of a decimal result of + - * / with SQL Server's precision and scale rules: at most
// 38 digits, the scale given up first where the integral part needs the room.
SqlType decimalResultType(char op, const SqlType& a, const SqlType& b);
// Text cut to what a character type holds (its length in bytes of code page 936, or in
// characters for the Unicode types), as SQL Server cuts a string that is too long.
std::string cutToLength(const std::string& text, const SqlType& type);

Value arithmetic(char op, const Value& a, const Value& b);  // + - * / % & | ^
Value negate(const Value& a);
Value bitwiseNot(const Value& a);

// Value as a number for functions that take one.
double toDouble(const Value& value);
int64_t toInteger(const Value& value);
bool isTruthyNumber(const Value& value);

DateTime currentDateTime();
DateTime dateTimeFromParts(int year, int month, int day, int hour, int minute, int second, int millisecond);
void dateTimeParts(const DateTime& value, int& year, int& month, int& day, int& hour, int& minute,
                   int& second, int& millisecond);

}  // namespace sandbox
