#include "common/output.h"

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <string>
#include <type_traits>

std::FILE* output = nullptr;
std::FILE* ConsoleStream = stdout;

namespace {

// Appends one conversion, formatted by the C library with its own spec.
template <typename T>
void AppendOne(std::string& out, const std::string& spec, T value)
{
    char small[128];
    const int needed = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (needed < 0) return;
    const std::size_t length = static_cast<std::size_t>(needed);
    if (length < sizeof small) {
        out.append(small, length);
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + length + 1);
    std::snprintf(out.data() + at, length + 1, spec.c_str(), value);
    out.resize(at + length);
}

bool IsFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// wint_t as it travels through "...": narrower types arrive promoted to int.
using WideCharArg = std::conditional_t<(sizeof(std::wint_t) < sizeof(int)), int, std::wint_t>;

enum class Length { None, Char, Short, Long, LongLong, Max, Size, Diff, LongDouble };

// printf, one conversion at a time. The C libraries of Linux and Windows print
// a NaN with its sign bit differently ("-nan" against "nan"), so every NaN is
// printed as the positive one; everything else is the library's own output.
// A bare "\n" stays as it is here; the writers turn it into CR LF.
std::string Format(const char* format, std::va_list args)
{
    std::string out;
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        const char* const start = p++;
        if (*p == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        std::string spec = "%";
        while (IsFlag(*p)) spec.push_back(*p++);
        if (*p == '*') {
            spec += std::to_string(va_arg(args, int));  // a negative width is the '-' flag and its size
            ++p;
        } else {
            while (IsDigit(*p)) spec.push_back(*p++);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                const int precision = va_arg(args, int);
                if (precision >= 0) {  // a negative one counts as omitted
                    spec.push_back('.');
                    spec += std::to_string(precision);
                }
                ++p;
            } else {
                spec.push_back('.');
                while (IsDigit(*p)) spec.push_back(*p++);
            }
        }
        Length length = Length::None;
        switch (*p) {
            case 'h':
                length = (p[1] == 'h') ? Length::Char : Length::Short;
                break;
            case 'l':
                length = (p[1] == 'l') ? Length::LongLong : Length::Long;
                break;
            case 'j':
                length = Length::Max;
                break;
            case 'z':
                length = Length::Size;
                break;
            case 't':
                length = Length::Diff;
                break;
            case 'L':
                length = Length::LongDouble;
                break;
            default:
                break;
        }
        if (length != Length::None) {
            const int size = (length == Length::Char || length == Length::LongLong) ? 2 : 1;
            spec.append(p, static_cast<std::size_t>(size));
            p += size;
        }
        const char conversion = *p;
        if (conversion == '\0') {  // a format that ends inside a conversion: print it as it stands
            out.append(start);
            break;
        }
        ++p;
        spec.push_back(conversion);
        switch (conversion) {
            case 'd':
            case 'i':
                switch (length) {
                    case Length::Long:
                        AppendOne(out, spec, va_arg(args, long));
                        break;
                    case Length::LongLong:
                        AppendOne(out, spec, va_arg(args, long long));
                        break;
                    case Length::Max:
                        AppendOne(out, spec, va_arg(args, std::intmax_t));
                        break;
                    case Length::Size:
                    case Length::Diff:
                        AppendOne(out, spec, va_arg(args, std::ptrdiff_t));
                        break;
                    default:
                        AppendOne(out, spec, va_arg(args, int));
                        break;
                }
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                switch (length) {
                    case Length::Long:
                        AppendOne(out, spec, va_arg(args, unsigned long));
                        break;
                    case Length::LongLong:
                        AppendOne(out, spec, va_arg(args, unsigned long long));
                        break;
                    case Length::Max:
                        AppendOne(out, spec, va_arg(args, std::uintmax_t));
                        break;
                    case Length::Size:
                    case Length::Diff:
                        AppendOne(out, spec, va_arg(args, std::size_t));
                        break;
                    default:
                        AppendOne(out, spec, va_arg(args, unsigned));
                        break;
                }
                break;
            case 'c':
                if (length == Length::Long)
                    AppendOne(out, spec, static_cast<std::wint_t>(va_arg(args, WideCharArg)));
                else
                    AppendOne(out, spec, va_arg(args, int));
                break;
            case 's':
                if (length == Length::Long)
                    AppendOne(out, spec, va_arg(args, const wchar_t*));
                else
                    AppendOne(out, spec, va_arg(args, const char*));
                break;
            case 'p':
                AppendOne(out, spec, va_arg(args, void*));
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                if (length == Length::LongDouble) {
                    long double value = va_arg(args, long double);
                    if (std::isnan(value)) value = std::numeric_limits<long double>::quiet_NaN();
                    AppendOne(out, spec, value);
                } else {
                    double value = va_arg(args, double);
                    if (std::isnan(value)) value = std::numeric_limits<double>::quiet_NaN();
                    AppendOne(out, spec, value);
                }
                break;
            case 'n':
                (void)va_arg(args, void*);
                break;  // nothing is stored through a message's arguments
            default:
                out.append(start, static_cast<std::size_t>(p - start));
                break;  // unknown: as it stands
        }
    }
    return out;
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

void WriteUnchangedTo(std::FILE* stream, char& last, const char* data, std::size_t length)
{
    if (stream == nullptr || length == 0) return;
    std::fwrite(data, 1, length, stream);
    std::fflush(stream);
    last = data[length - 1];
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

void WriteBothUnchanged(const char* data, std::size_t length)
{
    WriteUnchangedTo(ConsoleStream, lastConsoleChar, data, length);
    WriteUnchangedTo(output, lastLogChar, data, length);
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
