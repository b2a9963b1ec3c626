#include "sim/hub_file_calibrate.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace sim {

namespace {

bool Fail(std::string& error, const std::string& message)
{
    error = message;
    return false;
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

// A data byte: one or two hex digits, with or without 0x.
bool ParseHexByte(const std::string& text, std::uint8_t& value)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    std::uint64_t v = 0;
    if (digits.empty() || digits.size() > 2 || !ParseNumber("0x" + digits, 0xFF, v)) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

struct CalibratedSensor {
    const char* name;
    std::uint8_t id;
};

constexpr CalibratedSensor kCalibratedSensors[] = {
    {"acc1", SensorIdAcc1},       {"acc2", SensorIdAcc2},       {"gyro", SensorIdGyro},
    {"compass", SensorIdCompass}, {"psensor", SensorIdPSensor}, {"psensor-threshold", SensorIdPSensorThreshold},
    {"custom2", SensorIdCustom2},
};

// calibrate NAME|ID [busy=N,...] [status=B,...] [reply=B0,...,B12]
//           [average=N] [length=N] [after=X,Y,Z ...] [attempt-ms=N]
bool CalibrateDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "calibrate: a sensor is needed");
    const std::string& name = words[1].text;
    int id = -1;
    for (const CalibratedSensor& s : kCalibratedSensors)
        if (name == s.name) id = s.id;
    std::uint64_t number = 0;
    if (id < 0 && ParseNumber(name, 0xFF, number)) id = static_cast<int>(number);
    if (id < 0) return Fail(error, "calibrate: unknown sensor '" + name + "'");
    SimHub::Calibration& c = context.hub->calibrations[static_cast<std::uint8_t>(id)];
    bool afterGiven = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitKeyValue(words[i].text, key, value))
            return Fail(error, "calibrate: unknown word '" + words[i].text + "'");
        const std::string bad = "calibrate " + name + ": bad " + key + " '" + value + "'";
        const std::vector<std::string> parts = SplitCommas(value);
        if (key == "busy") {
            c.busyFetches.clear();
            for (const std::string& p : parts) {
                if (!ParseNumber(p, 1000, number)) return Fail(error, bad);
                c.busyFetches.push_back(static_cast<int>(number));
            }
        } else if (key == "status") {
            c.status.clear();
            for (const std::string& p : parts) {
                std::uint8_t byte = 0;
                if (!ParseHexByte(p, byte)) return Fail(error, bad);
                c.status.push_back(byte);
            }
        } else if (key == "reply") {
            if (parts.size() != 13) return Fail(error, bad + " (13 hex bytes)");
            c.reply.clear();
            for (const std::string& p : parts) {
                std::uint8_t byte = 0;
                if (!ParseHexByte(p, byte)) return Fail(error, bad);
                c.reply.push_back(byte);
            }
        } else if (key == "average") {
            if (!ParseNumber(value, 0xFFFFFF, number)) return Fail(error, bad);
            c.average = static_cast<int>(number);
        } else if (key == "length") {
            if (!ParseNumber(value, 17, number) || number == 0) return Fail(error, bad + " (1 to 17)");
            c.replyLength = static_cast<int>(number);
        } else if (key == "after") {
            std::array<double, 3> v{};
            if (parts.size() != 3) return Fail(error, bad);
            for (std::size_t j = 0; j < 3; ++j)
                if (!ParseReal(parts[j], v[j])) return Fail(error, bad);
            if (!afterGiven) c.after.clear();
            afterGiven = true;
            c.after.push_back(v);
        } else if (key == "attempt-ms") {
            if (!ParseNumber(value, 0xFFFFFFFF, number)) return Fail(error, bad);
            c.attemptMs = static_cast<std::uint32_t>(number);
        } else {
            return Fail(error, "calibrate " + name + ": unknown setting '" + key + "'");
        }
    }
    return true;
}

}  // namespace

void AddCalibrateDirectives(std::map<std::string, HubFileDirective>& table)
{
    table["calibrate"] = &CalibrateDirective;
}

}  // namespace sim
