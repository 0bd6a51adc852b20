#include "types/text.hpp"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

namespace sandbox {
namespace {

// One iconv descriptor per thread and direction: opening them is costly and they keep state.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (handle_ != reinterpret_cast<iconv_t>(-1)) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts, replacing each unconvertible input unit (of `unit` bytes) with `replacement`.
    std::string run(const char* data, size_t size, size_t unit, std::string_view replacement) {
        std::string out;
        out.reserve(size * 2 + 8);
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char buffer[4096];
        auto* in = const_cast<char*>(data);
        size_t inLeft = size;
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
            out.append(replacement);  // EILSEQ or EINVAL: skip one unit
            size_t skip = std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
        }
        return out;
    }

private:
    iconv_t handle_;
};

Converter& converter(int which) {
    thread_local Converter toUtf16("UTF-16LE", "UTF-8");
    thread_local Converter fromUtf16("UTF-8", "UTF-16LE");
    thread_local Converter toGbk("CP936", "UTF-8");
    thread_local Converter fromGbk("UTF-8", "CP936");
    switch (which) {
        case 0: return toUtf16;
        case 1: return fromUtf16;
        case 2: return toGbk;
        default: return fromGbk;
    }
}

Bytes asBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool isAsciiOnly(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char lowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string toLower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

std::string toUpper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return out;
}

std::string_view trimRightBlanks(std::string_view text) {
    size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

namespace {

int compareFolded(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(lowerAscii(a[i]));
        auto y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int compareCollated(std::string_view a, std::string_view b) {
    a = trimRightBlanks(a);
    b = trimRightBlanks(b);
    if (isAsciiOnly(a) && isAsciiOnly(b)) return compareFolded(a, b);
    // Chinese text compares in code page 936 order, which puts the common characters (GB2312
    // level 1) in pinyin order, as Chinese_PRC collations sort them.
    Bytes x = utf8ToCp936(a), y = utf8ToCp936(b);
    return compareFolded(std::string_view(reinterpret_cast<const char*>(x.data()), x.size()),
                         std::string_view(reinterpret_cast<const char*>(y.data()), y.size()));
}

Bytes utf8ToUtf16le(std::string_view utf8) {
    if (isAsciiOnly(utf8)) {  // the common case, without iconv
        Bytes out(utf8.size() * 2, 0);
        for (size_t i = 0; i < utf8.size(); ++i) out[2 * i] = static_cast<uint8_t>(utf8[i]);
        return out;
    }
    return asBytes(converter(0).run(utf8.data(), utf8.size(), 1, std::string("?\0", 2)));
}

std::string utf16leToUtf8(const uint8_t* data, size_t size) {
    size &= ~size_t{1};
    return converter(1).run(reinterpret_cast<const char*>(data), size, 2, "?");
}

Bytes utf8ToCp936(std::string_view utf8) {
    if (isAsciiOnly(utf8)) return Bytes(utf8.begin(), utf8.end());
    return asBytes(converter(2).run(utf8.data(), utf8.size(), 1, "?"));
}

std::string cp936ToUtf8(const uint8_t* data, size_t size) {
    return converter(3).run(reinterpret_cast<const char*>(data), size, 1, "?");
}

size_t characterCount(std::string_view utf8) {
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string utf8Substring(std::string_view utf8, size_t firstChar, size_t count) {
    size_t index = 0, begin = utf8.size(), end = utf8.size();
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
        if (index == firstChar) begin = i;
        if (index == firstChar + count) { end = i; break; }
        ++index;
    }
    return begin >= end ? std::string{} : std::string(utf8.substr(begin, end - begin));
}

}  // namespace sandbox
