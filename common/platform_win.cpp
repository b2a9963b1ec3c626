#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/platform.h"

namespace {

bool IsConsole(DWORD stdHandle)
{
    const HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

std::string gGuardDirectory;

}  // namespace

void SetInstanceGuardDirectory(const std::string& directory)
{
    gGuardDirectory = directory;
}

std::string InstanceGuardPlace(const char* name)
{
    if (gGuardDirectory.empty()) return name;
    // A mutex of its own for each directory: the name followed by the
    // directory's full path, whose backslashes a mutex name may not hold.
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(gGuardDirectory.c_str(), MAX_PATH, full, nullptr);
    std::string place = std::string(name) + "-" + (length > 0 && length < MAX_PATH ? full : gGuardDirectory.c_str());
    for (char& c : place)
        if (c == '\\') c = '/';
    return place;
}

InstanceGuard CreateInstanceGuard(const char* name)
{
    // Not owned: the mutex only marks that an instance runs. Its handle stays
    // open until the process ends, and the system closes it then.
    const std::string place = InstanceGuardPlace(name);
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, place.c_str());
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
    // _getch reads the console input buffer, not standard input: a process
    // whose standard input is redirected still reads its keys there.
    const HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    const bool console = GetConsoleMode(input, &mode) != 0;
    CloseHandle(input);
    return console;
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
