// INI semantics on a file's bytes in memory, matching the Windows profile API.
#include "rules/ini.h"

#include "base/text.h"

#include <cstring>

namespace {

// True for the blanks trimmed around names and values: space, tab, vertical tab.
bool iniIsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v';
}

// True for the bytes that end a line; any run of them ends one line.
bool iniIsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// ASCII lower case; every other byte is left as it is.
char iniLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Moves *begin forward and *end back over blanks.
void iniTrim(const char **begin, const char **end)
{
    while (*begin < *end && iniIsBlank(**begin))
        ++*begin;
    while (*end > *begin && iniIsBlank((*end)[-1]))
        --*end;
}

// Removes one pair of matching outer quotes ("..." or '...') from a value of two or more bytes.
void iniStripQuotes(const char **begin, const char **end)
{
    if (*end - *begin < 2)
        return;
    char first = **begin;
    if ((first == '"' || first == '\'') && (*end)[-1] == first) {
        ++*begin;
        --*end;
    }
}

// The 32-bit two's complement value of bits, without relying on an out-of-range conversion.
std::int32_t iniToSigned(std::uint32_t bits)
{
    if (bits <= 0x7FFFFFFFu)
        return static_cast<std::int32_t>(bits);
    return -static_cast<std::int32_t>(~bits) - 1;
}

// The value of c as a digit of base (10 or 16), or -1 when c cannot continue a number.
int iniDigit(char c, unsigned base)
{
    const int d = textHexDigit(c);
    return (d >= 0 && static_cast<unsigned>(d) < base) ? d : -1;
}

// The name a program asks for, as the profile API takes it: without its leading and trailing
// spaces (tabs stay).
struct IniAsked {
    const char *name;
    std::size_t len;
};

IniAsked iniAsked(const char *name)
{
    std::size_t len = std::strlen(name);
    while (len > 0 && *name == ' ') {
        ++name;
        --len;
    }
    while (len > 0 && name[len - 1] == ' ')
        --len;
    return IniAsked{name, len};
}

// True when the len bytes at text are the asked name, ignoring ASCII case.
bool iniIsAsked(const char *text, std::size_t len, const IniAsked &asked)
{
    if (len != asked.len)
        return false;
    for (std::size_t i = 0; i < len; ++i) {
        if (iniLower(text[i]) != iniLower(asked.name[i]))
            return false;
    }
    return true;
}

} // namespace

void iniScanStart(IniScan *scan, const char *text, std::size_t len)
{
    scan->pos = text;
    scan->end = text + len;
    scan->lf = nullptr;
    scan->number = 1;
    // A UTF-8 byte-order mark is skipped, as the user's editor meant no text by it.
    scan->bom = len >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0;
    if (scan->bom)
        scan->pos += 3;
}

// A line that starts with '[' but holds no ']' is no section header: like any other
// line it is a key when it holds '=' (Wine does the same).
bool iniScanNext(IniScan *scan, IniLine *line)
{
    const char *pos = scan->pos;
    const char *const end = scan->end;
    while (pos < end) {
        const char *lineBegin = pos;
        // The line ends at the first CR or LF. memchr finds them far faster than a loop over
        // the bytes; the LF found is kept, so a file with CR alone is not searched again
        // for each line.
        if (scan->lf == nullptr || scan->lf < pos) {
            const void *lf = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos));
            scan->lf = lf != nullptr ? static_cast<const char *>(lf) : end;
        }
        const void *cr = std::memchr(pos, '\r', static_cast<std::size_t>(scan->lf - pos));
        pos = cr != nullptr ? static_cast<const char *>(cr) : scan->lf;
        const char *lineEnd = pos;
        const std::size_t number = scan->number;
        // Any run of line ends ends one line for the reader; CR LF counts as one for editors.
        for (; pos < end && iniIsLineEnd(*pos); ++pos) {
            if (*pos == '\n' || pos + 1 == end || pos[1] != '\n')
                ++scan->number;
        }

        iniTrim(&lineBegin, &lineEnd);
        if (lineBegin == lineEnd)
            continue;
        std::size_t lineLen = static_cast<std::size_t>(lineEnd - lineBegin);
        scan->pos = pos;
        line->number = number;
        line->value = nullptr;
        line->valueLen = 0;

        if (*lineBegin == '[') {
            // The name ends at the first ']'; the rest of the line is ignored.
            const void *close = std::memchr(lineBegin + 1, ']', lineLen - 1);
            if (close != nullptr) {
                const char *nameBegin = lineBegin + 1;
                const char *nameEnd = static_cast<const char *>(close);
                iniTrim(&nameBegin, &nameEnd);
                line->kind = INI_LINE_SECTION;
                line->name = nameBegin;
                line->nameLen = static_cast<std::size_t>(nameEnd - nameBegin);
                return true;
            }
        }
        line->name = lineBegin;
        line->nameLen = lineLen;
        if (*lineBegin == ';') {
            line->kind = INI_LINE_COMMENT;
            return true;
        }
        const void *eq = std::memchr(lineBegin, '=', lineLen);
        if (eq == nullptr) {
            line->kind = INI_LINE_OTHER;
            return true;
        }
        const char *keyBegin = lineBegin;
        const char *keyEnd = static_cast<const char *>(eq);
        iniTrim(&keyBegin, &keyEnd);
        const char *valueBegin = static_cast<const char *>(eq) + 1;
        const char *valueEnd = lineEnd;
        iniTrim(&valueBegin, &valueEnd);
        iniStripQuotes(&valueBegin, &valueEnd);
        line->kind = INI_LINE_KEY;
        line->name = keyBegin;
        line->nameLen = static_cast<std::size_t>(keyEnd - keyBegin);
        line->value = valueBegin;
        line->valueLen = static_cast<std::size_t>(valueEnd - valueBegin);
        return true;
    }
    scan->pos = pos;
    return false;
}

