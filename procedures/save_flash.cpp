#include "procedures/save_flash.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/inventory.h"
#include "hub/param_block.h"
#include "hub/transport.h"

namespace {

constexpr int kSavePasses = 11;
constexpr std::size_t kReportAreaSize = 1024;
constexpr std::size_t kRecordLength = 10;  // bytes 1 to 10 of the save request
constexpr std::uint32_t kHighestHubAddress = 0xFFFFFF;
constexpr float kBiasScale = 1.0f / 256.0f;

// Bytes 1 to 10 of the save request, as the last answer left them.
using SaveRecord = std::array<std::uint8_t, kRecordLength>;

std::uint32_t Address24(const HidReport& report, std::size_t first)
{
    return static_cast<std::uint32_t>(report[first]) | (static_cast<std::uint32_t>(report[first + 1]) << 8) |
           (static_cast<std::uint32_t>(report[first + 2]) << 16);
}

std::uint16_t Length16(const HidReport& report, std::size_t first)
{
    return static_cast<std::uint16_t>(report[first] | (report[first + 1] << 8));
}

HidReport SaveRequest(const SaveRecord& record)
{
    HidReport request{};
    request[0] = HidReportId;
    std::copy(record.begin(), record.end(), request.begin() + 1);
    return request;
}

// The save request, 50 ms, its reply, 20 and 200 ms. True when the request
// went out and the reply that was fetched answers it (echoes 2 and 1); the
// reply is then in reply.
bool ExchangeSaveRequest(HidHandle handle, const HidReport& request, HidReport& reply)
{
    const bool sent = SendReport(handle, request);
    SleepMs(50);
    reply.fill(0);
    reply[0] = HidReportId;
    const bool answered = FetchAnswer(handle, reply, HidCmdParameterBlock, ParameterBlockSaveToFlash);
    SleepMs(20);
    SleepMs(200);
    return sent && answered;
}

// Reads length bytes of a parameter copy; false when the hub did not deliver
// them all (the area then holds no copy to compare, report or save by).
bool ReadArea(std::uint8_t hub, std::uint32_t address, std::uint16_t length, std::vector<std::uint8_t>& area)
{
    return WinDebugReadRegByteCunt(hub, static_cast<int>(address), length, area.data());
}

// Copies the flag byte at offset `from` of the eFlash copy to offset `to` of
// the RAM copy. A copy that would reach outside the learnt parameter area
// (or past the 24-bit hub memory) is skipped, and so is one whose eFlash byte
// cannot be read: writing a byte that was never read would put a wrong flag
// into the RAM copy, which the next save stores in eFlash. False when the
// eFlash byte could not be read or the write request failed.
bool CopyFlagByte(std::uint8_t hub, std::uint64_t from, std::uint64_t to)
{
    if (from >= gParamLength || to >= gParamLength) return true;
    const std::uint64_t source = std::uint64_t{gEFlashAddr} + from;
    const std::uint64_t target = std::uint64_t{gBufferAddr} + to;
    if (source > kHighestHubAddress || target > kHighestHubAddress) return true;

    std::uint8_t flag = 0;
    if (!WinDebugReadRegByte(hub, static_cast<int>((source >> 16) & 0xFFu), static_cast<int>((source >> 8) & 0xFFu),
                             static_cast<int>(source & 0xFFu), &flag))
        return false;
    return WinDebugSetRegByte(hub, static_cast<int>((target >> 16) & 0xFFu), static_cast<int>((target >> 8) & 0xFFu),
                              static_cast<int>(target & 0xFFu), flag);
}

// The flag-byte copies of the present accelerometers; false when one failed.
bool CopyFlagBytes(std::uint8_t hub, const std::vector<std::uint8_t>& flash, const std::vector<std::uint8_t>& ram)
{
    bool copied = true;
    if (SensorList[SensorSlotAcc1] != SensorAbsent)
        copied = CopyFlagByte(hub, ParameterBlock::Acc1FlagByte, ParameterBlock::Acc1FlagByte);
    if (SensorList[SensorSlotAcc2] != SensorAbsent) {
        // The signature of the RAM copy decides; each side then moves by its
        // own copy's ext.
        std::uint64_t from = ParameterBlock::Acc2FlagByte;
        std::uint64_t to = ParameterBlock::Acc2FlagByte;
        if (ParameterBlockHasSignature(ram.data(), gParamLength)) {
            from += ParameterBlockUint16(flash.data(), gParamLength, ParameterBlock::ParameterBlockExtLength);
            to += ParameterBlockUint16(ram.data(), gParamLength, ParameterBlock::ParameterBlockExtLength);
        }
        copied = CopyFlagByte(hub, from, to) && copied;
    }
    return copied;
}

// The report's view of one copy: at most its first 1024 bytes; every field at
// or past what was copied reads 0.
struct ReportArea {
    std::array<std::uint8_t, kReportAreaSize> bytes{};
    std::size_t size = 0;

