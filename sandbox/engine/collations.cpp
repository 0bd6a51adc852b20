#include "engine/collations.hpp"

#include "engine/storage.hpp"
#include "types/text.hpp"

#include <array>

namespace sandbox {
namespace {

// Windows collation designators with their locale ids. The catalogue number of a collation
// carries the designator's number in its low bits: SQL Server 2000 numbers Latin1_General 8 and
// Chinese_PRC 36; the other numbers are the sandbox's own.
struct Designator {
    const char* name;
    int lcid;
    int number;
};

constexpr Designator kDesignators[] = {
    {"Albanian", 0x41C, 60},           {"Arabic", 0x401, 61},
    {"Chinese_PRC", 0x804, 36},        {"Chinese_PRC_Stroke", 0x20804, 37},
    {"Chinese_Taiwan_Bopomofo", 0x30404, 38}, {"Chinese_Taiwan_Stroke", 0x404, 39},
    {"Croatian", 0x41A, 62},           {"Cyrillic_General", 0x419, 63},
    {"Czech", 0x405, 64},              {"Danish_Norwegian", 0x406, 65},
    {"Estonian", 0x425, 66},           {"Finnish_Swedish", 0x40B, 67},
    {"French", 0x40C, 68},             {"German_PhoneBook", 0x10407, 69},
    {"Greek", 0x408, 70},              {"Hebrew", 0x40D, 71},
    {"Hungarian", 0x40E, 72},          {"Icelandic", 0x40F, 73},
    {"Japanese", 0x411, 74},           {"Korean_Wansung", 0x412, 75},
    {"Latin1_General", 0x409, 8},      {"Latvian", 0x426, 76},
    {"Lithuanian", 0x427, 77},         {"Modern_Spanish", 0xC0A, 78},
    {"Polish", 0x415, 79},             {"Romanian", 0x418, 80},
    {"Slovak", 0x41B, 81},             {"Slovenian", 0x424, 82},
    {"Thai", 0x41E, 83},               {"Traditional_Spanish", 0x40A, 84},
    {"Turkish", 0x41F, 85},            {"Ukrainian", 0x422, 86},
    {"Vietnamese", 0x42A, 87},
};

// Comparison flags of a collation, as TDS carries them.
enum Flags : int { kIgnoreCase = 0x1, kIgnoreAccent = 0x2, kIgnoreKana = 0x4, kIgnoreWidth = 0x8, kBinary = 0x10 };

// SQL collations: sort order ids of SQL Server 2000's most used ones, all on code page 1252.
struct SqlCollation {
    const char* name;
    int sortId;
    int flags;
};

constexpr SqlCollation kSqlCollations[] = {
    {"SQL_Latin1_General_CP1_CI_AS", 52, kIgnoreCase | kIgnoreKana | kIgnoreWidth},
    {"SQL_Latin1_General_CP1_CS_AS", 51, kIgnoreKana | kIgnoreWidth},
    {"SQL_Latin1_General_Pref_CP1_CI_AS", 53, kIgnoreCase | kIgnoreKana | kIgnoreWidth},
    {"SQL_Latin1_General_CP1_CI_AI", 54, kIgnoreCase | kIgnoreAccent | kIgnoreKana | kIgnoreWidth},
    {"SQL_Latin1_General_CP850_BIN", 40, kBinary},
    {"SQL_Latin1_General_CP437_BIN", 30, kBinary},
};

Collation make(std::string name, int lcid, int flags, int sortId, int number) {
    Collation c;
    c.name = std::move(name);
    c.id = (sortId << 24) | (flags << 12) | number;
    uint32_t info = static_cast<uint32_t>(lcid) | (static_cast<uint32_t>(flags) << 20);
    c.tds = {static_cast<uint8_t>(info), static_cast<uint8_t>(info >> 8), static_cast<uint8_t>(info >> 16),
             static_cast<uint8_t>(info >> 24), static_cast<uint8_t>(sortId)};
    return c;
}

// The comparison style after a designator: _BIN, or _CI|_CS then _AI|_AS, then optional _KS, _WS.
std::optional<int> styleFlags(std::string_view style) {
    if (equalsIgnoreCase(style, "_BIN")) return kBinary;
    if (style.size() < 6) return std::nullopt;
    int flags = kIgnoreKana | kIgnoreWidth;
    std::string_view caseSense = style.substr(0, 3), accent = style.substr(3, 3), rest = style.substr(6);
    if (equalsIgnoreCase(caseSense, "_CI")) flags |= kIgnoreCase;
    else if (!equalsIgnoreCase(caseSense, "_CS")) return std::nullopt;
    if (equalsIgnoreCase(accent, "_AI")) flags |= kIgnoreAccent;
    else if (!equalsIgnoreCase(accent, "_AS")) return std::nullopt;
    if (rest.size() >= 3 && equalsIgnoreCase(rest.substr(0, 3), "_KS")) { flags &= ~kIgnoreKana; rest = rest.substr(3); }
    if (rest.size() >= 3 && equalsIgnoreCase(rest.substr(0, 3), "_WS")) { flags &= ~kIgnoreWidth; rest = rest.substr(3); }
    return rest.empty() ? std::optional<int>(flags) : std::nullopt;
}

}  // namespace

std::optional<Collation> findCollation(std::string_view name) {
    for (const SqlCollation& c : kSqlCollations)
        if (equalsIgnoreCase(name, c.name)) return make(c.name, 0x409, c.flags, c.sortId, 8);
    // The longest designator that begins the name (Chinese_PRC_Stroke before Chinese_PRC).
    const Designator* best = nullptr;
    for (const Designator& d : kDesignators) {
        std::string_view designator = d.name;
        if (name.size() > designator.size() && equalsIgnoreCase(name.substr(0, designator.size()), designator) &&
            (!best || designator.size() > std::string_view(best->name).size()))
            if (styleFlags(name.substr(designator.size()))) best = &d;
    }
    if (!best) return std::nullopt;
    std::string_view style = name.substr(std::string_view(best->name).size());
    std::string spelled = std::string(best->name) + toUpper(std::string(style));
    return make(spelled, best->lcid, *styleFlags(style), 0, best->number);
}

const Collation& databaseCollation() {
    static const Collation collation = *findCollation(kDatabaseCollation);
    return collation;
}

}  // namespace sandbox
