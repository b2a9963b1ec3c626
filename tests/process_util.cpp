#include "tests/process_util.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testutil {

namespace {

std::vector<char*> CArgs(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// In the child: enter cwd, set TMPDIR, exec. Never returns.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const std::string& cwd, const std::string& tmpdir,
                            int uid)
{
    if (uid != -1 && (setgid(static_cast<gid_t>(uid)) != 0 || setuid(static_cast<uid_t>(uid)) != 0)) _exit(126);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    signal(SIGPIPE, SIG_DFL);  // as a shell starts it, whatever this process does
    std::vector<char*> args = CArgs(argv);
    execv(args[0], args.data());
    _exit(127);
}

int DecodeStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string BinaryPath(const std::string& name)
{
    return std::string(XOV_BINARY_DIR) + "/" + name;
}

TempDir::TempDir()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/xovtest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path)
{
    return std::filesystem::exists(path);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd, const std::string& tmpdir,
                         bool mergeStderr, int uid)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        if (mergeStderr) dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        setsid();  // no controlling terminal: the tool sees no console
        ExecChild(argv, cwd, tmpdir, uid);
    }
    close(pipeFds[1]);
    ProcessResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0) {
            result.out.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = DecodeStatus(status);
    return result;
}

ProcessResult RunProcessClosedConsole(const std::vector<std::string>& argv, const std::string& cwd,
                                      const std::string& tmpdir)
{
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) _exit(125);
        close(pipeFds[0]);  // nobody reads
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        close(pipeFds[1]);
        setsid();
        ExecChild(argv, cwd, tmpdir, -1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProcessResult result;
    result.exitStatus = DecodeStatus(status);
    return result;
}

PtyProcess::PtyProcess(const std::vector<std::string>& argv, const std::string& cwd, const std::string& tmpdir,
                       int uid, bool inputFromDevNull)
{
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
        if (inputFromDevNull) {
            const int devNull = open("/dev/null", O_RDONLY);
            dup2(devNull, STDIN_FILENO);
            close(devNull);
        }
        ExecChild(argv, cwd, tmpdir, uid);
    }
}

PtyProcess::~PtyProcess()
{
    if (!done_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

void PtyProcess::Drain(int timeoutMs)
{
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return;
    char buffer[4096];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got > 0) out_.append(buffer, static_cast<std::size_t>(got));
}

bool PtyProcess::WaitFor(const std::string& needle, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out_.find(needle) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        Drain(static_cast<int>(left < 50 ? left : 50));
    }
    return true;
}

bool PtyProcess::StaysAlive(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        Drain(20);
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            done_ = true;
            status_ = DecodeStatus(status);
            return false;
        }
    }
    return true;
}

void PtyProcess::Type(const std::string& keys)
{
    if (write(master_, keys.data(), keys.size()) < 0) throw std::runtime_error("write to pty failed");
}

int PtyProcess::Wait(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_) {
        Drain(20);
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            done_ = true;
            status_ = DecodeStatus(status);
            break;
        }
        if (std::chrono::steady_clock::now() > end) return -1;
    }
    Drain(0);
    return status_;
}

}  // namespace testutil
