// The multi-face selection ISNeedACC6PhaseCali, from the four multi-face options.
#pragma once

// Adds the amount of each given multi-face option to ISNeedACC6PhaseCali.
void SelectMultiFaceCalibration();
