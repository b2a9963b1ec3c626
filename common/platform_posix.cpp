#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/platform.h"

namespace {

std::string TempDirectory()
{
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    return dir;
}

}  // namespace

InstanceGuard CreateInstanceGuard(const char* name)
{
    // A lock on a file behaves like a named mutex that nobody owns: the
    // system releases it when the process ends, however it ends.
    const std::string path = TempDirectory() + "/" + name + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A lock file that another user left without write permission still
    // takes the lock when opened for reading.
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return InstanceGuard::Failed;
    // Others must be able to take the lock after us, whatever our umask.
    (void)fchmod(fd, 0666);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceGuard::Created;  // fd stays open
    const bool busy = (errno == EWOULDBLOCK);
    close(fd);
    return busy ? InstanceGuard::AlreadyExists : InstanceGuard::Failed;
}

void ConsoleInit()
{
    // A console whose reader has gone (a pipe into a program that quit) must
    // not end the run: writes to it fail, and the run goes on with the log
    // and the hub.
    std::signal(SIGPIPE, SIG_IGN);
    if (isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IONBF, 0);
}

bool ConsoleIsInteractive()
{
    return isatty(STDIN_FILENO) != 0;
}

void ConsoleWaitKey()
{
    if (!ConsoleIsInteractive()) return;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    // No line editing and no echo. Ctrl+C is read as a key too, so that the
    // run cannot end here with the terminal left without echo.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
    unsigned char key = 0;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

int ProcessExitStatus(std::int32_t resultCode)
{
    // The exit status carries 8 bits. Keep the low byte; a non-zero code whose
    // low byte is 0 (256, 512, -256 ...) must never read as a pass.
    if (resultCode == 0) return 0;
    const int low = static_cast<int>(static_cast<std::uint32_t>(resultCode) & 0xFFu);
    return low != 0 ? low : 1;
}
