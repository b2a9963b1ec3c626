#include "sim/hub_file_save.h"

#include <vector>

#include "sim/hub_file_words.h"

namespace sim {

namespace {

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

// A signed count; unlike the sensor directive's counts, without a leading "+".
bool ParseSignedCount(const std::string& text, std::int16_t& value)
{
    std::int64_t v = 0;
    if ((!text.empty() && text[0] == '+') || !ParseSigned(text, -32768, 32767, v)) return false;
    value = static_cast<std::int16_t>(v);
    return true;
}

// Degrees as the counts of the lid angle; false beyond them.
bool ParseDegrees(const std::string& text, std::int16_t& counts)
{
    double degrees = 0;
    return ParseReal(text, degrees) && SimHub::AngleCount(degrees, counts);
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
        if (!SplitSetting(words[i], "save", key, value, error)) return false;
        std::uint64_t number = 0;
        const std::string bad = BadSetting("save", key, value);
        if (key == "silent" || key == "stale" || key == "other") {
            int count = 0;
            if (!ParseCount(value, count)) return Fail(error, bad + " (a number or always)");
            (key == "silent" ? hub.saveSilent : key == "stale" ? hub.saveStale : hub.saveOther) = count;
        } else if (key == "bytes") {
            std::vector<std::uint64_t> bytes;
            if (!ParseNumberList(value, 0xFF, bytes) || bytes.size() != 2) return Fail(error, bad + " (B1,B2)");
            hub.saveOtherBytes = {static_cast<std::uint8_t>(bytes[0]), static_cast<std::uint8_t>(bytes[1])};
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
            return UnknownSetting(error, "save", key);
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
