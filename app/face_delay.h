// The wait before each face of a multi-face calibration, from "/ACC-CALI-DELAY".
#pragma once

// Sets AccCaliDelay from "/ACC-CALI-DELAY" when it is given.
void TakeFaceDelay();
