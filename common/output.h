// Console and run-log output. Every line ends in CR LF on both channels: a
// "\n" in a text that is not already preceded by "\r" is written as "\r\n";
// a lone "\r" returns to the start of the console line.
#pragma once

#include <cstddef>
#include <cstdio>

#if defined(__MINGW_PRINTF_FORMAT)
// The Windows build formats with the toolchain's C99 printf, so check formats against that.
#define XOV_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define XOV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define XOV_PRINTF(fmt, args)
#endif

constexpr const char* kRunLogName = "XOVSensorHubCalibration.log";

// The run log; null while it is not open (or could not be created).
extern std::FILE* output;

// Where console texts go; standard output unless a test points it elsewhere.
extern std::FILE* ConsoleStream;

// Creates the run log anew in the working directory. False when it cannot be
// created; the run then goes on with the console only.
bool OpenRunLog();
void CloseRunLog();

// The same words on the console and in the run log.
void PrintBoth(const char* format, ...) XOV_PRINTF(1, 2);
// Console only.
void PrintConsole(const char* format, ...) XOV_PRINTF(1, 2);
// Run log only.
void PrintLog(const char* format, ...) XOV_PRINTF(1, 2);

// Raw bytes (NUL characters included) with the same line-end rule.
void WriteConsole(const char* data, std::size_t length);
void WriteLog(const char* data, std::size_t length);

// Bytes that come from the hub, on the console and in the run log exactly as
// they are: no line-end rule, an LF byte stays one byte.
void WriteBothUnchanged(const char* data, std::size_t length);
