// Platform services of the front end: single-instance guard, console and
// process exit status. One implementation file per platform.
#pragma once

#include <cstdint>

enum class InstanceGuard {
    Created,        // this is the only instance; the guard stays held until the process ends
    AlreadyExists,  // another instance holds it
    Failed,         // the guard could not be created; the run goes on without it
};

// Creates the named, not owned, single-instance guard. When another instance
// already holds it, the handle is closed again before this returns.
InstanceGuard CreateInstanceGuard(const char* name);

// Prepares standard output: unbuffered while it is a terminal, and no
// line-end translation (the tool writes CR LF itself).
void ConsoleInit();

// True when standard input is a console a key can be read from.
bool ConsoleIsInteractive();

// Waits for one key press without echo and without Enter. Returns at once
// when there is no console.
void ConsoleWaitKey();

// The process exit status for a result code. Platforms whose exit status
// carries the whole 32 bits return the code itself.
int ProcessExitStatus(std::int32_t resultCode);
