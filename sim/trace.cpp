#include "sim/trace.h"

#include <cstdio>

#include "sim/virtual_clock.h"

namespace sim {

namespace {

std::vector<std::string> lines;
std::FILE* file = nullptr;

// The event part of a line: the text after "t=<ms> ".
std::string EventOf(const std::string& line)
{
    const std::size_t space = line.find(' ');
    return space == std::string::npos ? std::string() : line.substr(space + 1);
}

bool Matches(const std::string& event, const std::vector<std::string>& kinds)
{
    if (kinds.empty()) return true;
    for (const std::string& kind : kinds) {
        if (event.compare(0, kind.size(), kind) == 0 && (event.size() == kind.size() || event[kind.size()] == ' '))
            return true;
    }
    return false;
}

}  // namespace

void TraceReset()
{
    lines.clear();
    TraceCloseFile();
}

void TraceEvent(const std::string& event)
{
    lines.push_back("t=" + std::to_string(VirtualNow()) + " " + event);
    if (file != nullptr) {
        std::fputs(lines.back().c_str(), file);
        std::fputc('\n', file);
        std::fflush(file);
    }
}

bool TraceToFile(const std::string& path)
{
    TraceCloseFile();
    file = std::fopen(path.c_str(), "wb");
    return file != nullptr;
}

void TraceCloseFile()
{
    if (file != nullptr) std::fclose(file);
    file = nullptr;
}

const std::vector<std::string>& TraceLines()
{
    return lines;
}

std::vector<std::string> TraceFilter(const std::vector<std::string>& kinds)
{
    std::vector<std::string> out;
    for (const std::string& line : lines)
        if (Matches(EventOf(line), kinds)) out.push_back(line);
    return out;
}

std::vector<std::string> TraceEvents(const std::vector<std::string>& kinds)
{
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        std::string event = EventOf(line);
        if (Matches(event, kinds)) out.push_back(std::move(event));
    }
    return out;
}

std::string TraceText()
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string HexBytes(const std::uint8_t* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0x0F]);
    }
    return text;
}

}  // namespace sim
