#include "procedures/self_test.h"

// Placeholder until the procedure is built.
std::uint8_t DoSelfTest(std::uint8_t, std::uint8_t) { return 0; }
