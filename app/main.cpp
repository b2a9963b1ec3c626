#include "app/run_frame.h"
#include "common/platform.h"

int main(int argc, char** argv)
{
    return ProcessExitStatus(RunTool(argc, argv));
}
