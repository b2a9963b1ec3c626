#include "sim/hub_file.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>

#include "sim/hub_file_calibrate.h"
#include "sim/hub_file_light.h"
#include "sim/hub_file_link.h"
#include "sim/hub_file_save.h"
#include "sim/hub_file_selftest.h"
#include "sim/hub_file_words.h"

namespace sim {

namespace {

constexpr std::uint64_t kMaxAddress = 0xFFFFFF;
// The largest hub file read; the ones in sim/hubs are about 3 KiB.
constexpr std::size_t kMaxFileSize = 1024 * 1024;

// A word as it was written, NULs and other control bytes as escapes.
std::string Visible(const std::string& text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\0')
            shown += "\\0";
        else if (byte < 0x20 || byte == 0x7F)
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
        else
            shown += c;
    }
    return shown;
}

// Paths and names cannot hold a NUL (the OS and the tool end them there);
// only the quoted texts of "mem" may. A word outside quotes never does, in
// any line: a raw NUL there would cut a device path short.
bool CheckNoNul(const std::vector<HubFileWord>& words, std::string& error)
{
    const bool mem = words[0].text == "mem" && !words[0].quoted;
    for (const HubFileWord& word : words) {
        if (word.text.find('\0') == std::string::npos) continue;
        if (!word.quoted)
            return Fail(error, Visible(words[0].text) + ": NUL in '" + Visible(word.text) +
                                   "' (only a quoted text of mem may hold one)");
        if (mem) continue;
        return Fail(error, Visible(words[0].text) + ": NUL in \"" + Visible(word.text) + "\" (only mem may hold one)");
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a line into words; false with error on an unterminated quote or a
// bad escape.
bool SplitLine(const std::string& line, std::vector<HubFileWord>& words, std::string& error)
{
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') break;
        HubFileWord word;
        if (c == '"') {
            word.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    word.text.push_back(d);
                    continue;
                }
                if (i >= line.size()) break;
                d = line[i++];
                switch (d) {
                    case '0':
                        word.text.push_back('\0');
                        break;
                    case 'n':
                        word.text.push_back('\n');
                        break;
                    case 'r':
                        word.text.push_back('\r');
                        break;
                    case 't':
                        word.text.push_back('\t');
                        break;
                    case '\\':
                        word.text.push_back('\\');
                        break;
                    case '"':
                        word.text.push_back('"');
                        break;
                    case 'x': {
                        const int hi = i < line.size() ? HexDigit(line[i]) : -1;
                        const int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
                        if (hi < 0 || lo < 0) return Fail(error, "bad \\x escape (two hex digits expected)");
                        word.text.push_back(static_cast<char>(hi * 16 + lo));
                        i += 2;
                        break;
                    }
                    default:
                        return Fail(error, std::string("unknown escape \\") + d);
                }
            }
            if (!closed) return Fail(error, "unterminated quoted text");
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#')
                word.text.push_back(line[i++]);
        }
        words.push_back(std::move(word));
    }
    return true;
}

bool ParseAddress(const HubFileWord& word, std::uint32_t& address, std::string& error)
{
    std::uint64_t value = 0;
    if (word.quoted || !ParseNumber(word.text, kMaxAddress, value))
        return Fail(error, "bad address '" + word.text + "' (0 to 0xFFFFFF)");
    address = static_cast<std::uint32_t>(value);
    return true;
}

