#include "sim/hub_file_calibrate.h"

#include <array>
#include <cmath>
#include <vector>

#include "sim/hub_file_words.h"

namespace sim {

namespace {

struct CalibratedSensor {
    const char* name;
    std::uint8_t id;
};

constexpr CalibratedSensor kCalibratedSensors[] = {
    {"acc1", SensorIdAcc1},       {"acc2", SensorIdAcc2},       {"gyro", SensorIdGyro},
    {"compass", SensorIdCompass}, {"psensor", SensorIdPSensor}, {"psensor-threshold", SensorIdPSensorThreshold},
    {"custom2", SensorIdCustom2},
};

// A custom2 value of after=, rounded as the hub model rounds it, fits a
// signed 32-bit value.
bool FitsInt32(double value)
{
    const double rounded = std::round(value);
    return rounded >= -2147483648.0 && rounded <= 2147483647.0;
}

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
        if (!SplitSetting(words[i], "calibrate", key, value, error)) return false;
        const std::string bad = BadSetting("calibrate " + name, key, value);
        if (key == "busy") {
            std::vector<std::uint64_t> fetches;
            if (!ParseNumberList(value, 1000, fetches)) return Fail(error, bad);
            c.busyFetches.clear();
            for (std::uint64_t f : fetches) c.busyFetches.push_back(static_cast<int>(f));
        } else if (key == "status") {
            if (!ParseHexByteList(value, c.status)) return Fail(error, bad);
        } else if (key == "reply") {
            if (SplitCommas(value).size() != 13) return Fail(error, bad + " (13 hex bytes)");
            if (!ParseHexByteList(value, c.reply)) return Fail(error, bad);
        } else if (key == "average") {
            if (!ParseNumber(value, 0xFFFFFF, number)) return Fail(error, bad);
            c.average = static_cast<int>(number);
        } else if (key == "length") {
            if (!ParseNumber(value, 17, number) || number == 0) return Fail(error, bad + " (1 to 17)");
            c.replyLength = static_cast<int>(number);
        } else if (key == "after") {
            std::vector<double> v;
            if (!ParseRealList(value, 3, v)) return Fail(error, bad);
            // As the sensor's own values: each must fit what the hub sends.
            for (double x : v) {
                std::int16_t count = 0;
                const bool fits =
                    id == SensorIdCustom2 ? FitsInt32(x) : SimHub::AxisCount(static_cast<std::uint8_t>(id), x, count);
                if (!fits) return Fail(error, bad);
            }
            if (!afterGiven) c.after.clear();
            afterGiven = true;
            c.after.push_back({v[0], v[1], v[2]});
        } else if (key == "attempt-ms") {
            if (!ParseNumber(value, 0xFFFFFFFF, number)) return Fail(error, bad);
            c.attemptMs = static_cast<std::uint32_t>(number);
        } else {
            return UnknownSetting(error, "calibrate " + name, key);
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
