// Sensor inventory: which sensors the hub has (SensorList, ColorSensorFlag in
// common/state.h) and the hub's own status list.
#pragma once

#include <cstdint>

// Indices of SensorList.
constexpr int SensorSlotAcc1 = 0;
constexpr int SensorSlotAcc2 = 1;
constexpr int SensorSlotAmbientLight = 2;
constexpr int SensorSlotCompass = 3;
constexpr int SensorSlotGyro = 4;

// Values of SensorList; GyroVariant only in the gyrometer slot (a fusion
// variant whose gyrometer is neither tested, calibrated nor reported).
constexpr std::uint8_t SensorAbsent = 0;
constexpr std::uint8_t SensorPresent = 1;
constexpr std::uint8_t GyroVariant = 2;

// RegFusionVariant value that marks the fusion variant.
constexpr std::uint8_t kFusionVariantMark = 0x6D;

// Room for sensor numbers in the status-list reply (bytes 6 to 15), and the
// entries the 16-bit OK mask covers.
constexpr int kStatusListIds = 10;
constexpr int kStatusListMaskBits = 16;

// What CheckSensorExist returns when there is no status list to count: an
// empty hub slot (nothing sent or printed), or a list the hub did not send.
constexpr std::uint8_t kSensorStatusUnread = 0xFF;

// Fills all 12 SensorList slots from the hub's presence bytes (a failed read
// judges the slot by the last byte read in this call), marks GyroVariant when
// ACC1, compass and gyrometer are present and the fusion-variant byte reads
// 0x6D, and sets ColorSensorFlag to 1 when the colour sensor's probe reply
// carries data. Prints nothing. False when a presence byte, the
// fusion-variant byte or the colour probe could not be read (a request that
// failed, no reply, or a reply that does not answer the probe): the
// inventory is then incomplete and must not be taken as the sensors' absence.
bool CheckSensors(std::uint8_t hub);

// Fetches the hub's sensor status list, prints "The number of sensor is %d."
// and one line per failing entry, and returns the number of failing entries
// (0: every listed sensor OK, or skipped as the variant's gyrometer). Entries
// past the ten that the reply names, when failing, and every entry past the
// sixteenth count as failing and are printed by their index. Returns
// kSensorStatusUnread for an empty hub slot (nothing sent or printed), and
// after "Get Sensor Status Fail!" when the request failed or no reply that
// answers it (echoing 0x0B and 0) could be fetched.
std::uint8_t CheckSensorExist(std::uint8_t hub);
