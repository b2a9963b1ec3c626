#include "common/number_syntax.h"

#include <cstddef>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Hexadecimal digits up to the end of text; at least one, at most eight
// significant ones.
bool ParseHexDigits(const char* p, std::uint32_t& value)
{
    if (*p == '\0') return false;
    std::uint32_t v = 0;
    int significant = 0;
    for (; *p != '\0'; ++p) {
        const int d = HexDigit(*p);
        if (d < 0) return false;
        if (significant > 0 || d != 0) ++significant;
        if (significant > 8) return false;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    value = v;
    return true;
}

}  // namespace

bool ParseOptionNumber(const char* text, std::int32_t& value)
{
    const char* p = text;
    while (*p == ' ') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    const char* hex = nullptr;
    if (*p == '$' || *p == 'X')
        hex = p + 1;
    else if (p[0] == '0' && p[1] == 'X')
        hex = p + 2;
    if (hex != nullptr) {
        std::uint32_t bits = 0;
        if (!ParseHexDigits(hex, bits)) return false;
        if (negative) bits = 0u - bits;
        value = static_cast<std::int32_t>(bits);
        return true;
    }
    if (*p == '\0') return false;
    std::int64_t v = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ParseHexParameter(const char* text, std::uint32_t& value)
{
    return ParseHexDigits(text, value);
}

bool IsParameterKeyword(const char* text)
{
    static const char kKeyword[] = "parameter";
    std::size_t i = 0;
    for (; text[i] != '\0' && i < sizeof kKeyword - 1; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kKeyword[i]) return false;
    }
    return i == sizeof kKeyword - 1 && text[i] == '\0';
}