    std::int16_t Word(std::size_t offset) const { return ParameterBlockInt16(bytes.data(), size, offset); }
    std::uint16_t Unsigned(std::size_t offset) const { return ParameterBlockUint16(bytes.data(), size, offset); }
};

struct Triple {
    float x, y, z;
};

// Counts / 256 in single precision.
Triple ScaledTriple(const ReportArea& area, std::size_t offset)
{
    return {static_cast<float>(area.Word(offset)) * kBiasScale, static_cast<float>(area.Word(offset + 2)) * kBiasScale,
            static_cast<float>(area.Word(offset + 4)) * kBiasScale};
}

float GyroValue(std::int16_t counts)
{
    return static_cast<float>(static_cast<double>(static_cast<float>(counts)) * 0.22381);
}

void PrintTriple(const char* format, const Triple& t)
{
    PrintBoth(format, static_cast<double>(t.x), static_cast<double>(t.y), static_cast<double>(t.z));
}

// True when all six bytes of the triple at offset lie in what the report
// holds of the copy. A bias outside it was never read: it must fail its
// check, not read as 0 and pass it.
bool InReportArea(const ReportArea& area, std::size_t offset)
{
    return offset + ParameterBlock::TripleLength <= area.size;
}

bool BeyondLimit(const Triple& t, float limit)
{
    return std::fabs(t.x) >= limit || std::fabs(t.y) >= limit || std::fabs(t.z) >= limit;
}

void PrintBiasError(int accel, float limit)
{
    PrintConsole("Error!! Accel%d Biases can't more than +/-%1.2f .\r\n", accel, static_cast<double>(limit));
    PrintLog("Error, Accel%d Biases can't more than +/-%1.2f .\r\n", accel, static_cast<double>(limit));
}

// Prints the report lines that the mask selects and the sensors allow;
// returns the number of bias error lines.
std::uint8_t PrintReport(std::uint8_t mask, const std::vector<std::uint8_t>& copy)
{
    ReportArea area;
    area.size = std::min<std::size_t>(gParamLength, kReportAreaSize);
    std::memcpy(area.bytes.data(), copy.data(), area.size);
    const bool signature = ParameterBlockHasSignature(area.bytes.data(), area.size);
    const std::size_t ext = ParameterBlockExt(area.bytes.data(), area.size);
    const bool acc2Present = SensorList[SensorSlotAcc2] != SensorAbsent;
    std::uint8_t result = 0;

    if ((mask & ReportMaskAcc1) != 0 && SensorList[SensorSlotAcc1] != SensorAbsent) {
        const Triple bias = ScaledTriple(area, ParameterBlock::Acc1Bias);
        if (!InReportArea(area, ParameterBlock::Acc1Bias)) {
            PrintBoth("Accel Biases : not in the parameter block\r\n");
            result = 1;
        } else {
            PrintTriple("Accel Biases : %f,%f,%f\r\n", bias);
        }
        if (InReportArea(area, ParameterBlock::Acc1Bias) && BeyondLimit(bias, MaxACC1Bias)) {
            PrintBiasError(1, MaxACC1Bias);
            result = 1;
        }
        if ((ISNeedACC6PhaseCali & 0x0F) != 0)
            PrintTriple("Accel Gain: %f,%f,%f\r\n", ScaledTriple(area, ParameterBlock::Acc1Gain));
    }
    if ((mask & ReportMaskGyro) != 0 && SensorList[SensorSlotGyro] == SensorPresent) {
        const std::size_t at = ParameterBlock::GyroBias;
        PrintTriple("Gyro  Biases : %f,%f,%f\r\n",
                    {GyroValue(area.Word(at)), GyroValue(area.Word(at + 2)), GyroValue(area.Word(at + 4))});
    }
    if ((mask & ReportMaskCompass) != 0 && SensorList[SensorSlotCompass] != SensorAbsent && signature && ext != 0) {
        const std::size_t at =
            acc2Present ? ParameterBlock::CompassBiasWithAcc2 : ParameterBlock::CompassBiasWithoutAcc2;
        PrintTriple("Comp  Biases : %f,%f,%f\r\n", ScaledTriple(area, at));
    }
    if ((mask & ReportMaskAcc2) != 0 && acc2Present) {
        const Triple bias = ScaledTriple(area, ParameterBlock::Acc2Bias + ext);
        const bool inArea = InReportArea(area, ParameterBlock::Acc2Bias + ext);
        if (!inArea) {
            PrintBoth("Accel2 Biases: not in the parameter block\r\n");
            result = static_cast<std::uint8_t>(result + 1);
        } else {
            PrintTriple("Accel2 Biases: %f,%f,%f\r\n", bias);
        }
        if (inArea && BeyondLimit(bias, MaxACC2Bias)) {
            PrintBiasError(2, MaxACC2Bias);
            result = static_cast<std::uint8_t>(result + 1);
        }
        if (ISNeedACC6PhaseCali >= 0x10)
            PrintTriple("Accel2 Gain: %f,%f,%f\r\n", ScaledTriple(area, ParameterBlock::Acc2Gain + ext));
    }
    if ((mask & ReportMaskLight) != 0 && SensorList[SensorSlotAmbientLight] != SensorAbsent) {
        const std::uint16_t base = area.Unsigned(ParameterBlock::LightGainBase);
        const std::uint16_t value = area.Unsigned(ParameterBlock::LightGainValue);
        const float transmittance = base == 0 ? 0.0f : static_cast<float>(value * 100.0 / base);
        PrintBoth("Light Transmittance=%3.2f%%\r\n", static_cast<double>(transmittance));
    }
    if ((mask & ReportMaskColor) != 0 && ColorSensorFlag != 0 && ColorTransmittance[0] != 0.0f &&
        ColorTransmittance[1] != 0.0f && ColorTransmittance[2] != 0.0f) {
        PrintBoth("Color_R Transmittance=%3.2f%%\r\n", static_cast<double>(ColorTransmittance[0]));
        PrintBoth("Color_G Transmittance=%3.2f%%\r\n", static_cast<double>(ColorTransmittance[1]));
        PrintBoth("Color_B Transmittance=%3.2f%%\r\n", static_cast<double>(ColorTransmittance[2]));
    }
    return result;
}

// The verified save: up to eleven passes of snapshot, request, reply check
// and comparison. True when the eFlash copy matched the snapshot; flash and
// ram then hold both copies as read after that pass. Every pass reads and
// requests the learnt area: a reply that fails its check hands nothing on to
// the next request. A pass fails on any exchange that did not go through: a
// snapshot or a copy that was not read in full, a request that failed, a
// reply that is missing or does not answer the request.
bool VerifiedSave(std::uint8_t hub, HidHandle handle, SaveRecord& record, std::vector<std::uint8_t>& snapshot,
                  std::vector<std::uint8_t>& flash, std::vector<std::uint8_t>& ram)
{
    for (int pass = 0; pass < kSavePasses; ++pass) {
        const bool snapshotRead = ReadArea(hub, gBufferAddr, gParamLength, snapshot);
        SleepMs(50);
        if (!snapshotRead) continue;
        HidReport reply{};
        if (!ExchangeSaveRequest(handle, SaveRequest(record), reply)) continue;
        if (Address24(reply, 3) != gEFlashAddr || Address24(reply, 6) != gBufferAddr ||
            Length16(reply, 9) != gParamLength)
            continue;
        std::copy(reply.begin() + 1, reply.begin() + 1 + kRecordLength, record.begin());
        if (!ReadArea(hub, gEFlashAddr, gParamLength, flash)) continue;
        if (!ReadArea(hub, gBufferAddr, gParamLength, ram)) continue;
        if (std::memcmp(flash.data(), snapshot.data(), gParamLength) == 0) return true;
    }
    return false;
}

}  // namespace

