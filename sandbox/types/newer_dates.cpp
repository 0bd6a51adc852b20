#include "types/newer_dates.hpp"

#include "types/civil_days.hpp"

#include <cstdint>
#include <cstdio>
#include <regex>

namespace sandbox {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // the 100-nanosecond units of a seven-digit fraction
constexpr int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

bool validDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    int y2 = 0, m2 = 0, d2 = 0;
    civilFromDays(daysFromCivil(y, m, d), y2, m2, d2);
    return m2 == m && d2 == d;
}

int number(const std::ssub_match& part, int absent = 0) { return part.matched ? std::stoi(part.str()) : absent; }

// The ticks in the last place of a fraction of `digits` places.
int64_t tickUnit(int digits) {
    int64_t unit = 1;
    for (int i = digits; i < 7; ++i) unit *= 10;
    return unit;
}

// The fraction's digits (up to nine) as ticks, rounded to `digits` places.
int64_t roundedFraction(const std::string& fraction, int digits) {
    const int64_t nanoseconds = std::stoll((fraction + "000000000").substr(0, 9));
    const int64_t unit = tickUnit(digits) * 100;
    return (nanoseconds + unit / 2) / unit * unit / 100;
}

std::string formatted(NewerType kind, int digits, int64_t day, int64_t ticks, int offsetMinutes) {
    int y = 0, m = 0, d = 0;
    civilFromDays(day, y, m, d);
    const int64_t seconds = ticks / kTicksPerSecond;
    char buffer[64];
    std::string text;
    if (kind != NewerType::Time) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
        text = buffer;
    }
    if (kind == NewerType::Date) return text;
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    text += (text.empty() ? "" : " ") + std::string(buffer);
    if (digits > 0) {
        std::snprintf(buffer, sizeof buffer, "%07lld", static_cast<long long>(ticks % kTicksPerSecond));
        text += "." + std::string(buffer).substr(0, static_cast<size_t>(digits));
    }
    if (kind == NewerType::DateTimeOffset) {
        const int minutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        std::snprintf(buffer, sizeof buffer, " %c%02d:%02d", offsetMinutes < 0 ? '-' : '+', minutes / 60, minutes % 60);
        text += buffer;
    }
    return text;
}

}  // namespace

std::optional<std::string> newerDateLiteral(std::string_view text, NewerType kind, int digits) {
    static const std::regex pattern(
        R"(^\s*(?:(\d{4})-(\d{1,2})-(\d{1,2})|(\d{4})(\d{2})(\d{2}))?)"
        R"((?:(?:^|[ T]|\s+)(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{0,9}))?)?)?)"
        R"(\s*(?:(Z)|([+-])(\d{2}):(\d{2}))?\s*$)");
    const std::string whole(text);
    std::smatch match;
    if (!std::regex_match(whole, match, pattern)) return std::nullopt;
    const bool hasDate = match[1].matched || match[4].matched;
    const bool hasTime = match[7].matched;
    const bool hasOffset = match[11].matched || match[12].matched;
    if (!hasDate && !hasTime) return std::nullopt;
    if (hasOffset && kind != NewerType::DateTimeOffset) return std::nullopt;
    const int y = match[1].matched ? number(match[1]) : number(match[4], 1900);
    const int m = match[1].matched ? number(match[2]) : number(match[5], 1);
    const int d = match[1].matched ? number(match[3]) : number(match[6], 1);
    const int hour = number(match[7]), minute = number(match[8]), second = number(match[9]);
    if (!validDate(y, m, d) || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    int offset = 0;
    if (match[12].matched) {
        offset = (number(match[13]) * 60 + number(match[14])) * (match[12].str() == "-" ? -1 : 1);
        if (offset < -14 * 60 || offset > 14 * 60 || number(match[14]) > 59) return std::nullopt;
    }
    const int kept = kind == NewerType::Date ? 0 : digits;
    int64_t day = daysFromCivil(y, m, d);
    int64_t ticks = (hour * 3600 + minute * 60 + second) * kTicksPerSecond + roundedFraction(match[10].str(), kept);
    if (ticks >= kTicksPerDay) {  // rounded up past midnight: the next day (a time stays on its last instant)
        if (kind == NewerType::Time || day == daysFromCivil(9999, 12, 31)) {
            ticks = kTicksPerDay - tickUnit(kept);
        } else {
            ticks -= kTicksPerDay;
            ++day;
        }
    }
    return formatted(kind, kept, day, ticks, offset);
}

}  // namespace sandbox
