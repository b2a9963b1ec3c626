#include "sim/hub_file_link.h"

#include <vector>

#include "sim/hub_file_words.h"

namespace sim {

namespace {

std::vector<std::uint8_t> LittleEndian16(const std::vector<std::int64_t>& words)
{
    std::vector<std::uint8_t> bytes;
    for (std::int64_t w : words) {
        const auto u = static_cast<std::uint16_t>(w);
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFFu));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

// param-area eflash=ADDR ram=ADDR length=N [confirm=yes|no]
bool ParamAreaDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "param-area", key, value, error)) return false;
        std::uint64_t number = 0;
        bool flag = false;
        if (key == "eflash" || key == "ram") {
            if (!ParseNumber(value, 0xFFFFFF, number))
                return Fail(error, "param-area: bad " + key + " '" + value + "'");
            (key == "eflash" ? hub.paramEFlashAddr : hub.paramBufferAddr) = static_cast<std::uint32_t>(number);
        } else if (key == "length") {
            if (!ParseNumber(value, 0xFFFF, number)) return Fail(error, "param-area: bad length '" + value + "'");
            hub.paramLength = static_cast<std::uint16_t>(number);
        } else if (key == "confirm") {
            if (!ParseSwitch(value, flag)) return Fail(error, "param-area: bad confirm '" + value + "'");
            hub.paramQueryConfirms = flag;
        } else {
            return UnknownSetting(error, "param-area", key);
        }
    }
    return true;
}

// ext of one copy as the hub model holds it now.
std::uint32_t CopyExt(const SimHub& hub, std::uint32_t base)
{
    const std::uint8_t s0 = hub.Peek(base + 24);
    const std::uint8_t s1 = hub.Peek(base + 25);
    const bool valid = (s0 == 0x63 && s1 == 0x89) || (s0 == 0x11 && s1 == 0x99) || (s0 == 0x80 && s1 == 0x83);
    if (!valid) return 0;
    return static_cast<std::uint32_t>(hub.Peek(base + 26)) | (static_cast<std::uint32_t>(hub.Peek(base + 27)) << 8);
}

bool Acc2Present(const SimHub& hub)
{
    const std::uint8_t slot = hub.Peek(0x081243 + 4);
    return slot != 0x00 && slot != 0xFF;
}

// param ram|flash|both FIELD ITEM...
bool ParamDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 3) return Fail(error, "param: a copy (ram, flash, both) and a field are needed");
    SimHub& hub = *context.hub;
    const std::string& copy = words[1].text;
    std::vector<bool> copies;
    if (copy == "ram" || copy == "both") copies.push_back(true);
    if (copy == "flash" || copy == "both") copies.push_back(false);
    if (copies.empty()) return Fail(error, "param: unknown copy '" + copy + "' (ram, flash, both)");
    const std::string& field = words[2].text;
    const std::size_t itemCount = words.size() - 3;

    auto items = [&](std::size_t from) {
        std::vector<std::string> texts;
        for (std::size_t i = from; i < words.size(); ++i) texts.push_back(words[i].text);
        return texts;
    };
    auto hexBytes = [&](std::size_t from, std::vector<std::uint8_t>& bytes) {
        for (const std::string& t : items(from)) {
            std::uint8_t b = 0;
            if (!ParseHexByte(t, b)) return Fail(error, "param: bad byte '" + t + "' (two hex digits expected)");
            bytes.push_back(b);
        }
        return true;
    };
    auto words16 = [&](std::size_t count, std::int64_t min, std::int64_t max, std::vector<std::uint8_t>& bytes) {
        if (itemCount != count)
            return Fail(error, "param " + field + ": " + std::to_string(count) + " values are needed");
        std::vector<std::int64_t> values;
        for (const std::string& t : items(3)) {
            std::int64_t v = 0;
            if (!ParseSigned(t, min, max, v)) return Fail(error, "param " + field + ": bad value '" + t + "'");
            values.push_back(v);
        }
        bytes = LittleEndian16(values);
        return true;
    };

    for (bool ram : copies) {
        const std::uint32_t base = ram ? hub.paramBufferAddr : hub.paramEFlashAddr;
        const std::uint32_t ext = CopyExt(hub, base);
        std::uint32_t offset = 0;
        std::vector<std::uint8_t> bytes;
        if (field == "bytes") {
            std::uint64_t at = 0;
            if (itemCount < 2 || !ParseNumber(words[3].text, 0xFFFF, at))
                return Fail(error, "param bytes: an offset (0 to 0xFFFF) and at least one byte are needed");
            offset = static_cast<std::uint32_t>(at);
            if (!hexBytes(4, bytes)) return false;
        } else if (field == "signature") {
            if (itemCount != 2) return Fail(error, "param signature: two bytes are needed");
            offset = 24;
            if (!hexBytes(3, bytes)) return false;
        } else if (field == "ext") {
            offset = 26;
            if (!words16(1, 0, 0xFFFF, bytes)) return false;
        } else if (field == "acc1-flag" || field == "acc2-flag") {
            if (itemCount != 1) return Fail(error, "param " + field + ": one byte is needed");
            offset = field == "acc1-flag" ? 11 : 25 + ext;
            if (!hexBytes(3, bytes)) return false;
        } else if (field == "light-gain") {
            offset = 4;
            if (!words16(2, 0, 0xFFFF, bytes)) return false;
        } else {
            static const std::map<std::string, std::uint32_t> triples = {
                {"acc1-bias", 12}, {"gyro-bias", 18}, {"acc2-bias", 26},
                {"acc2-gain", 32}, {"acc1-gain", 38}, {"compass-bias", 0},
            };
            auto it = triples.find(field);
            if (it == triples.end()) return Fail(error, "param: unknown field '" + field + "'");
            offset = it->second;
            if (field == "acc2-bias" || field == "acc2-gain") offset += ext;
            if (field == "compass-bias") offset = Acc2Present(hub) ? 52 : 28;
            if (!words16(3, -32768, 32767, bytes)) return false;
        }
        if (std::uint64_t{base} + offset + bytes.size() > 0x1000000)
            return Fail(error, "param: the bytes run past 0xFFFFFF");
        hub.PokeParam(ram, offset, bytes);
    }
    return true;
}

