#include "app/face_delay.h"

void TakeFaceDelay()
{
    // Not built yet: AccCaliDelay keeps its value.
}
