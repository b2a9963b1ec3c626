// Hub-file directives of the link commands: the parameter area and its two
// block copies, the sensors with their reports and status entries, the
// fusion variant and the status-list overrides (docs/hub-file.md).
#pragma once

#include <map>
#include <string>

#include "sim/hub_file.h"

namespace sim {

void AddLinkDirectives(std::map<std::string, HubFileDirective>& table);

}  // namespace sim
