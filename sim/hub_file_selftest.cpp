#include "sim/hub_file_selftest.h"

#include "sim/hub_file_words.h"

namespace sim {

namespace {

struct MotionSensor {
    const char* name;
    std::uint8_t id;
};

constexpr MotionSensor kMotionSensors[] = {
    {"acc1", SensorIdAcc1}, {"gyro", SensorIdGyro}, {"compass", SensorIdCompass}, {"acc2", SensorIdAcc2}};

// self-test NAME [busy=N|always] [status=WORD] [echo=ok|command|sensor]
bool SelfTestDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "self-test: a sensor name is needed");
    const MotionSensor* sensor = nullptr;
    for (const MotionSensor& s : kMotionSensors)
        if (words[1].text == s.name) sensor = &s;
    if (sensor == nullptr)
        return Fail(error, "self-test: unknown sensor '" + words[1].text + "' (acc1, gyro, compass, acc2)");
    SimHub::SelfTestBehaviour behaviour;
    for (std::size_t i = 2; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "self-test", key, value, error)) return false;
        const std::string bad = BadSetting("self-test " + std::string(sensor->name), key, value);
        std::uint64_t number = 0;
        if (key == "busy") {
            if (value == "always") {
                behaviour.busyFetches = -1;
            } else {
                if (!ParseNumber(value, 0x7FFFFFFF, number)) return Fail(error, bad);
                behaviour.busyFetches = static_cast<int>(number);
            }
        } else if (key == "status") {
            if (!ParseNumber(value, 0xFFFFFFFF, number)) return Fail(error, bad);
            behaviour.status = static_cast<std::uint32_t>(number);
        } else if (key == "echo") {
            if (value == "ok")
                behaviour.echo = SimHub::SelfTestEcho::Ok;
            else if (value == "command")
                behaviour.echo = SimHub::SelfTestEcho::Command;
            else if (value == "sensor")
                behaviour.echo = SimHub::SelfTestEcho::Sensor;
            else
                return Fail(error, bad);
        } else {
            return UnknownSetting(error, "self-test " + std::string(sensor->name), key);
        }
    }
    context.hub->selfTests[sensor->id] = behaviour;
    return true;
}

// init-status N
bool InitStatusDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    std::uint64_t number = 0;
    if (words.size() != 2 || !ParseNumber(words[1].text, 0xFF, number))
        return Fail(error, "init-status: one number 0 to 255 is needed");
    context.hub->SetInitStatus(static_cast<std::uint8_t>(number));
    return true;
}

// compass-accuracy N...
bool CompassAccuracyDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "compass-accuracy: at least one value is needed");
    std::vector<std::uint8_t> steps;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::uint64_t number = 0;
        if (!ParseNumber(words[i].text, 0xFF, number))
            return Fail(error, "compass-accuracy: bad value '" + words[i].text + "' (0 to 255)");
        steps.push_back(static_cast<std::uint8_t>(number));
    }
    context.hub->compassAccuracySteps = std::move(steps);
    context.hub->compassAccuracyFetches = 0;
    return true;
}

}  // namespace

void AddSelfTestDirectives(std::map<std::string, HubFileDirective>& table)
{
    table["self-test"] = &SelfTestDirective;
    table["init-status"] = &InitStatusDirective;
    table["compass-accuracy"] = &CompassAccuracyDirective;
}

}  // namespace sim