// device PATH [page=N] [usage=N] [pid=N] [index=N] [open=yes|no]
//        [attributes=ok|fail] [caps=ok|fail] [hub]
bool DeviceDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "device: a path is needed");
    SimDevice device;
    device.path = words[1].text;
    if (device.path.empty()) return Fail(error, "device: empty path");
    int index = context.nextIndex;
    bool pageGiven = false;
    bool usageGiven = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& word = words[i].text;
        if (word == "hub" && !words[i].quoted) {
            device.hub = context.hub;
            continue;
        }
        std::string key;
        std::string value;
        if (!SplitKeyValue(word, key, value)) return Fail(error, "device: unknown word '" + word + "'");
        std::uint64_t number = 0;
        bool flag = false;
        if (key == "page" || key == "usage" || key == "pid") {
            if (!ParseNumber(value, 0xFFFF, number)) return Fail(error, "device: bad " + key + " '" + value + "'");
            const auto v = static_cast<std::uint16_t>(number);
            if (key == "page") device.usagePage = v, pageGiven = true;
            if (key == "usage") device.usage = v, usageGiven = true;
            if (key == "pid") device.productId = v;
        } else if (key == "index") {
            if (!ParseNumber(value, 0x7FFFFFFF, number)) return Fail(error, "device: bad index '" + value + "'");
            index = static_cast<int>(number);
        } else if (key == "open" || key == "attributes" || key == "caps") {
            if (!ParseSwitch(value, flag)) return Fail(error, "device: bad " + key + " '" + value + "'");
            if (key == "open") device.openable = flag;
            if (key == "attributes") device.attributesOk = flag;
            if (key == "caps") device.capsOk = flag;
        } else {
            return UnknownSetting(error, "device", key);
        }
    }
    if (device.hub) {
        if (!pageGiven) device.usagePage = 0xFF83;
        if (!usageGiven) device.usage = 0x80;
        context.hubAttached = true;
    }
    if (context.port->Device(index) != nullptr)
        return Fail(error, "device: index " + std::to_string(index) + " is already taken");
    context.port->SetDevice(index, std::move(device));
    context.nextIndex = index + 1;
    return true;
}

// mem ADDRESS ITEM...   ITEM: a hex byte (03, 0x03) or "quoted text"
bool MemDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 3) return Fail(error, "mem: an address and at least one byte or text are needed");
    std::uint32_t address = 0;
    if (!ParseAddress(words[1], address, error)) return false;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 2; i < words.size(); ++i) {
        if (words[i].quoted) {
            for (char c : words[i].text) bytes.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        std::uint8_t value = 0;
        if (!ParseHexByte(words[i].text, value))
            return Fail(error, "mem: bad byte '" + words[i].text + "' (two hex digits expected)");
        bytes.push_back(value);
    }
    if (address + bytes.size() > kMaxAddress + 1) return Fail(error, "mem: the bytes run past 0xFFFFFF");
    context.hub->Poke(address, bytes);
    return true;
}

// fill ADDRESS COUNT BYTE
bool FillDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() != 4) return Fail(error, "fill: an address, a count and a byte are needed");
    std::uint32_t address = 0;
    if (!ParseAddress(words[1], address, error)) return false;
    std::uint64_t count = 0;
    if (!ParseNumber(words[2].text, kMaxAddress + 1, count))
        return Fail(error, "fill: bad count '" + words[2].text + "'");
    std::uint8_t value = 0;
    if (!ParseHexByte(words[3].text, value)) return Fail(error, "fill: bad byte '" + words[3].text + "'");
    if (address + count > kMaxAddress + 1) return Fail(error, "fill: the bytes run past 0xFFFFFF");
    for (std::uint64_t i = 0; i < count; ++i) context.hub->Poke(address + static_cast<std::uint32_t>(i), value);
    return true;
}

// fault KIND [always] [from=K] [times=N] [value=B] [byte=N]
bool FaultDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    if (words.size() < 2) return Fail(error, "fault: a kind is needed");
    HubFaults& faults = context.hub->faults;
    static const std::map<std::string, FaultWindow HubFaults::*> kinds = {
        {"get-fail", &HubFaults::getFail},
        {"set-fail", &HubFaults::setFail},
        {"silent", &HubFaults::silent},
        {"wrong-echo", &HubFaults::wrongEcho},
        {"reply-command", &HubFaults::replyCommand},
    };
    auto kind = kinds.find(words[1].text);
    if (kind == kinds.end()) return Fail(error, "fault: unknown kind '" + words[1].text + "'");
    FaultWindow window = FaultWindow::Always();
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& word = words[i].text;
        if (word == "always") continue;
        std::string key;
        std::string value;
        std::uint64_t number = 0;
        if (!SplitSetting(words[i], "fault", key, value, error)) return false;
        if (key == "from" || key == "times") {
            if (!ParseNumber(value, 0x7FFFFFFF, number) || (key == "from" && number == 0))
                return Fail(error, "fault: bad " + key + " '" + value + "'");
            if (key == "from") window.first = static_cast<int>(number);
            if (key == "times") window.count = static_cast<int>(number);
        } else if (key == "value" && kind->first == "reply-command") {
            if (!ParseNumber(value, 0xFF, number)) return Fail(error, "fault: bad value '" + value + "'");
            faults.replyCommandValue = static_cast<std::uint8_t>(number);
        } else if (key == "byte" && kind->first == "wrong-echo") {
            if (!ParseNumber(value, 5, number) || number < 2)
                return Fail(error, "fault: bad byte '" + value + "' (2 to 5)");
            faults.wrongEchoByte = static_cast<std::size_t>(number);
        } else {
            return UnknownSetting(error, "fault", key);
        }
    }
    faults.*(kind->second) = window;
    return true;
}

