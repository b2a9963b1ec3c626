#include "sim/hub_file_save.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

bool Fail(std::string& error, const std::string& message)
{
    error = message;
    return false;
}

// A count of save requests: a number, or "always".
bool ParseCount(const std::string& text, int& count)
{
    if (text == "always") {
        count = -1;
        return true;
    }
    std::uint64_t n = 0;
    if (!ParseNumber(text, 0x7FFFFFFF, n)) return false;
    count = static_cast<int>(n);
    return true;
}

bool ParseByte(const std::string& text, std::uint8_t& value)
{
    std::uint64_t n = 0;
    if (!ParseNumber(text, 0xFF, n)) return false;
    value = static_cast<std::uint8_t>(n);
    return true;
}

bool ParseSignedCount(const std::string& text, std::int16_t& value)
{
    const bool negative = !text.empty() && text[0] == '-';
    std::uint64_t n = 0;
    if (!ParseNumber(negative ? text.substr(1) : text, 32768, n)) return false;
    const std::int64_t v = negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
    if (v > 32767) return false;
    value = static_cast<std::int16_t>(v);
    return true;
}

bool ParseDegrees(const std::string& text, std::int16_t& counts)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double degrees = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(degrees)) return false;
    const double rounded = std::round(degrees / 0.2238);
    if (rounded < -32768.0 || rounded > 32767.0) return false;
    counts = static_cast<std::int16_t>(rounded);
    return true;
}

// save [silent=N|always] [stale=N|always] [other=N|always] [bytes=B1,B2]
//      [eflash=ADDR] [ram=ADDR] [length=N] [recheck-angle=DEG] [recheck-angle-counts=N]
bool SaveDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    // The other answer starts as the area that param-area gave.
    hub.saveOtherEFlashAddr = hub.paramEFlashAddr;
    hub.saveOtherBufferAddr = hub.paramBufferAddr;
    hub.saveOtherLength = hub.paramLength;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitKeyValue(words[i].text, key, value)) return Fail(error, "save: unknown word '" + words[i].text + "'");
        std::uint64_t number = 0;
        const std::string bad = "save: bad " + key + " '" + value + "'";
        if (key == "silent" || key == "stale" || key == "other") {
            int count = 0;
            if (!ParseCount(value, count)) return Fail(error, bad + " (a number or always)");
            (key == "silent" ? hub.saveSilent : key == "stale" ? hub.saveStale : hub.saveOther) = count;
        } else if (key == "bytes") {
            const std::size_t comma = value.find(',');
            if (comma == std::string::npos || !ParseByte(value.substr(0, comma), hub.saveOtherBytes[0]) ||
                !ParseByte(value.substr(comma + 1), hub.saveOtherBytes[1]))
                return Fail(error, bad + " (B1,B2)");
        } else if (key == "eflash" || key == "ram") {
            if (!ParseNumber(value, 0xFFFFFF, number)) return Fail(error, bad);
            (key == "eflash" ? hub.saveOtherEFlashAddr : hub.saveOtherBufferAddr) = static_cast<std::uint32_t>(number);
        } else if (key == "length") {
            if (!ParseNumber(value, 0xFFFF, number)) return Fail(error, bad);
            hub.saveOtherLength = static_cast<std::uint16_t>(number);
        } else if (key == "recheck-angle") {
            if (!ParseDegrees(value, hub.recheckAngleCounts)) return Fail(error, bad);
            hub.hasRecheckAngle = true;
        } else if (key == "recheck-angle-counts") {
            if (!ParseSignedCount(value, hub.recheckAngleCounts)) return Fail(error, bad);
            hub.hasRecheckAngle = true;
        } else {
            return Fail(error, "save: unknown setting '" + key + "'");
        }
    }
    return true;
}

}  // namespace

void AddSaveDirectives(std::map<std::string, HubFileDirective>& table)
{
    table["save"] = &SaveDirective;
}

}  // namespace sim
