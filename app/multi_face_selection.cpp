#include "app/multi_face_selection.h"

void SelectMultiFaceCalibration()
{
    // Not built yet: ISNeedACC6PhaseCali stays 0, as in a run without multi-face options.
}
