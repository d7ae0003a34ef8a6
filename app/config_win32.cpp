// The configuration file's path on Windows: the working directory, "\", "lumivane.cfg".
#include "app/config.h"

#include <cstdlib>
#include <cstring>

#include <windows.h>

namespace {
const char g_fileName[] = "lumivane.cfg";
// The profile API looks for a bare file name in the Windows folder, not in the
// working directory; a name with a path part is taken relative to the working
// directory, so that is the fallback.
const char g_fallbackName[] = ".\\lumivane.cfg";
const DWORD g_pathSize = 512;
} // namespace

char *configBuildPath()
{
    char *path = static_cast<char *>(std::malloc(g_pathSize));
    if (path == nullptr)
        return nullptr;
    // The result is the length without the NUL when it fits, the size needed
    // (with the NUL) when it does not, and 0 on failure.
    DWORD len = GetCurrentDirectoryA(g_pathSize, path);
    if (len == 0 || len >= g_pathSize || len + 1 + sizeof g_fileName > g_pathSize) {
        std::memcpy(path, g_fallbackName, sizeof g_fallbackName);
        return path;
    }
    // The root of a drive already ends with the separator.
    if (path[len - 1] != '\\')
        path[len++] = '\\';
    std::memcpy(path + len, g_fileName, sizeof g_fileName);
    return path;
}
