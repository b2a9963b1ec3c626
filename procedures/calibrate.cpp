#include "procedures/calibrate.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "common/clock.h"
#include "common/number_syntax.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/hub_slot.h"
#include "hub/sensor_values.h"
#include "hub/transport.h"

namespace {

using CaliParamBytes = std::array<std::uint8_t, kCaliParamLength>;

constexpr std::size_t kCaliParamAt = 3;  // report byte of CaliParam byte 0
constexpr std::size_t kCaliStatus = 3;   // CaliParam byte of the status (report byte 6)
constexpr std::uint8_t kPhaseMarker = 0x80;
constexpr std::uint32_t kAfterRequestMs = 600;
constexpr std::uint32_t kAfterBusyMs = 500;
constexpr int kMaxFetches = 20;
constexpr std::uint8_t kMaxAttempts = 10;
constexpr int kMaxCustom2Parameters = 12;

// The Custom Sensor 2 parameters of the command line: the words after
// "parameter" (any case of its letters), at most twelve, each hexadecimal
// without a prefix, its low 8 bits the parameter byte.
struct Custom2Parameters {
    bool keyword = false;
    CaliParamBytes bytes{};  // as sent: parameters 1-3 in bytes 0-2, 4-12 in bytes 4-12
};

Custom2Parameters FindCustom2Parameters()
{
    Custom2Parameters found;
    if (gArgv == nullptr) return found;
    for (int i = 1; i < gArgc; ++i) {
        if (gArgv[i] == nullptr || !IsParameterKeyword(gArgv[i])) continue;
        found.keyword = true;
        for (int n = 0; n < kMaxCustom2Parameters && i + 1 + n < gArgc; ++n) {
            const char* word = gArgv[i + 1 + n];
            std::uint32_t value = 0;
            // The front end refuses a word that is not hexadecimal before the
            // run touches the hub; should one get here, its byte stays 0.
            if (word == nullptr || !ParseHexParameter(word, value)) continue;
            const std::size_t at = n < 3 ? static_cast<std::size_t>(n) : static_cast<std::size_t>(n) + 1;
            found.bytes[at] = static_cast<std::uint8_t>(value & 0xFFu);
        }
        break;
    }
    return found;
}

// The low 24 bits of a setting, low byte first (two's complement when negative).
void Put24(CaliParamBytes& param, std::size_t at, std::int32_t setting)
{
    const auto bits = static_cast<std::uint32_t>(setting);
    for (std::size_t i = 0; i < 3; ++i) param[at + i] = static_cast<std::uint8_t>((bits >> (8 * i)) & 0xFFu);
}

// CaliParam as an attempt begins; sensors not named keep what they have.
void FillCaliParam(CaliParamBytes& param, std::uint8_t sensorId, std::uint8_t phase, const Custom2Parameters& custom2)
{
    if (sensorId == SensorIdCustom2) {
        param = custom2.bytes;
    } else if (sensorId == SensorIdPSensorThreshold) {
        param[0] = phase;
        param[1] = 0;
        param[2] = 0;
        param[3] = 0;
        std::int32_t lower = 0, upper = 0, value = 0;
        switch (phase) {
            case CaliPhaseCrossTalk:
                lower = gPSensorCrossTalkLowerBound;
                upper = gPSensorCrossTalkUpperBound;
                break;
            case CaliPhaseTHDH1:
                lower = gPSensorTHDH1LowerBound;
                upper = gPSensorTHDH1UpperBound;
                break;
            case CaliPhaseTHDHYS:
                lower = gPSensorTHDHYSLowerBound;
                upper = gPSensorTHDHYSUpperBound;
                value = gPSensorTHDHYSValue;
                break;
            case CaliPhaseNewCrossTalk:
                lower = gPSensorNewCrossTalkLowerBound;
                upper = gPSensorNewCrossTalkUpperBound;
                break;
            default:
                return;
        }
        Put24(param, 4, lower);
        Put24(param, 7, upper);
        Put24(param, 10, value);
    } else if (sensorId == SensorIdPSensor) {
        param[0] = static_cast<std::uint8_t>(gPSensorDistance & 0xFF);
        param[1] = static_cast<std::uint8_t>(gPSensorMode & 0xFF);
    }
}

// False when the OS reports the request as failed: the hub never saw it.
bool SendCalibrate(HidHandle handle, std::uint8_t sensorId, const CaliParamBytes& param)
{
    HidReport request = MakeRequest(HidCmdCalibrate, sensorId);
    std::copy(param.begin(), param.end(), request.begin() + kCaliParamAt);
    return SendReport(handle, request);
}

// Fetches until the hub is no longer busy, 20 fetches at most. Each reply
// that answers the request (echoes the command and the sensor) replaces
// CaliParam with its bytes 3-15. When the first fetch brings no answer (it
// fails, or the reply was meant for another request), the hub has shown no
// sign of working on the request: the poll ends there, unanswered, instead of
// waiting on a hub that may be gone as on a busy one. After a busy reply, a
// fetch without an answer leaves CaliParam and counts as a busy fetch: the
// hub is still at work. True when at least one reply answered.
bool PollCalibrate(HidHandle handle, std::uint8_t sensorId, CaliParamBytes& param)
{
    bool answered = false;
    for (int fetch = 0; fetch < kMaxFetches; ++fetch) {
        HidReport reply{};
        reply[0] = HidReportId;
        if (FetchAnswer(handle, reply, HidCmdCalibrate, sensorId)) {
            std::copy(reply.begin() + kCaliParamAt, reply.begin() + kCaliParamAt + kCaliParamLength, param.begin());
            answered = true;
            if (param[kCaliStatus] != CaliStatusBusy) return true;
        } else if (!answered) {
            return false;
        }
        SleepMs(kAfterBusyMs);
    }
    return answered;
}

bool AccelerometerPasses(float x, float y, float z)
{
    const float m = MaxACCOffset;
    if (x < -m || x > m || y < -m || y > m) return false;
    const double md = m;
    const double zd = z;
    return (zd >= 1.0 - md && zd <= 1.0 + md) || (zd >= -(1.0 + md) && zd <= md - 1.0);
}

bool GyroPasses(float x, float y, float z)
{
    const float g = MaxGyroOffset;
    return x >= -g && x <= g && y >= -g && y <= g && z >= -g && z <= g;
}

}  // namespace

