#include "sim/hub_file_words.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sim {

bool Fail(std::string& error, const std::string& message)
{
    error = message;
    return false;
}

bool SplitSetting(const HubFileWord& word, const std::string& directive, std::string& key, std::string& value,
                  std::string& error)
{
    if (!SplitKeyValue(word.text, key, value)) return Fail(error, directive + ": unknown word '" + word.text + "'");
    return true;
}

bool UnknownSetting(std::string& error, const std::string& directive, const std::string& key)
{
    return Fail(error, directive + ": unknown setting '" + key + "'");
}

std::string BadSetting(const std::string& directive, const std::string& key, const std::string& value)
{
    return directive + ": bad " + key + " '" + value + "'";
}

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == ',') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    return parts;
}

bool ParseSigned(const std::string& text, std::int64_t min, std::int64_t max, std::int64_t& value)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = (negative || (!text.empty() && text[0] == '+')) ? text.substr(1) : text;
    std::uint64_t magnitude = 0;
    if (!ParseNumber(digits, 0x100000000ull, magnitude)) return false;
    const std::int64_t v = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (v < min || v > max) return false;
    value = v;
    return true;
}

bool ParseReal(const std::string& text, double& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool ParseHexByte(const std::string& text, std::uint8_t& value)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    std::uint64_t v = 0;
    if (digits.empty() || digits.size() > 2 || !ParseNumber("0x" + digits, 0xFF, v)) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

bool ParseNumberList(const std::string& text, std::uint64_t max, std::vector<std::uint64_t>& values)
{
    values.clear();
    for (const std::string& part : SplitCommas(text)) {
        std::uint64_t v = 0;
        if (!ParseNumber(part, max, v)) return false;
        values.push_back(v);
    }
    return true;
}

bool ParseHexByteList(const std::string& text, std::vector<std::uint8_t>& values)
{
    values.clear();
    for (const std::string& part : SplitCommas(text)) {
        std::uint8_t v = 0;
        if (!ParseHexByte(part, v)) return false;
        values.push_back(v);
    }
    return true;
}

bool ParseSignedList(const std::string& text, std::size_t count, std::int64_t min, std::int64_t max,
                     std::vector<std::int64_t>& values)
{
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != count) return false;
    values.clear();
    for (const std::string& part : parts) {
        std::int64_t v = 0;
        if (!ParseSigned(part, min, max, v)) return false;
        values.push_back(v);
    }
    return true;
}

bool ParseRealList(const std::string& text, std::size_t count, std::vector<double>& values)
{
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != count) return false;
    values.clear();
    for (const std::string& part : parts) {
        double v = 0;
        if (!ParseReal(part, v)) return false;
        values.push_back(v);
    }
    return true;
}

}  // namespace sim