bool iniNameEquals(const char *text, std::size_t len, const char *name)
{
    for (std::size_t i = 0; i < len; ++i) {
        if (name[i] == '\0' || iniLower(text[i]) != iniLower(name[i]))
            return false;
    }
    return name[len] == '\0';
}

// Only the first section named `section` is searched, and in it the first `key`.
bool iniFindValue(const char *text, std::size_t len, const char *section, const char *key,
                  const char **value, std::size_t *valueLen)
{
    if (text == nullptr || section == nullptr || key == nullptr)
        return false;
    const IniAsked sectionAsked = iniAsked(section);
    const IniAsked keyAsked = iniAsked(key);
    IniScan scan;
    iniScanStart(&scan, text, len);
    IniLine line;
    bool inSection = false; // the current section is the one searched
    while (iniScanNext(&scan, &line)) {
        if (line.kind == INI_LINE_SECTION) {
            if (inSection)
                return false; // later sections of the same name are not searched
            inSection = iniIsAsked(line.name, line.nameLen, sectionAsked);
            continue;
        }
        if (!inSection || line.kind != INI_LINE_KEY ||
            !iniIsAsked(line.name, line.nameLen, keyAsked))
            continue;
        if (value != nullptr)
            *value = line.value;
        if (valueLen != nullptr)
            *valueLen = line.valueLen;
        return true;
    }
    return false;
}

std::int32_t iniParseInt(const char *value, std::size_t len)
{
    return iniParseIntRead(value, len, nullptr);
}

std::int32_t iniParseIntRead(const char *value, std::size_t len, IniIntRead *read)
{
    std::size_t i = 0;
    while (i < len && iniIsBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < len && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < len && value[i] == '0' && value[i + 1] == 'x') {
        base = 16;
        i += 2;
    }
    // Unsigned arithmetic wraps to the low 32 bits, as the profile API's result does.
    // The magnitude as written is kept apart, stopping once it is past 32 bits anyway.
    std::uint32_t acc = 0;
    std::uint64_t magnitude = 0;
    const std::size_t first = i;
    for (; i < len; ++i) {
        int d = iniDigit(value[i], base);
        if (d < 0)
            break;
        acc = acc * base + static_cast<std::uint32_t>(d);
        if (magnitude <= 0xFFFFFFFFu)
            magnitude = magnitude * base + static_cast<std::uint64_t>(d);
    }
    if (read != nullptr) {
        read->digits = i - first;
        read->end = i;
        read->fits = magnitude <= (negative ? 0x80000000u : 0x7FFFFFFFu);
    }
    return iniToSigned(negative ? 0u - acc : acc);
}

std::int32_t iniGetInt(const char *text, std::size_t len, const char *section, const char *key,
                       std::int32_t def)
{
    const char *value = nullptr;
    std::size_t valueLen = 0;
    // An empty value reads as a missing one: the default.
    if (!iniFindValue(text, len, section, key, &value, &valueLen) || valueLen == 0)
        return def;
    return iniParseInt(value, valueLen);
}

void iniGetString(const char *text, std::size_t len, const char *section, const char *key,
                  const char *def, char *out, std::size_t size)
{
    if (out == nullptr || size == 0)
        return;
    const char *value = nullptr;
    std::size_t valueLen = 0;
    if (!iniFindValue(text, len, section, key, &value, &valueLen)) {
        // The default loses its trailing spaces, and only those.
        value = def != nullptr ? def : "";
        valueLen = std::strlen(value);
        while (valueLen > 0 && value[valueLen - 1] == ' ')
            --valueLen;
    }
    if (valueLen > size - 1)
        valueLen = size - 1;
    std::memcpy(out, value, valueLen);
    out[valueLen] = '\0';
}
