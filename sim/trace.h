// The stand-in's trace: one line per feature-report transfer, per wait and
// per device open or close, each stamped with the virtual time in ms.
//
// Line format (stable; tests compare lines exactly):
//   t=<ms> SET <34 hex digits>        a set-feature transfer the device took
//   t=<ms> SET FAIL <34 hex digits>   a set-feature transfer that failed
//   t=<ms> GET <34 hex digits>        a get-feature transfer and the reply it got
//   t=<ms> GET FAIL                   a get-feature transfer that failed
//   t=<ms> GET FAIL id=<2 hex>        refused: byte 0 of the buffer was not 0x5a
//   t=<ms> SLEEP <ms>                 SleepMs; <ms> is the wait in decimal
//   t=<ms> OPEN <path>                a device path opened
//   t=<ms> OPEN FAIL <path>           a device path that could not be opened
//   t=<ms> CLOSE <path>               a handle closed
// <ms> after t= is the virtual time when the event began, in decimal; the hex
// digits are all 17 bytes of the report, lower case, without separators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Forgets every line and stops writing to a file.
void TraceReset();

// Appends "t=<now> " + event.
void TraceEvent(const std::string& event);

// Also writes every later line (with "\n") to path, flushed line by line.
// False when the file cannot be created.
bool TraceToFile(const std::string& path);
void TraceCloseFile();

const std::vector<std::string>& TraceLines();

// The lines whose event (the text after "t=<ms> ") starts with one of the
// given words, e.g. TraceFilter({"SET", "GET"}).
std::vector<std::string> TraceFilter(const std::vector<std::string>& kinds);

// Only the events, without the time stamps, filtered as above (all when empty).
std::vector<std::string> TraceEvents(const std::vector<std::string>& kinds = {});

// All lines joined, each followed by "\n".
std::string TraceText();

// Lower-case hex digits of length bytes, no separators.
std::string HexBytes(const std::uint8_t* data, std::size_t length);

}  // namespace sim
