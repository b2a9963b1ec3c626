// Small word parsers shared by the hub-file directives (sim/hub_file*.cpp).
// Each returns false, leaving nothing to rely on in its outputs, when the
// text is not what it reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/hub_file.h"

namespace sim {

// Sets error to message and returns false, for "return Fail(error, ...)".
bool Fail(std::string& error, const std::string& message);

// Splits a "key=value" setting of directive; on a word without "=", fails
// with "<directive>: unknown word '<word>'".
bool SplitSetting(const HubFileWord& word, const std::string& directive, std::string& key, std::string& value,
                  std::string& error);
// Fails with "<directive>: unknown setting '<key>'".
bool UnknownSetting(std::string& error, const std::string& directive, const std::string& key);
// "<directive>: bad <key> '<value>'".
std::string BadSetting(const std::string& directive, const std::string& key, const std::string& value);

// The parts of text between commas ("" gives one empty part).
std::vector<std::string> SplitCommas(const std::string& text);

// A signed decimal or 0x number (leading "-" or "+") within [min, max].
bool ParseSigned(const std::string& text, std::int64_t min, std::int64_t max, std::int64_t& value);
// A finite decimal number as strtod reads it, nothing after it.
bool ParseReal(const std::string& text, double& value);
// A data byte: one or two hex digits, with or without 0x.
bool ParseHexByte(const std::string& text, std::uint8_t& value);

// Comma-separated lists. The ones with a count want exactly that many items.
bool ParseNumberList(const std::string& text, std::uint64_t max, std::vector<std::uint64_t>& values);
bool ParseHexByteList(const std::string& text, std::vector<std::uint8_t>& values);
bool ParseSignedList(const std::string& text, std::size_t count, std::int64_t min, std::int64_t max,
                     std::vector<std::int64_t>& values);
bool ParseRealList(const std::string& text, std::size_t count, std::vector<double>& values);

}  // namespace sim
