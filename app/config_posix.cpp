// The configuration file's path on POSIX: the working directory, "/", "lumivane.cfg".
#include "app/config.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
const char g_fileName[] = "lumivane.cfg";

char *copyOf(const char *text)
{
    std::size_t len = std::strlen(text);
    char *copy = static_cast<char *>(std::malloc(len + 1));
    if (copy != nullptr)
        std::memcpy(copy, text, len + 1);
    return copy;
}
} // namespace

char *configBuildPath()
{
    // The directory has no length limit here: grow the buffer until it fits.
    std::size_t size = 512;
    for (;;) {
        char *dir = static_cast<char *>(std::malloc(size + sizeof g_fileName + 1));
        if (dir == nullptr)
            return copyOf(g_fileName);
        if (getcwd(dir, size) != nullptr) {
            std::size_t len = std::strlen(dir);
            dir[len] = '/';
            std::memcpy(dir + len + 1, g_fileName, sizeof g_fileName);
            return dir;
        }
        std::free(dir);
        if (errno != ERANGE || size > (static_cast<std::size_t>(1) << 24))
            return copyOf(g_fileName);
        size *= 2;
    }
}
