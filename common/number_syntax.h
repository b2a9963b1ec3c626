// Number syntax of the command line.
#pragma once

#include <cstdint>

// The number after an option name: leading blanks, one optional sign, then
// decimal digits (signed 32-bit range) or "$", "X", "0X" and at most eight
// significant hexadecimal digits read as a two's-complement 32-bit number.
// text is already upper-cased. False when text is no such number.
bool ParseOptionNumber(const char* text, std::int32_t& value);

// A Custom Sensor 2 parameter: hexadecimal digits without a prefix (either
// case), at most eight significant ones. False when text is no such number.
bool ParseHexParameter(const char* text, std::uint32_t& value);

// The word that starts the Custom Sensor 2 parameters: "parameter" in any
// case of its letters, nothing more.
bool IsParameterKeyword(const char* text);
