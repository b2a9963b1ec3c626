#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/output.h"

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
