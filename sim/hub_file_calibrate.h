// Hub-file directive of the calibrate command: how the hub answers each
// sensor's calibration (docs/hub-file.md).
#pragma once

#include <map>
#include <string>

#include "sim/hub_file.h"

namespace sim {

void AddCalibrateDirectives(std::map<std::string, HubFileDirective>& table);

}  // namespace sim
