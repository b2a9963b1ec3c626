// Hub-file directives of the self test and the compass calibration: the
// self-test replies per sensor, the initialisation status and the compass
// accuracy over polls (docs/hub-file.md).
#pragma once

#include <map>
#include <string>

#include "sim/hub_file.h"

namespace sim {

void AddSelfTestDirectives(std::map<std::string, HubFileDirective>& table);

}  // namespace sim
