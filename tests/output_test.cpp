#include "common/output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace {

// Points the console at a temporary file and reads back what was written.
class ConsoleCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ConsoleStream = file;
    }
    void TearDown() override
    {
        ConsoleStream = stdout;
        std::fclose(file);
    }
    std::string Written()
    {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
        return text;
    }
    std::FILE* file = nullptr;
};

}  // namespace

TEST_F(ConsoleCapture, LineEndsAreCrLfOnce)
{
    PrintConsole("a\n");
    PrintConsole("b\r\n");
    PrintConsole("\r\nc: %d\n", 5);
    PrintConsole("\rprogress");
    PrintConsole("\r");
    PrintConsole("\n");
    const char raw[] = {'x', '\0', '\n'};
    WriteConsole(raw, sizeof raw);
    const char expected[] = "a\r\nb\r\n\r\nc: 5\r\n\rprogress\r\nx\0\r\n";
    EXPECT_EQ(Written(), std::string(expected, sizeof expected - 1));
}

TEST_F(ConsoleCapture, LongTextsAreWrittenWhole)
{
    const std::string text(2000, 'z');
    PrintConsole("%s|", text.c_str());
    EXPECT_EQ(Written(), text + "|");
}

TEST_F(ConsoleCapture, NoLogOpenWritesTheConsoleOnly)
{
    ASSERT_EQ(output, nullptr);
    PrintBoth("both\n");
    PrintLog("log only\n");
    EXPECT_EQ(Written(), "both\r\n");
}

TEST_F(ConsoleCapture, ConversionsAsPrintfGivesThem)
{
    PrintConsole("%d|%5d|%-5d|%05d|%+d|%x|%X|%02X|%o|%u|%%|", -7, 42, 42, 42, 3, 0xbeefu, 0xbeefu, 0x5u, 8u,
                 4000000000u);
    PrintConsole("%*d|%-*d|%.*f|%*.*f|", 4, 1, 3, 2, 1, 0.25, 6, 2, -1.5);
    PrintConsole("%.*f|", -1, 0.5);  // a negative precision counts as omitted
    PrintConsole("%ld|%lld|%zu|%hhd|%hd|%jd|%lu|", -5L, -6LL, std::size_t{7}, static_cast<signed char>(-3),
                 static_cast<short>(-4000), std::intmax_t{-8}, 9UL);
    PrintConsole("%f|%1.2f|%3.2f|%e|%g|%s|%.3s|%c|", 0.125, 0.125, -0.125, 1e-5, 2.5, "txt", "abcdef", 'q');
    EXPECT_EQ(Written(),
              "-7|   42|42   |00042|+3|beef|BEEF|05|10|4000000000|%|"
              "   1|2  |0.2| -1.50|"
              "0.500000|"
              "-5|-6|7|-3|-4000|-8|9|"
              "0.125000|0.12|-0.12|1.000000e-05|2.5|txt|abc|q|");
}

TEST_F(ConsoleCapture, NanPrintsWithoutSignOnEveryPlatform)
{
    // The C libraries disagree on a NaN's sign ("-nan" against "nan"); the
    // tool always prints the positive one. 0/0 gives a NaN with the sign set.
    volatile double zero = 0.0;
    const double nan = zero / zero;
    const float nanf = static_cast<float>(-nan);
    PrintConsole("[%f][%1.2f][%6.2f][%-6.2f][%F][%e]", nan, -nan, nan, static_cast<double>(nanf), nan, nan);
    PrintConsole("[%f][%f][%Lf]", std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                 static_cast<long double>(nan));
    EXPECT_EQ(Written(), "[nan][nan][   nan][nan   ][NAN][nan][inf][-inf][nan]");
}

TEST_F(ConsoleCapture, NulCharacterConversionIsKept)
{
    PrintConsole("[%c][%s]", 0, "");
    const char expected[] = "[\0][]";
    EXPECT_EQ(Written(), std::string(expected, sizeof expected - 1));
}
