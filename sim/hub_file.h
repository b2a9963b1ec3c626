// The hub file: a line-based description of the HID devices and the
// simulated hub that the stand-in presents (format: docs/hub-file.md).
//
// Each line is one directive: a keyword and its words. Words are separated
// by blanks; a double-quoted word may hold blanks and escapes; "#" outside
// quotes starts a comment. To add a directive, write a HubFileDirective and
// add it to the table in sim/hub_file.cpp (or call RegisterHubFileDirective
// before loading).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_hub.h"
#include "sim/sim_port.h"

namespace sim {

struct HubFileWord {
    std::string text;  // escapes of a quoted word already resolved
    bool quoted = false;
};

// What the directives of one file work on.
struct HubFileContext {
    SimPort* port = nullptr;
    std::shared_ptr<SimHub> hub;  // the file's hub model; devices marked "hub" carry it
    int nextIndex = 0;            // enumeration index of the next device
    bool hubAttached = false;     // some device carries the hub
};

// Carries out one line; words[0] is the keyword. On a fault, sets error to a
// message (without file and line) and returns false.
using HubFileDirective = bool (*)(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error);

void RegisterHubFileDirective(const std::string& keyword, HubFileDirective directive);

// Loads a description into port (which is reset first). On a fault, error is
// "<name>:<line>: <message>" and the port may be half filled.
bool LoadHubText(const std::string& text, const std::string& name, SimPort& port, std::string& error,
                 std::shared_ptr<SimHub>* hubOut = nullptr);
bool LoadHubFile(const std::string& path, SimPort& port, std::string& error, std::shared_ptr<SimHub>* hubOut = nullptr);

// Helpers for directives (more in sim/hub_file_words.h).
// A number in decimal or with 0x; false when it is not one or exceeds max.
bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value);
// "key=value": splits; false when there is no "=".
bool SplitKeyValue(const std::string& word, std::string& key, std::string& value);
// Accepts yes/no, on/off, ok/fail, true/false, 1/0 (first of each pair true).
bool ParseSwitch(const std::string& text, bool& value);

}  // namespace sim
