// Starting the tool's executables from tests: in a working directory and
// with a TMPDIR of their own, on a pipe or on a pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testutil {

// Path of an executable built into the build tree.
std::string BinaryPath(const std::string& name);

// A fresh directory under the system's temporary directory, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

struct ProcessResult {
    int exitStatus = -1;  // the exit status, or -1 when the process did not exit normally
    std::string out;      // standard output
};

// Runs argv (argv[0] a path) to its end with standard input from /dev/null.
// Standard error is captured with standard output when mergeStderr is set;
// the process runs as user uid when it is not -1 (the caller must be root).
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd, const std::string& tmpdir,
                         bool mergeStderr = false, int uid = -1);

// Runs argv to its end with a standard output whose reading end is closed
// before it starts, as when the console's reader has gone; out stays empty.
// exitStatus is -1 when a signal ended it.
ProcessResult RunProcessClosedConsole(const std::vector<std::string>& argv, const std::string& cwd,
                                      const std::string& tmpdir);

// A process on a pseudo-terminal, so that it sees a console; as user uid
// when it is not -1. With inputFromDevNull its standard input is /dev/null
// while the terminal stays its controlling terminal.
class PtyProcess {
public:
    PtyProcess(const std::vector<std::string>& argv, const std::string& cwd, const std::string& tmpdir, int uid = -1,
               bool inputFromDevNull = false);
    ~PtyProcess();
    PtyProcess(const PtyProcess&) = delete;
    PtyProcess& operator=(const PtyProcess&) = delete;

    // Reads until the output so far contains needle (true) or timeoutMs of
    // real time passed (false).
    bool WaitFor(const std::string& needle, int timeoutMs = 10000);
    // True when the process stays alive for ms milliseconds of real time.
    bool StaysAlive(int ms);
    void Type(const std::string& keys);
    // Waits for the end and returns the exit status (-1 if killed or timed out).
    int Wait(int timeoutMs = 10000);
    const std::string& output() const { return out_; }

private:
    void Drain(int timeoutMs);
    pid_t pid_ = -1;
    int master_ = -1;
    std::string out_;
    int status_ = -1;
    bool done_ = false;
};

}  // namespace testutil
