// Hub-file directive of the parameter-block save: how the hub answers the
// save-to-flash request and the lid angle of the re-check (docs/hub-file.md).
#pragma once

#include <map>
#include <string>

#include "sim/hub_file.h"

namespace sim {

void AddSaveDirectives(std::map<std::string, HubFileDirective>& table);

}  // namespace sim
