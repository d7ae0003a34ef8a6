// Parsing of the HID_ID line of a hidraw parent's uevent text.
#include "hid/hid_backend.h"

#include "base/text.h"

#include <cstring>

namespace {

const char HID_ID_KEY[] = "HID_ID=";
const std::size_t HID_ID_KEY_LEN = sizeof HID_ID_KEY - 1;

// Reads 1 to 8 hex digits from [*pos, end) into *value, stopping before the
// first non-digit. False when there is no digit or more than 8 of them.
bool ueventHexField(const char **pos, const char *end, std::uint32_t *value)
{
    const char *p = *pos;
    std::uint32_t result = 0;
    std::size_t digits = 0;
    for (; p < end; ++p) {
        int digit = textHexDigit(*p);
        if (digit < 0)
            break;
        if (++digits > 8)
            return false;
        result = result * 16u + static_cast<std::uint32_t>(digit);
    }
    if (digits == 0)
        return false;
    *pos = p;
    *value = result;
    return true;
}

// Parses "BBBB:VVVVVVVV:PPPPPPPP" filling exactly [p, end).
bool ueventParseHidId(const char *p, const char *end, std::uint32_t *vendor, std::uint32_t *product)
{
    std::uint32_t bus = 0, v = 0, pr = 0;
    if (!ueventHexField(&p, end, &bus) || p == end || *p++ != ':')
        return false;
    if (!ueventHexField(&p, end, &v) || p == end || *p++ != ':')
        return false;
    if (!ueventHexField(&p, end, &pr) || p != end)
        return false;
    *vendor = v;
    *product = pr;
    return true;
}

} // namespace

bool hidParseUevent(const char *text, std::size_t len, std::uint32_t *vendor,
                    std::uint32_t *product)
{
    if (text == nullptr)
        return false;
    const char *end = text + len;
    const char *line = text;
    while (line < end) {
        const void *nl = std::memchr(line, '\n', static_cast<std::size_t>(end - line));
        const char *lineEnd = nl != nullptr ? static_cast<const char *>(nl) : end;
        std::size_t lineLen = static_cast<std::size_t>(lineEnd - line);
        // The kernel writes one HID_ID line; the first one decides.
        if (lineLen >= HID_ID_KEY_LEN && std::memcmp(line, HID_ID_KEY, HID_ID_KEY_LEN) == 0)
            return ueventParseHidId(line + HID_ID_KEY_LEN, lineEnd, vendor, product);
        if (nl == nullptr)
            break;
        line = lineEnd + 1;
    }
    return false;
}
