#include <windows.h>

#include "common/clock.h"

void SleepMs(std::uint32_t ms)
{
    Sleep(ms);
}

std::uint32_t TickCountMs()
{
    return GetTickCount();
}
