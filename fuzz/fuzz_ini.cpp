// Fuzz target: any file content with any section and key through the INI reader, its line
// scanner and the profile resolution of a car.
#include "rules/config.h"
#include "rules/ini.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string g_path; // a file of our own for the readers that take a path

// Reads a little-endian 16-bit length from the input, or 0 past its end.
std::size_t takeLength(const std::uint8_t *&data, std::size_t &size)
{
    std::size_t n = 0;
    for (int i = 0; i < 2 && size > 0; ++i, ++data, --size)
        n |= static_cast<std::size_t>(*data) << (8 * i);
    return n;
}

// The next n bytes (fewer at the end of the input) as a C string; it ends at its first NUL.
std::string takeName(const std::uint8_t *&data, std::size_t &size, std::size_t n)
{
    if (n > size)
        n = size;
    std::string name(reinterpret_cast<const char *>(data), n);
    data += n;
    size -= n;
    return name;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

void fuzzBuffer(const char *text, std::size_t len, const char *section, const char *key,
                std::size_t outSize)
{
    const char *value = nullptr;
    std::size_t valueLen = 0;
    bool found = iniFindValue(text, len, section, key, &value, &valueLen);
    if (found) {
        check(value >= text && value <= text + len, "value outside the text");
        check(valueLen <= static_cast<std::size_t>(text + len - value), "value past the text");
    }

    std::int32_t def = static_cast<std::int32_t>(len * 2654435761u);
    std::int32_t got = iniGetInt(text, len, section, key, def);
    std::int32_t want = found && valueLen > 0 ? iniParseInt(value, valueLen) : def;
    check(got == want, "iniGetInt disagrees with iniFindValue");

    // An output buffer of exactly outSize bytes: a write past it is a heap overflow.
    char *out = static_cast<char *>(std::malloc(outSize));
    iniGetString(text, len, section, key, key, out, outSize);
    check(std::memchr(out, '\0', outSize) != nullptr, "string not terminated");
    std::free(out);

    iniParseInt(text, len);
}

// The line scanner that the reader and lumivane-check walk: every line within the text, in
// order, no more lines than line ends allow.
void fuzzScan(const char *text, std::size_t len)
{
    IniScan scan;
    iniScanStart(&scan, text, len);
    IniLine line;
    std::size_t last = 0;
    while (iniScanNext(&scan, &line)) {
        check(line.number > last, "line numbers do not rise");
        last = line.number;
        check(line.name >= text && line.nameLen <= static_cast<std::size_t>(text + len - line.name),
              "name outside the text");
        if (line.kind == INI_LINE_KEY)
            check(line.value >= text &&
                      line.valueLen <= static_cast<std::size_t>(text + len - line.value),
                  "value outside the text");
    }
    std::size_t ends = 0;
    for (std::size_t i = 0; i < len; ++i)
        ends += text[i] == '\r' || text[i] == '\n';
    check(last <= ends + 1, "more lines than line ends");
}

// The file readers on the same bytes, for a fraction of the inputs (a file costs a write).
void fuzzFile(const char *text, std::size_t len, const char *section)
{
    std::FILE *file = std::fopen(g_path.c_str(), "wb");
    if (file == nullptr)
        return;
    std::fwrite(text, 1, len, file);
    std::fclose(file);

    ProfileFile loaded;
    profileLoad(g_path.c_str(), &loaded);
    CarProfile profile;
    configResolveProfile(loaded, section, &profile, nullptr);
    std::int32_t car = iniGetInt(text, len, section, "LED1", CONFIG_ABSENT_CODE);
    std::int32_t want =
        car == CONFIG_ABSENT_CODE ? iniGetInt(text, len, "default", "LED1", 0) : car;
    check(profile.codes[CAR_LED1] == want, "profile LED1 disagrees with the buffer reader");

    GlobalSettings settings;
    configReadGlobals(loaded, &settings);
    profileRelease(&loaded);
    check(settings.outGaugePort ==
              iniGetInt(text, len, "config", "outGaugePort", CONFIG_DEFAULTS.outGaugePort),
          "port disagrees with the buffer reader");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char name[] = "/tmp/lumivane-fuzz-ini-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) {
        close(fd);
        g_path = name;
        std::atexit([] { unlink(g_path.c_str()); });
    }
    return 0;
}

// Input: a mode byte, the section's and the key's lengths (16 bits each), the section, the
// key, then the file content.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::uint8_t mode = *data++;
    --size;
    std::size_t sectionLen = takeLength(data, size);
    std::size_t keyLen = takeLength(data, size);
    std::string section = takeName(data, size, sectionLen);
    std::string key = takeName(data, size, keyLen);

    // The content is the rest of the input, in a buffer of exactly its size.
    char *text = static_cast<char *>(std::malloc(size > 0 ? size : 1));
    if (size > 0)
        std::memcpy(text, data, size);

    static const std::size_t outSizes[] = {1, 2, 5, CONFIG_STRING_SIZE};
    fuzzBuffer(text, size, section.c_str(), key.c_str(), outSizes[mode & 3]);
    fuzzScan(text, size);
    if (mode == 0xFF && !g_path.empty())
        fuzzFile(text, size, section.c_str());
    std::free(text);
    return 0;
}