struct SensorName {
    const char* name;
    int slot;            // presence-byte slot, -1 for none
    std::uint8_t id;     // SensorId of its report and status entry
    bool statusDefault;  // listed in the status list unless told otherwise
};

constexpr SensorName kSensors[] = {
    {"acc1", 0, SensorIdAcc1, true},          {"acc2", 1, SensorIdAcc2, true},
    {"light", 2, SensorIdAmbientLight, true}, {"compass", 3, SensorIdCompass, true},
    {"gyro", 4, SensorIdGyro, true},          {"colour", -1, SensorIdColor, true},
    {"color", -1, SensorIdColor, true},       {"custom2", -1, SensorIdCustom2, false},
};

// sensor NAME [present=yes|no] [slot=BYTE] [value=X,Y,Z] [counts=X,Y,Z]
//        [angle=DEG] [angle-counts=N] [lux=N] [rgb=R,G,B] [accuracy=N]
//        [values=A,B,C] [status=ok|fail|none]
bool SensorDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "sensor: a name is needed");
    const SensorName* sensor = nullptr;
    for (const SensorName& s : kSensors)
        if (words[1].text == s.name) sensor = &s;
    if (sensor == nullptr) return Fail(error, "sensor: unknown sensor '" + words[1].text + "'");
    SimHub& hub = *context.hub;
    const std::string name = sensor->name;
    const bool axes = sensor->id == SensorIdAcc1 || sensor->id == SensorIdAcc2 || sensor->id == SensorIdGyro ||
                      sensor->id == SensorIdCompass;
    bool present = true;
    int slotByte = -1;
    std::string status;
    for (std::size_t i = 2; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "sensor", key, value, error)) return false;
        const std::string bad = BadSetting("sensor " + name, key, value);
        std::vector<std::int64_t> ints;
        std::vector<double> reals;
        std::int64_t n = 0;
        double real = 0;
        std::uint8_t byte = 0;
        if (key == "present") {
            if (!ParseSwitch(value, present)) return Fail(error, bad);
        } else if (key == "slot" && sensor->slot >= 0) {
            if (!ParseHexByte(value, byte)) return Fail(error, bad);
            slotByte = byte;
        } else if (key == "value" && axes) {
            // Values beyond the counts are refused, as counts beyond them are.
            std::int16_t c[3] = {};
            if (!ParseRealList(value, 3, reals)) return Fail(error, bad);
            for (std::size_t k = 0; k < 3; ++k)
                if (!SimHub::AxisCount(sensor->id, reals[k], c[k])) return Fail(error, bad);
            hub.SetAxisCounts(sensor->id, c[0], c[1], c[2]);
        } else if (key == "counts" && axes) {
            if (!ParseSignedList(value, 3, -32768, 32767, ints)) return Fail(error, bad);
            hub.SetAxisCounts(sensor->id, static_cast<std::int16_t>(ints[0]), static_cast<std::int16_t>(ints[1]),
                              static_cast<std::int16_t>(ints[2]));
        } else if (key == "angle" && sensor->id == SensorIdAcc2) {
            std::int16_t counts = 0;
            if (!ParseReal(value, real) || !SimHub::AngleCount(real, counts)) return Fail(error, bad);
            hub.SetAngleCounts(counts);
        } else if (key == "angle-counts" && sensor->id == SensorIdAcc2) {
            if (!ParseSigned(value, -32768, 32767, n)) return Fail(error, bad);
            hub.SetAngleCounts(static_cast<std::int16_t>(n));
        } else if (key == "lux" && sensor->id == SensorIdAmbientLight) {
            if (!ParseSigned(value, 0, 0xFFFF, n)) return Fail(error, bad);
            hub.SetLightReading(static_cast<std::uint16_t>(n));
        } else if (key == "rgb" && sensor->id == SensorIdColor) {
            if (!ParseSignedList(value, 3, 0, 0xFFFF, ints)) return Fail(error, bad);
            hub.SetColorValues(static_cast<std::uint16_t>(ints[0]), static_cast<std::uint16_t>(ints[1]),
                               static_cast<std::uint16_t>(ints[2]));
        } else if (key == "accuracy" && sensor->id == SensorIdCompass) {
            if (!ParseSigned(value, 0, 0xFF, n)) return Fail(error, bad);
            hub.SetCompassAccuracy(static_cast<std::uint8_t>(n));
        } else if (key == "values" && sensor->id == SensorIdCustom2) {
            if (!ParseSignedList(value, 3, -2147483647LL - 1, 2147483647LL, ints)) return Fail(error, bad);
            hub.SetCustom2Values(static_cast<std::int32_t>(ints[0]), static_cast<std::int32_t>(ints[1]),
                                 static_cast<std::int32_t>(ints[2]));
        } else if (key == "status") {
            if (value != "ok" && value != "fail" && value != "none") return Fail(error, bad);
            status = value;
        } else {
            return UnknownSetting(error, "sensor " + name, key);
        }
    }
    if (sensor->slot >= 0) {
        hub.SetSlotByte(sensor->slot, slotByte >= 0 ? static_cast<std::uint8_t>(slotByte) : (present ? 1 : 0));
    } else if (sensor->id == SensorIdColor && !present) {
        hub.sensorReports.erase(SensorIdColor);  // the probe reads zeros
    }
    if (status.empty()) status = (present && sensor->statusDefault) ? "ok" : "none";
    if (status != "none") hub.statusList.emplace_back(sensor->id, status == "ok");
    return true;
}

