#include "common/output.h"

#include <cstdarg>
#include <string>

std::FILE* output = nullptr;
std::FILE* ConsoleStream = stdout;

namespace {

std::string Format(const char* format, std::va_list args)
{
    std::va_list copy;
    va_copy(copy, args);
    char small[512];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, static_cast<std::size_t>(needed));
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

// The last character written to each channel, so that a CR at the end of
// one write and an LF at the start of the next stay one line end.
char lastConsoleChar = '\0';
char lastLogChar = '\0';

// Writes data with every bare LF turned into CR LF, then flushes, so that a
// run that dies keeps every line written before.
void WriteTo(std::FILE* stream, char& last, const char* data, std::size_t length)
{
    if (stream == nullptr || length == 0) return;
    std::string out;
    out.reserve(length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        if (data[i] == '\n' && last != '\r') out.push_back('\r');
        out.push_back(data[i]);
        last = data[i];
    }
    std::fwrite(out.data(), 1, out.size(), stream);
    std::fflush(stream);
}

}  // namespace

bool OpenRunLog()
{
    // Binary mode: the line ends are written as they stand, never translated.
    output = std::fopen(kRunLogName, "wb");
    lastLogChar = '\0';
    return output != nullptr;
}

void CloseRunLog()
{
    if (output != nullptr) std::fclose(output);
    output = nullptr;
}

void WriteConsole(const char* data, std::size_t length)
{
    WriteTo(ConsoleStream, lastConsoleChar, data, length);
}

void WriteLog(const char* data, std::size_t length)
{
    WriteTo(output, lastLogChar, data, length);
}

void PrintBoth(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    WriteConsole(text.data(), text.size());
    WriteLog(text.data(), text.size());
}

void PrintConsole(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    WriteConsole(text.data(), text.size());
}

void PrintLog(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    WriteLog(text.data(), text.size());
}
