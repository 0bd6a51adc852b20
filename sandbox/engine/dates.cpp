#include "engine/dates.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <limits>

namespace sandbox {

using sql::DatePart;

namespace {

constexpr int64_t kTicksPerSecond = 300;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int64_t kMillisecondsPerDay = 86400 * 1000;

struct Parts {
    int year, month, day, hour, minute, second, millisecond;
};

Parts partsOf(const DateTime& value) {
    Parts p{};
    dateTimeParts(value, p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
    return p;
}

int64_t dayNumber(int year, int month, int day) { return dateTimeFromParts(year, month, day, 0, 0, 0, 0).days; }

int64_t floorDivide(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Weeks counted from the Sunday before 1900-01-01 (a Monday).
int64_t weekNumber(int64_t days) { return floorDivide(days + 1, 7); }

int64_t millisecondsOf(const DateTime& value) {
    Parts p = partsOf(value);
    return static_cast<int64_t>(value.days) * kMillisecondsPerDay +
           ((p.hour * 60 + p.minute) * 60 + p.second) * 1000LL + p.millisecond;
}

int daysInMonth(int year, int month) {
    return static_cast<int>(month == 12 ? dayNumber(year + 1, 1, 1) - dayNumber(year, 12, 1)
                                        : dayNumber(year, month + 1, 1) - dayNumber(year, month, 1));
}

DateTime checkedDateTime(int64_t days, int64_t ticks) {
    days += floorDivide(ticks, kTicksPerDay);
    ticks -= floorDivide(ticks, kTicksPerDay) * kTicksPerDay;
    if (days < dayNumber(1753, 1, 1) || days > dayNumber(9999, 12, 31))
        throw SqlError(517, 16, 1, "Adding a value to a 'datetime' column caused overflow.", false);
    return DateTime{static_cast<int32_t>(days), static_cast<uint32_t>(ticks)};
}

DateTime addMonths(int64_t months, const DateTime& value) {
    Parts p = partsOf(value);
    int64_t index = p.year * 12LL + (p.month - 1) + months;
    int64_t year = floorDivide(index, 12);
    if (year < 1753 || year > 9999)
        throw SqlError(517, 16, 1, "Adding a value to a 'datetime' column caused overflow.", false);
    int month = static_cast<int>(index - year * 12) + 1;
    int day = std::min(p.day, daysInMonth(static_cast<int>(year), month));
    return checkedDateTime(dayNumber(static_cast<int>(year), month, day), value.ticks);
}

}  // namespace

int datePart(DatePart part, const DateTime& value) {
    Parts p = partsOf(value);
    switch (part) {
        case DatePart::Year: return p.year;
        case DatePart::Quarter: return (p.month - 1) / 3 + 1;
        case DatePart::Month: return p.month;
        case DatePart::DayOfYear: return static_cast<int>(value.days - dayNumber(p.year, 1, 1) + 1);
        case DatePart::Day: return p.day;
        case DatePart::Week: return static_cast<int>(weekNumber(value.days) - weekNumber(dayNumber(p.year, 1, 1)) + 1);
        case DatePart::Weekday: return static_cast<int>(value.days + 1 - floorDivide(value.days + 1, 7) * 7) + 1;
        case DatePart::Hour: return p.hour;
        case DatePart::Minute: return p.minute;
        case DatePart::Second: return p.second;
        case DatePart::Millisecond: return p.millisecond;
    }
    return 0;
}

std::string dateName(DatePart part, const DateTime& value) {
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    static const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    if (part == DatePart::Month) return kMonths[datePart(part, value) - 1];
    if (part == DatePart::Weekday) return kWeekdays[datePart(part, value) - 1];
    return std::to_string(datePart(part, value));
}

DateTime dateAdd(DatePart part, int64_t amount, const DateTime& value) {
    switch (part) {
        case DatePart::Year: return addMonths(amount * 12, value);
        case DatePart::Quarter: return addMonths(amount * 3, value);
        case DatePart::Month: return addMonths(amount, value);
        case DatePart::DayOfYear: case DatePart::Day: case DatePart::Weekday:
            return checkedDateTime(value.days + amount, value.ticks);
        case DatePart::Week: return checkedDateTime(value.days + 7 * amount, value.ticks);
        case DatePart::Hour: return checkedDateTime(value.days, value.ticks + amount * 3600 * kTicksPerSecond);
        case DatePart::Minute: return checkedDateTime(value.days, value.ticks + amount * 60 * kTicksPerSecond);
        case DatePart::Second: return checkedDateTime(value.days, value.ticks + amount * kTicksPerSecond);
        case DatePart::Millisecond: {
            // Milliseconds land on the nearest 1/300-second tick (.000, .003, .007), as stored.
            int64_t total = millisecondsOf(value) + amount;
            int64_t days = floorDivide(total, kMillisecondsPerDay);
            int64_t milliseconds = total - days * kMillisecondsPerDay;
            return checkedDateTime(days, (milliseconds * kTicksPerSecond + 500) / 1000);
        }
    }
    return value;
}

int64_t dateDiff(DatePart part, const DateTime& start, const DateTime& end) {
    Parts a = partsOf(start), b = partsOf(end);
    auto hours = [](const DateTime& v, const Parts& p) { return v.days * 24LL + p.hour; };
    auto minutes = [&](const DateTime& v, const Parts& p) { return hours(v, p) * 60 + p.minute; };
    auto seconds = [&](const DateTime& v, const Parts& p) { return minutes(v, p) * 60 + p.second; };
    int64_t difference = 0;
    switch (part) {
        case DatePart::Year: difference = b.year - a.year; break;
        case DatePart::Quarter: difference = (b.year * 4LL + (b.month - 1) / 3) - (a.year * 4LL + (a.month - 1) / 3); break;
        case DatePart::Month: difference = (b.year * 12LL + b.month) - (a.year * 12LL + a.month); break;
        case DatePart::DayOfYear: case DatePart::Day: case DatePart::Weekday:
            difference = static_cast<int64_t>(end.days) - start.days;
            break;
        case DatePart::Week: difference = weekNumber(end.days) - weekNumber(start.days); break;
        case DatePart::Hour: difference = hours(end, b) - hours(start, a); break;
        case DatePart::Minute: difference = minutes(end, b) - minutes(start, a); break;
        case DatePart::Second: difference = seconds(end, b) - seconds(start, a); break;
        case DatePart::Millisecond: difference = millisecondsOf(end) - millisecondsOf(start); break;
    }
    if (difference < std::numeric_limits<int32_t>::min() || difference > std::numeric_limits<int32_t>::max())
        throw SqlError(535, 16, 1, "Difference of two datetime columns caused overflow at runtime.", false);
    return difference;
}

}  // namespace sandbox
