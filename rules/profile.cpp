// Loading a configuration file: its bytes, read once.
#include "rules/profile.h"

#include <cstdio>
#include <cstdlib>

bool profileLoad(const char *path, ProfileFile *out)
{
    out->path = path;
    out->text = nullptr;
    out->len = 0;
    if (path == nullptr)
        return false;
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    std::size_t capacity = 64 * 1024;
    std::size_t used = 0;
    char *buffer = static_cast<char *>(std::malloc(capacity + 1));
    bool ok = buffer != nullptr;
    while (ok) {
        if (used == capacity) {
            char *grown = capacity <= static_cast<std::size_t>(-1) / 2 - 1
                              ? static_cast<char *>(std::realloc(buffer, capacity * 2 + 1))
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
        return false;
    }
    buffer[used] = '\0';
    out->text = buffer;
    out->len = used;
    return true;
}

void profileRelease(ProfileFile *file)
{
    std::free(file->text);
    file->text = nullptr;
    file->len = 0;
}
