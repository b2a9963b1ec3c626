// Platform services of the front end: single-instance guard, console and
// process exit status. One implementation file per platform.
#pragma once

#include <cstdint>
#include <string>

enum class InstanceGuard {
    Created,        // this is the only instance; the guard stays held until the process ends
    AlreadyExists,  // another instance holds it
    Failed,         // the guard could not be created; the run goes on without it
};

// Creates the named, not owned, single-instance guard. When another instance
// already holds it, the handle is closed again before this returns.
InstanceGuard CreateInstanceGuard(const char* name);

// Where the guard lies. The tool itself never sets it: its guard has one
// place for every user, shell and environment (the named mutex; on POSIX the
// lock file of that name in /tmp). The stand-in and the tests give a
// directory of their own, so that their runs stay apart from every other
// instance on the machine. An empty directory is the tool's own place.
void SetInstanceGuardDirectory(const std::string& directory);

// The guard's place for name: the lock file's path on POSIX, the mutex's name
// on Windows.
std::string InstanceGuardPlace(const char* name);

// Prepares standard output: unbuffered while it is a terminal, and no
// line-end translation (the tool writes CR LF itself).
void ConsoleInit();

// True when the process has a console a key can be read from (on POSIX its
// controlling terminal, on Windows its console input), whatever standard
// input is.
bool ConsoleIsInteractive();

// Waits for one key press without echo and without Enter, read from the
// console; a key that sends several bytes (an arrow key) is one key press.
// Returns at once when there is no console.
void ConsoleWaitKey();

// The process exit status for a result code. Platforms whose exit status
// carries the whole 32 bits return the code itself.
int ProcessExitStatus(std::int32_t resultCode);
