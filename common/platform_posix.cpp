#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include "common/platform.h"

namespace {

std::string gGuardDirectory;

}  // namespace

void SetInstanceGuardDirectory(const std::string& directory)
{
    gGuardDirectory = directory;
}

std::string InstanceGuardPlace(const char* name)
{
    // Not $TMPDIR: two shells with different environments (a user's and
    // root's) must meet at the same lock.
    const std::string directory = gGuardDirectory.empty() ? std::string("/tmp") : gGuardDirectory;
    return directory + "/" + name + ".lock";
}

InstanceGuard CreateInstanceGuard(const char* name)
{
    // A lock on a file behaves like a named mutex that nobody owns: the
    // system releases it when the process ends, however it ends.
    //
    // The lock file lies in a directory that everybody may write. A symbolic
    // link is never followed, and only a file that this process has just
    // created gets its mode changed, so whatever someone planted there, no
    // other file is created or changed. Non-blocking: a FIFO planted there
    // must not stop the open.
    const std::string path = InstanceGuardPlace(name);
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    bool created = true;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(path.c_str(), O_RDWR | kFlags);
        // A lock file that another user left without write permission still
        // takes the lock when opened for reading.
        if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = open(path.c_str(), O_RDONLY | kFlags);
    }
    if (fd < 0) return InstanceGuard::Failed;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return InstanceGuard::Failed;
    }
    // Others must be able to take the lock after us, whatever our umask.
    if (created) (void)fchmod(fd, 0666);
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

namespace {

// The controlling terminal, whatever standard input is; -1 when the process
// has none.
int OpenConsole()
{
    return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

}  // namespace

bool ConsoleIsInteractive()
{
    const int fd = OpenConsole();
    if (fd < 0) return false;
    close(fd);
    return true;
}

void ConsoleWaitKey()
{
    const int fd = OpenConsole();
    if (fd < 0) return;
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return;
    }
    termios raw = saved;
    // No line editing and no echo. Ctrl+C is read as a key too, so that the
    // run cannot end here with the terminal left without echo.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) != 0) {
        close(fd);
        return;
    }
    // The terminal hands over the bytes of one key press together (an arrow
    // key is ESC [ A): one read takes them all, so that none is left to
    // answer the next prompt or to reach the shell.
    unsigned char key[64];
    ssize_t got;
    do {
        got = read(fd, key, sizeof key);
    } while (got < 0 && errno == EINTR);
    tcsetattr(fd, TCSANOW, &saved);
    close(fd);
}

int ProcessExitStatus(std::int32_t resultCode)
{
    // The exit status carries 8 bits. Keep the low byte; a non-zero code whose
    // low byte is 0 (256, 512, -256 ...) must never read as a pass.
    if (resultCode == 0) return 0;
    const int low = static_cast<int>(static_cast<std::uint32_t>(resultCode) & 0xFFu);
    return low != 0 ? low : 1;
}
