#include "sim/hub_file_light.h"

#include <vector>

#include "sim/hub_file_words.h"

namespace sim {

namespace {

constexpr std::uint32_t kPSensorState = 0x0800D5;
constexpr std::uint32_t kPSensorError = 0x0800DD;
constexpr std::uint64_t kMaxCount = 0x7FFFFFFF;

bool ParseGains(const std::string& value, bool& apply)
{
    if (value != "apply" && value != "ignore") return false;
    apply = value == "apply";
    return true;
}

// light-sensor [gains=apply|ignore] [zero-fetches=N]
bool LightSensorDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "light-sensor", key, value, error)) return false;
        const std::string bad = BadSetting("light-sensor", key, value);
        std::uint64_t n = 0;
        if (key == "gains") {
            if (!ParseGains(value, hub.lightGainsApply)) return Fail(error, bad + " (apply or ignore)");
        } else if (key == "zero-fetches") {
            if (!ParseNumber(value, kMaxCount, n)) return Fail(error, bad);
            hub.lightZeroFetches = static_cast<int>(n);
        } else {
            return UnknownSetting(error, "light-sensor", key);
        }
    }
    return true;
}

// colour-sensor [gains=apply|ignore] [zero-fetches=N|R,G,B]
bool ColorSensorDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    const std::string name = words[0].text;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], name, key, value, error)) return false;
        const std::string bad = BadSetting(name, key, value);
        std::vector<std::uint64_t> counts;
        if (key == "gains") {
            if (!ParseGains(value, hub.colorGainsApply)) return Fail(error, bad + " (apply or ignore)");
        } else if (key == "zero-fetches") {
            if (!ParseNumberList(value, kMaxCount, counts) || (counts.size() != 1 && counts.size() != 3))
                return Fail(error, bad + " (N or R,G,B)");
            for (std::size_t c = 0; c < 3; ++c)
                hub.colorZeroFetches[c] = static_cast<int>(counts[counts.size() == 1 ? 0 : c]);
        } else {
            return UnknownSetting(error, name, key);
        }
    }
    return true;
}

// psensor [state=BYTE] [error=BYTE] [data=A,B] [zero-polls=N]
bool PSensorDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "psensor", key, value, error)) return false;
        const std::string bad = BadSetting("psensor", key, value);
        std::uint8_t byte = 0;
        std::uint64_t n = 0;
        std::vector<std::uint64_t> data;
        if (key == "state" || key == "error") {
            if (!ParseHexByte(value, byte)) return Fail(error, bad + " (a hex byte)");
            hub.Poke(key == "state" ? kPSensorState : kPSensorError, byte);
        } else if (key == "data") {
            if (!ParseNumberList(value, 0xFFFF, data) || data.size() != 2) return Fail(error, bad + " (A,B)");
            hub.pSensorData = {static_cast<std::uint16_t>(data[0]), static_cast<std::uint16_t>(data[1])};
            if (hub.pSensorZeroReads < 0) hub.pSensorZeroReads = 0;
        } else if (key == "zero-polls") {
            if (!ParseNumber(value, kMaxCount, n)) return Fail(error, bad);
            hub.pSensorZeroReads = static_cast<int>(n);
        } else {
            return UnknownSetting(error, "psensor", key);
        }
    }
    return true;
}

}  // namespace

void AddLightDirectives(std::map<std::string, HubFileDirective>& table)
{
    table["light-sensor"] = &LightSensorDirective;
    table["colour-sensor"] = &ColorSensorDirective;
    table["color-sensor"] = &ColorSensorDirective;
    table["psensor"] = &PSensorDirective;
}

}  // namespace sim