// fusion-variant yes|no
bool FusionVariantDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    bool on = false;
    if (words.size() != 2 || !ParseSwitch(words[1].text, on)) return Fail(error, "fusion-variant: yes or no is needed");
    context.hub->SetFusionVariant(on);
    return true;
}

// status-list [n=N] [mask=M] [entry=ID:ok|fail ...]
bool StatusListDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    SimHub& hub = *context.hub;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "status-list", key, value, error)) return false;
        std::uint64_t number = 0;
        if (key == "n") {
            if (!ParseNumber(value, 0xFF, number)) return Fail(error, "status-list: bad n '" + value + "'");
            hub.statusCount = static_cast<int>(number);
        } else if (key == "mask") {
            if (!ParseNumber(value, 0xFFFF, number)) return Fail(error, "status-list: bad mask '" + value + "'");
            hub.statusMask = static_cast<int>(number);
        } else if (key == "entry") {
            const std::size_t colon = value.find(':');
            const std::string verdict = colon == std::string::npos ? "" : value.substr(colon + 1);
            if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), 0xFF, number) ||
                (verdict != "ok" && verdict != "fail"))
                return Fail(error, "status-list: bad entry '" + value + "' (ID:ok or ID:fail)");
            hub.statusList.emplace_back(static_cast<std::uint8_t>(number), verdict == "ok");
        } else {
            return UnknownSetting(error, "status-list", key);
        }
    }
    return true;
}

}  // namespace

void AddLinkDirectives(std::map<std::string, HubFileDirective>& table)
{
    table["param-area"] = &ParamAreaDirective;
    table["param"] = &ParamDirective;
    table["sensor"] = &SensorDirective;
    table["fusion-variant"] = &FusionVariantDirective;
    table["status-list"] = &StatusListDirective;
}

}  // namespace sim
