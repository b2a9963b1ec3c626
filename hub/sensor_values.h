// Sensor value queries: three-axis values, Custom Sensor 2 and the lid angle.
#pragma once

#include <cstdint>

// The 16-bit value GetAngle returns for an empty hub slot (0xFFFF).
constexpr std::int16_t AngleInvalid = -1;

// Scale factors of the hub's counts.
constexpr double kGyroScale = 0.22381;    // gyrometer counts to degrees per second
constexpr float kAccScale = 0.00390625f;  // 1/256: accelerometer counts to g
constexpr double kAngleScale = 0.2238;    // lid-angle counts to degrees

// The value an axis word of a sensor reply carries: 0 for the word 0, else
// the bitwise complement of the word read as a signed 16-bit number.
std::int16_t DecodeAxisWord(std::uint16_t word);

// Reads a three-axis sensor (HidCmdGetSensorValue, waits 50 and 20 ms).
// Returns 0 with the scaled axes (gyrometer x 0.22381 in degrees per second,
// every other sensor / 256, in g for the accelerometers) when the request
// went out and the reply echoes 0 and sensorId; returns 1 with 0.0 in all
// three otherwise: a request that failed, a reply that could not be fetched
// or one that answers another request. All three outputs are written on
// every call. The hub slot is not looked at.
std::uint8_t GetSensorValue3D(std::uint8_t hub, std::uint8_t sensorId, float* x, float* y, float* z);

// As GetSensorValue3D, with the three signed 32-bit values of reply bytes
// 3-6, 7-10, 11-14 unscaled.
std::uint8_t GetSensorValueCustom2(std::uint8_t hub, std::uint8_t sensorId, std::int32_t* a, std::int32_t* b,
                                   std::int32_t* c);

// The lid angle in whole degrees (angle word of the ACC2 report x 0.2238,
// truncated toward zero). AngleInvalid for an empty hub slot, without any
// transfer or wait, and for an exchange that failed as GetSensorValue3D's
// does (the waits are made).
std::int16_t GetAngle(std::uint8_t hub);
