// What each row of the run's steps does around its procedure: the label
// before it and the result after it.
#pragma once

#include <cstdint>

#include "common/output.h"
#include "common/state.h"

// Prints a row's label on console and log, without a line end: the
// procedure completes the line.
inline void PrintRowLabel(const char* label)
{
    PrintBoth("%s", label);
}

// Adds a step's result to ResultFlag.
inline void AddResult(std::uint8_t result)
{
    ResultFlag += result;
}
