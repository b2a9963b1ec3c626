// The device handle of a hub index, for the link's command operations.
#pragma once

#include <cstdint>

#include "common/state.h"

// The handle in the hFile slot of hub; the empty handle for an index past the
// table, so that such an index behaves as an empty slot.
inline HidHandle LinkHubHandle(std::uint8_t hub)
{
    return hub < kHubSlots ? hFile[hub] : kNoHidHandle;
}
