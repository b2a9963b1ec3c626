// Gain commands of the ambient-light and the colour sensor, and their readings.
#pragma once

#include <cstdint>

// Sends the gain pair (target, raw) when either word is not 0, then returns
// the first light reading other than 0, or 0 when none came. Only a reply
// that answers its value request (echoes 0 and the sensor) is a reading; a
// value request that failed gets no fetches, and a gain request that failed
// gives 0 at once.
std::uint16_t SetAmbientLightGain(std::uint8_t hub, std::uint16_t target, std::uint16_t raw);

// Sends the six gain words (R first, R second, G ..., B ...) when any is not
// 0, then writes R, G, B to out: with count 1 or less one sample, with count
// above 1 the average of count samples (count at most 32768, so that the
// 32-bit sums cannot overflow). With a gain to send and an empty hub slot it
// returns at once and leaves out as it was. Only replies that answer their
// value request are samples; a gain request that failed, or an averaged
// sample that was not delivered, gives 0 in all three channels.
void SetColorSensorGain(std::uint8_t hub, const std::uint16_t gains[6], std::uint16_t out[3], std::int32_t count);