std::uint8_t DoCalibration(std::uint8_t hub, std::uint8_t sensorId, std::uint8_t CaliPhase)
{
    if (LinkHubHandle(hub) == kNoHidHandle) return 255;

    const bool custom2 = sensorId == SensorIdCustom2;
    const bool gyro = sensorId == SensorIdGyro;
    const Custom2Parameters parameters = custom2 ? FindCustom2Parameters() : Custom2Parameters{};

    CaliParamBytes param{};
    param[1] = CaliPhase;
    param[2] = kPhaseMarker;
    std::uint8_t failures = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    std::int32_t a = 0, b = 0, c = 0;
    std::int32_t countedSeconds = 0;
    std::uint32_t reference = 0;
    bool lastAnswered = false;

    for (int attempt = 0;; ++attempt) {
        FillCaliParam(param, sensorId, CaliPhase, parameters);
        if (gyro && attempt == 0) reference = TickCountMs();
        const HidHandle handle = LinkHubHandle(hub);
        const bool sent = SendCalibrate(handle, sensorId, param);
        if (gyro) {
            const std::uint32_t now = TickCountMs();
            countedSeconds += static_cast<std::int32_t>((now - reference) / 1000u);
            reference = now;
            if (countedSeconds >= GyroTimeOut) {
                PrintBoth("Fail - (TimeOut: %d s)\n", countedSeconds);
                return 1;
            }
        }
        SleepMs(kAfterRequestMs);
        // A request that never went out has nothing to poll; an attempt that
        // no reply answered is a failed attempt, whatever else it checks.
        lastAnswered = sent && PollCalibrate(handle, sensorId, param);

        bool passed = true;
        if (!lastAnswered) {
            passed = false;
        } else if (custom2 && !parameters.keyword) {
            passed = GetSensorValueCustom2(hub, sensorId, &a, &b, &c) == 0;
        } else if (custom2 || sensorId == SensorIdPSensor || sensorId == SensorIdPSensorThreshold) {
            // no check
        } else if (ISNeedACC6PhaseCali != 0 && CaliPhase != CaliPhaseFinish) {
            // a face of a multi-face calibration: no check
        } else if (GetSensorValue3D(hub, sensorId, &x, &y, &z) != 0) {
            passed = false;
        } else if (sensorId == SensorIdAcc1 || sensorId == SensorIdAcc2) {
            passed = AccelerometerPasses(x, y, z);
        } else if (gyro) {
            passed = GyroPasses(x, y, z);
        }
        if (passed) {
            failures = 0;
            break;
        }
        ++failures;
        if (failures >= kMaxAttempts) break;
        param[1] = CaliPhase;
        param[2] = kPhaseMarker;
        if (LinkHubHandle(hub) == kNoHidHandle) return 255;
    }

    if (CaliPhase == CaliPhaseBegin) return failures;
    const std::uint8_t status = param[kCaliStatus];
    const auto result = static_cast<std::uint8_t>(failures + (status != CaliStatusOk ? 1 : 0));
    if (!lastAnswered) {
        // Neither a status nor values came from the hub: nothing to show.
        PrintBoth("Fail - No reply\n");
        return result;
    }
    if (result == 0)
        PrintBoth("Pass ");
    else
        PrintBoth("Fail (%x) ", static_cast<unsigned>(status));

    if (sensorId == SensorIdPSensor) {
        PrintBoth("\n");
    } else if (sensorId == SensorIdPSensorThreshold) {
        PrintBoth("\n");
        if (CaliPhase >= CaliPhaseCrossTalk && CaliPhase <= CaliPhaseNewCrossTalk) {
            const unsigned average = static_cast<unsigned>(param[10]) | (static_cast<unsigned>(param[11]) << 8) |
                                     (static_cast<unsigned>(param[12]) << 16);
            PrintBoth("Average value: %d\n", static_cast<int>(average));
        }
    } else if (custom2 && !parameters.keyword) {
        PrintBoth("(%d, %d, %d)\n", static_cast<int>(a), static_cast<int>(b), static_cast<int>(c));
    } else if (custom2) {
        PrintBoth("(0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X)\n",
                  param[0], param[1], param[2], param[4], param[5], param[6], param[7], param[8], param[9], param[10],
                  param[11], param[12]);
    } else if (CaliPhase == CaliPhaseFinish || ISNeedACC6PhaseCali == 0) {
        PrintBoth("(%1.2f, %1.2f, %1.2f)\n", static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
    }
    return result;
}