std::uint8_t DoSaveDataToFlash(std::uint8_t hub, std::uint8_t SaveMode, std::uint8_t ReportMask,
                               std::uint8_t ReportSource)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 1;

    SaveRecord record{};
    record[0] = HidCmdParameterBlock;
    record[1] = SaveMode;

    if (SaveMode == SaveModeQuick) {
        // No verification; but a request that never went out, or that the
        // hub did not answer, saved nothing.
        HidReport request = SaveRequest(record);
        request[2] = ParameterBlockSaveToFlash;
        HidReport reply{};
        if (!ExchangeSaveRequest(handle, request, reply)) {
            PrintBoth("Save Fail!\r\n");
            return 1;
        }
        return 0;
    }

    std::vector<std::uint8_t> snapshot(kParameterAreaSize, 0);
    std::vector<std::uint8_t> flash(kParameterAreaSize, 0);
    std::vector<std::uint8_t> ram(kParameterAreaSize, 0);
    if (SaveMode == SaveModeReportOnly) {
        const bool flashRead = ReadArea(hub, gEFlashAddr, gParamLength, flash);
        if (!flashRead || !ReadArea(hub, gBufferAddr, gParamLength, ram)) {
            PrintBoth("Read Parameter Block Fail!\r\n");
            return 1;
        }
    } else if (!VerifiedSave(hub, handle, record, snapshot, flash, ram)) {
        PrintBoth("Save Fail!\r\n");
        return 1;
    }

    if (!CopyFlagBytes(hub, flash, ram)) {
        PrintBoth("Copy Flag Byte Fail!\r\n");
        return 1;
    }
    if (ReportMask == 0) return 0;
    return PrintReport(ReportMask, ReportSource == ReportSourceFlash ? flash : ram);
}
