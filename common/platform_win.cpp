#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "common/platform.h"

namespace {

bool IsConsole(DWORD stdHandle)
{
    const HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

InstanceGuard CreateInstanceGuard(const char* name)
{
    // Not owned: the mutex only marks that an instance runs. Its handle stays
    // open until the process ends, and the system closes it then.
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) return InstanceGuard::Failed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return InstanceGuard::AlreadyExists;
    }
    return InstanceGuard::Created;
}

void ConsoleInit()
{
    // The tool writes CR LF itself; text mode would turn its LF into a second CR.
    (void)_setmode(_fileno(stdout), _O_BINARY);
    if (IsConsole(STD_OUTPUT_HANDLE)) std::setvbuf(stdout, nullptr, _IONBF, 0);
}

bool ConsoleIsInteractive()
{
    return IsConsole(STD_INPUT_HANDLE);
}

void ConsoleWaitKey()
{
    if (!ConsoleIsInteractive()) return;
    // One key, no echo, no Enter. A function or arrow key comes as two codes:
    // take the second too, so that it does not answer the next prompt.
    const int key = _getch();
    if (key == 0 || key == 0xE0) (void)_getch();
}

int ProcessExitStatus(std::int32_t resultCode)
{
    // The Windows exit code carries the whole 32 bits.
    return static_cast<int>(resultCode);
}
