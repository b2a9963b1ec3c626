// Prints the number formats that the tool's messages use, on the console and
// in the run log of the working directory, through the tool's own output
// routines. The Linux and the Windows build of this program must print the
// same bytes; the Windows check script compares them.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/output.h"
#include "common/platform.h"

namespace {

// Values as the tool computes them: counts/256 in g, counts x 0.22381 in dps,
// percentages, and the values where C runtimes round differently (exact
// binary halves such as 0.125) or print differently (zero, infinities, NaN).
const float kFloats[] = {
    0.0f,
    -0.0f,
    0.125f,
    -0.125f,
    0.375f,
    0.625f,
    2.675f,
    1.005f,
    0.005f,
    -0.005f,
    0.0049999f,
    1.0f / 3.0f,
    0.54f,
    -0.54f,
    0.15f,
    static_cast<float>(-33 / 256.0),
    static_cast<float>(255 / 256.0),
    static_cast<float>(32767 / 256.0),
    static_cast<float>(-32768 / 256.0),
    static_cast<float>(-1 * 0.22381),
    static_cast<float>(32767 * 0.22381),
    static_cast<float>(-32768 * 0.22381),
    99.995f,
    100.0f,
    999.999f,
    123456789.0f,
    FLT_MAX,
    -FLT_MAX,
    FLT_MIN,
    1e-30f,
    HUGE_VALF,
    -HUGE_VALF,
};

const std::int32_t kInts[] = {0, 1, -1, 9, 10, 255, 256, -2, -3, 0x7FFFFFFF, INT_MIN, 0x83, 0x8300};

}  // namespace

int main()
{
    ConsoleInit();
    OpenRunLog();
    for (const float f : kFloats) {
        PrintBoth("[%f] [%1.2f] [%3.2f] [%d]\n", f, f, f, static_cast<int>(f > 1e9f || f < -1e9f ? 0 : f));
        const double d = f;
        PrintBoth("[%f] [%1.2f] [%3.2f]\r\n", d * 3, d / 7, -d);
    }
    // NaN: the tool's own arithmetic can give it (0 divided by 0).
    volatile float zero = 0.0f;
    const float nan = zero / zero;
    PrintBoth("[%f] [%1.2f] [%3.2f]\n", nan, -nan, std::nanf(""));
    for (const std::int32_t v : kInts) {
        PrintBoth("[%d] [%x] [%02X] [%x]\n", v, static_cast<unsigned>(v), static_cast<unsigned>(v & 0xFF),
                  static_cast<unsigned>(v & 0xFF));
    }
    // Values passed as the tool passes bytes and words to "%x".
    const std::uint8_t byte = 0xAB;
    const std::uint16_t word = 0xBEEF;
    PrintBoth("Fail (%x) %02X %02X %d\n", byte, byte, 0x0F, word);
    // NUL characters written as they stand; "%c" with 0 keeps its NUL.
    const char withNul[] = {'V', 'e', 'r', '\0', '\0', '1', '\r', '\n'};
    WriteConsole(withNul, sizeof withNul);
    WriteLog(withNul, sizeof withNul);
    PrintBoth("[%c][%s]\n", 0, "");
    // A bare LF, a CR LF, a lone CR, and a text longer than the first buffer.
    PrintBoth("a\nb\r\nc\rd\n\n");
    PrintBoth("%s|%d\n", std::string(700, 'x').c_str(), 700);
    CloseRunLog();
    return 0;
}
