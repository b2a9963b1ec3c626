// The run for one hub.
#pragma once

#include <cstdint>

void HubSequence(std::uint8_t hub);