// hub [custom-mode=on|off] [require-custom-mode=yes|no] [fill=BYTE]
bool HubDirective(HubFileContext& context, const std::vector<HubFileWord>& words, std::string& error)
{
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string key;
        std::string value;
        if (!SplitSetting(words[i], "hub", key, value, error)) return false;
        bool flag = false;
        if (key == "custom-mode" || key == "require-custom-mode") {
            if (!ParseSwitch(value, flag)) return Fail(error, "hub: bad " + key + " '" + value + "'");
            if (key == "custom-mode") context.hub->customMode = flag;
            if (key == "require-custom-mode") context.hub->requireCustomMode = flag;
        } else if (key == "fill") {
            std::uint8_t byte = 0;
            if (!ParseHexByte(value, byte)) return Fail(error, "hub: bad fill '" + value + "'");
            context.hub->memoryFill = byte;
        } else {
            return UnknownSetting(error, "hub", key);
        }
    }
    return true;
}

std::map<std::string, HubFileDirective>& Directives()
{
    static std::map<std::string, HubFileDirective> table = [] {
        std::map<std::string, HubFileDirective> t = {
            {"device", &DeviceDirective}, {"mem", &MemDirective}, {"fill", &FillDirective},
            {"fault", &FaultDirective},   {"hub", &HubDirective},
        };
        AddLinkDirectives(t);
        AddSelfTestDirectives(t);
        AddCalibrateDirectives(t);
        AddLightDirectives(t);
        AddSaveDirectives(t);
        return t;
    }();
    return table;
}

}  // namespace

void RegisterHubFileDirective(const std::string& keyword, HubFileDirective directive)
{
    Directives()[keyword] = directive;
}

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty()) return false;
    std::size_t i = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    std::uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0 || static_cast<unsigned>(d) >= base) return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > max) return false;
    }
    value = v;
    return true;
}

bool SplitKeyValue(const std::string& word, std::string& key, std::string& value)
{
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

bool ParseSwitch(const std::string& text, bool& value)
{
    static const std::map<std::string, bool> words = {
        {"yes", true},   {"no", false},  {"on", true},     {"off", false}, {"ok", true},
        {"fail", false}, {"true", true}, {"false", false}, {"1", true},    {"0", false},
    };
    auto it = words.find(text);
    if (it == words.end()) return false;
    value = it->second;
    return true;
}

bool LoadHubText(const std::string& text, const std::string& name, SimPort& port, std::string& error,
                 std::shared_ptr<SimHub>* hubOut)
{
    port.Reset();
    HubFileContext context;
    context.port = &port;
    context.hub = std::make_shared<SimHub>();
    if (hubOut != nullptr) *hubOut = context.hub;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<HubFileWord> words;
        std::string message;
        bool ok = SplitLine(line, words, message);
        if (ok && !words.empty()) ok = CheckNoNul(words, message);
        if (ok && !words.empty()) {
            auto it = Directives().find(words[0].text);
            if (words[0].quoted || it == Directives().end())
                ok = Fail(message, "unknown directive '" + words[0].text + "'");
            else
                ok = it->second(context, words, message);
        }
        if (!ok) {
            error = name + ":" + std::to_string(number) + ": " + message;
            return false;
        }
    }
    return true;
}

bool LoadHubFile(const std::string& path, SimPort& port, std::string& error, std::shared_ptr<SimHub>* hubOut)
{
    // Before opening it: a directory would read as an empty file, a device
    // or a pipe may never end (or block the open).
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return Fail(error, path + ": cannot be read");
    if (!S_ISREG(status.st_mode)) return Fail(error, path + ": not a regular file");
    if (static_cast<std::uint64_t>(status.st_size) > kMaxFileSize) return Fail(error, path + ": larger than 1 MiB");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, path + ": cannot be read");
    // One byte more than the limit, for a file that grew since the stat.
    std::string text(kMaxFileSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return Fail(error, path + ": cannot be read");
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFileSize) return Fail(error, path + ": larger than 1 MiB");
    return LoadHubText(text, path, port, error, hubOut);
}

}  // namespace sim
