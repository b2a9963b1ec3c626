// Runs a program and writes its whole exit code, as a signed 32-bit number,
// to a file: under Wine a Linux shell sees only its low 8 bits.
//   xov_exit_code OUTFILE PROGRAM [ARGUMENTS...]
// The program inherits the console and the standard handles.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// One argument as the C runtime of the child will split it again.
std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: xov_exit_code OUTFILE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::string command;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) command.push_back(' ');
        command += Quote(argv[i]);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "xov_exit_code: cannot start %s (error %lu)\n", argv[2], GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const BOOL got = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!got) return 4;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 5;
    std::fprintf(out, "%ld\n", static_cast<long>(static_cast<std::int32_t>(code)));
    std::fclose(out);
    return 0;
}
