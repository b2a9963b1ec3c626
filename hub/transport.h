// The feature-report exchange with the hub: the 17-byte report, the command
// codes, the sensor numbers and the pacing wait before every transfer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/state.h"

constexpr std::size_t HidReportLength = 17;
constexpr std::uint8_t HidReportId = 0x5A;

using HidReport = std::array<std::uint8_t, HidReportLength>;

// Command codes (byte 1 of a request).
constexpr std::uint8_t HidCmdGetSensorValue = 0x00;
constexpr std::uint8_t HidCmdSetSensorGain = 0x01;
constexpr std::uint8_t HidCmdParameterBlock = 0x02;
constexpr std::uint8_t HidCmdSelfTest = 0x03;
constexpr std::uint8_t HidCmdCalibrate = 0x04;
constexpr std::uint8_t HidCmdReadReg = 0x05;
constexpr std::uint8_t HidCmdWriteReg = 0x06;
constexpr std::uint8_t HidCmdReadRegF0 = 0x07;
constexpr std::uint8_t HidCmdWriteRegF0 = 0x08;
constexpr std::uint8_t HidCmdGetSensorStatus = 0x0B;
constexpr std::uint8_t HidCmdFusionTaskLock = 0x0D;
constexpr std::uint8_t HidCmdFusionTaskUnlock = 0x0E;

// Sub-commands of HidCmdParameterBlock.
constexpr std::uint8_t ParameterBlockGetAddr = 0;
constexpr std::uint8_t ParameterBlockSaveToFlash = 1;

// Sensor numbers (byte 2 of sensor requests).
constexpr std::uint8_t SensorIdAcc1 = 1;
constexpr std::uint8_t SensorIdGyro = 2;
constexpr std::uint8_t SensorIdCompass = 3;
constexpr std::uint8_t SensorIdAmbientLight = 4;
constexpr std::uint8_t SensorIdCompassAccuracy = 7;
constexpr std::uint8_t SensorIdAcc2 = 8;
constexpr std::uint8_t SensorIdPSensor = 0x0C;
constexpr std::uint8_t SensorIdColorValue = 0x0E;
constexpr std::uint8_t SensorIdColor = 0x0F;
constexpr std::uint8_t SensorIdPSensorThreshold = 0x10;
constexpr std::uint8_t SensorIdCustom2 = 0x11;

// A request with byte 0 the report ID, byte 1 command, byte 2 sub; the rest 0.
HidReport MakeRequest(std::uint8_t command, std::uint8_t byte2 = 0);

// Waits HIDCMDDelayMS when it is not 0 and DelayFlag is on.
void PacingWait();

// Pacing wait, then one set-feature transfer. True when it went out.
bool SendReport(HidHandle handle, const HidReport& request);

// Pacing wait, then one get-feature transfer into a buffer of its own whose
// byte 0 is the report ID. On success the reply is copied into reply; on
// failure reply keeps what the caller prepared.
bool FetchReport(HidHandle handle, HidReport& reply);

// FetchReport of the reply to a request with this command and byte 2. True
// only when a reply was fetched and answers that request: byte 1 echoes the
// command and byte 2 the request's byte 2. A reply that does not was meant
// for another request (or is what the hub still held from one) and carries
// nothing of this one.
bool FetchAnswer(HidHandle handle, HidReport& reply, std::uint8_t command, std::uint8_t byte2);

// The generic one-transfer exchange. write: send header1, header2 and length
// data bytes; otherwise fetch and hand back bytes 1, 2 and 3 onward. length
// is at most 14; a longer one is refused (false, no transfer).
bool HidRequests(HidHandle handle, bool write, std::uint8_t reportId, std::uint8_t& header1, std::uint8_t& header2,
                 std::uint8_t* data, std::uint8_t length);
