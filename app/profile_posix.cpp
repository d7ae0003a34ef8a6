// The profile API on POSIX: the whole file read into memory, then the INI reader.
#include "app/profile.h"

#include "app/ini.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The whole file at path in a buffer from malloc that the caller frees, or nullptr when
// it cannot be opened or read to its end (a directory opens but fails to read).
char *profileReadFile(const char *path, std::size_t *len)
{
    *len = 0;
    if (path == nullptr)
        return nullptr;
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return nullptr;
    std::size_t capacity = 64 * 1024;
    std::size_t used = 0;
    char *buffer = static_cast<char *>(std::malloc(capacity));
    bool ok = buffer != nullptr;
    while (ok) {
        if (used == capacity) {
            char *grown = capacity <= static_cast<std::size_t>(-1) / 2
                              ? static_cast<char *>(std::realloc(buffer, capacity * 2))
                              : nullptr;
            if (grown == nullptr) {
                ok = false;
                break;
            }
            buffer = grown;
            capacity *= 2;
        }
        used += std::fread(buffer + used, 1, capacity - used, file);
        if (std::ferror(file))
            ok = false;
        else if (std::feof(file))
            break;
    }
    std::fclose(file);
    if (!ok) {
        std::free(buffer);
        return nullptr;
    }
    *len = used;
    return buffer;
}

} // namespace

std::int32_t profileGetInt(const char *section, const char *key, std::int32_t def, const char *path)
{
    std::size_t len = 0;
    char *text = profileReadFile(path, &len);
    if (text == nullptr)
        return def;
    std::int32_t result = iniGetInt(text, len, section, key, def);
    std::free(text);
    return result;
}

void profileGetString(const char *section, const char *key, const char *def, char *out,
                      std::size_t size, const char *path)
{
    if (out == nullptr || size == 0)
        return;
    std::size_t len = 0;
    char *text = profileReadFile(path, &len);
    // A file that cannot be read is searched as an empty one: the default.
    iniGetString(text != nullptr ? text : "", len, section, key, def, out, size);
    std::free(text);
}
