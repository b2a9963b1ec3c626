// Hub-file directives of the light, colour and proximity sensors: how the
// hub takes gains, readings that start as 0, and the proximity state, error
// byte and readings (docs/hub-file.md).
#pragma once

#include <map>
#include <string>

#include "sim/hub_file.h"

namespace sim {

void AddLightDirectives(std::map<std::string, HubFileDirective>& table);

}  // namespace sim
