#include "hub/hid_port_linux_parse.h"

namespace {

// Item types and tags of the short items that matter here.
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeLocal = 2;
constexpr unsigned kMainCollection = 0xA;
constexpr unsigned kGlobalUsagePage = 0x0;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;
constexpr unsigned kLocalUsage = 0x0;
constexpr std::uint32_t kCollectionApplication = 0x01;
constexpr std::uint8_t kLongItemPrefix = 0xFE;

bool ParseHex(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 8) return false;
    std::uint32_t v = 0;
    for (char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        v = (v << 4) | digit;
    }
    value = v;
    return true;
}

}  // namespace

namespace {

constexpr unsigned kMainEndCollection = 0xC;

// The usage pair of an application collection from the local usage before it.
void CollectionUsage(bool haveUsage, bool usageHasPage, std::uint32_t firstUsage, std::uint16_t page,
                     std::uint16_t& usagePage, std::uint16_t& usage)
{
    if (!haveUsage) {
        usagePage = page;
        usage = 0;
    } else if (usageHasPage) {
        usagePage = static_cast<std::uint16_t>(firstUsage >> 16);
        usage = static_cast<std::uint16_t>(firstUsage & 0xFFFFu);
    } else {
        usagePage = page;
        usage = static_cast<std::uint16_t>(firstUsage & 0xFFFFu);
    }
}

// Walks the descriptor's items. Without wanted: the pair of the first
// application collection, wherever it lies. With wanted: true at the first
// top-level application collection whose pair equals it, going on past
// every other collection. False at the end, or where the descriptor is
// truncated or malformed.
bool WalkCollections(const std::uint8_t* descriptor, std::size_t length, const std::uint16_t* wanted,
                     std::uint16_t& usagePage, std::uint16_t& usage)
{
    if (descriptor == nullptr) return false;

    std::uint16_t page = 0;
    std::uint16_t pageStack[kHidGlobalStackDepth] = {};
    int depth = 0;
    std::size_t nesting = 0;  // open collections
    bool haveUsage = false;
    bool usageHasPage = false;
    std::uint32_t firstUsage = 0;

    std::size_t pos = 0;
    while (pos < length) {
        const std::uint8_t prefix = descriptor[pos];
        const std::size_t left = length - pos - 1;  // bytes after the prefix

        if (prefix == kLongItemPrefix) {
            // Long item: prefix, data size, tag, then the data.
            if (left < 2) return false;
            const std::size_t dataSize = descriptor[pos + 1];
            if (left - 2 < dataSize) return false;
            pos += 3 + dataSize;
            continue;
        }

        const unsigned sizeCode = prefix & 0x3u;
        const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
        if (left < dataSize) return false;
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            data |= static_cast<std::uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        const unsigned type = (prefix >> 2) & 0x3u;
        const unsigned tag = prefix >> 4;
        pos += 1 + dataSize;

        if (type == kTypeMain) {
            if (tag == kMainCollection) {
                if (data == kCollectionApplication && (wanted == nullptr || nesting == 0)) {
                    std::uint16_t foundPage = 0;
                    std::uint16_t foundUsage = 0;
                    CollectionUsage(haveUsage, usageHasPage, firstUsage, page, foundPage, foundUsage);
                    if (wanted == nullptr || (foundPage == wanted[0] && foundUsage == wanted[1])) {
                        usagePage = foundPage;
                        usage = foundUsage;
                        return true;
                    }
                }
                ++nesting;
            } else if (tag == kMainEndCollection && nesting > 0) {
                --nesting;
            }
            // Every main item ends the local items that came before it.
            haveUsage = false;
            usageHasPage = false;
            firstUsage = 0;
        } else if (type == kTypeGlobal) {
            if (tag == kGlobalUsagePage) {
                page = static_cast<std::uint16_t>(data & 0xFFFFu);
            } else if (tag == kGlobalPush) {
                if (depth == kHidGlobalStackDepth) return false;
                pageStack[depth++] = page;
            } else if (tag == kGlobalPop) {
                if (depth == 0) return false;
                page = pageStack[--depth];
            }
        } else if (type == kTypeLocal) {
            if (tag == kLocalUsage && !haveUsage) {
                haveUsage = true;
                usageHasPage = (dataSize == 4);
                firstUsage = data;
            }
        }
    }
    return false;
}

}  // namespace

bool HidPortParseTopLevelUsage(const std::uint8_t* descriptor, std::size_t length, std::uint16_t& usagePage,
                               std::uint16_t& usage)
{
    return WalkCollections(descriptor, length, nullptr, usagePage, usage);
}

bool HidPortParseHasTopLevelUsage(const std::uint8_t* descriptor, std::size_t length, std::uint16_t usagePage,
                                  std::uint16_t usage)
{
    const std::uint16_t wanted[2] = {usagePage, usage};
    std::uint16_t page = 0;
    std::uint16_t use = 0;
    return WalkCollections(descriptor, length, wanted, page, use);
}

bool HidPortParseHidrawName(std::string_view name, int& number)
{
    constexpr std::string_view kPrefix = "hidraw";
    if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return false;
    const std::string_view digits = name.substr(kPrefix.size());
    if (digits.size() > 9) return false;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    number = n;
    return true;
}

bool HidPortParseUeventProductId(std::string_view uevent, std::uint16_t& productId)
{
    constexpr std::string_view kKey = "HID_ID=";
    std::size_t start = 0;
    while (start < uevent.size()) {
        std::size_t end = uevent.find('\n', start);
        if (end == std::string_view::npos) end = uevent.size();
        std::string_view line = uevent.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, kKey.size()) != kKey) continue;

        // bus:vendor:product, each hexadecimal.
        const std::string_view value = line.substr(kKey.size());
        const std::size_t first = value.find(':');
        if (first == std::string_view::npos) return false;
        const std::size_t second = value.find(':', first + 1);
        if (second == std::string_view::npos) return false;
        std::uint32_t bus = 0;
        std::uint32_t vendor = 0;
        std::uint32_t product = 0;
        if (!ParseHex(value.substr(0, first), bus)) return false;
        if (!ParseHex(value.substr(first + 1, second - first - 1), vendor)) return false;
        if (!ParseHex(value.substr(second + 1), product)) return false;
        if (product > 0xFFFFu) return false;
        productId = static_cast<std::uint16_t>(product);
        return true;
    }
    return false;
}
