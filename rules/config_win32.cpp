// The configuration file's path on Windows: the working directory, "\", "lumivane.cfg".
#include "rules/config.h"
#include "rules/config_backend.h"

#include <cstdlib>
#include <cstring>

#include <windows.h>

// The profile API looks for a bare file name in the Windows folder, not in the
// working directory; a name with a path part is taken relative to the working
// directory, so that is the fallback.
const char CONFIG_FALLBACK_PATH[] = ".\\lumivane.cfg";

char *configBuildPath()
{
    static const char fileName[] = "lumivane.cfg";
    const DWORD pathSize = 512;
    char *path = static_cast<char *>(std::malloc(pathSize));
    if (path == nullptr)
        return nullptr;
    // The result is the length without the NUL when it fits, the size needed
    // (with the NUL) when it does not, and 0 on failure.
    DWORD len = GetCurrentDirectoryA(pathSize, path);
    if (len == 0 || len >= pathSize || len + 1 + sizeof fileName > pathSize) {
        std::free(path);
        return nullptr;
    }
    // The root of a drive already ends with the separator.
    if (path[len - 1] != '\\')
        path[len++] = '\\';
    std::memcpy(path + len, fileName, sizeof fileName);
    return path;
}

ConfigStamp configFileStamp(const char *path)
{
    ConfigStamp stamp = {false, 0, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return stamp;
    stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime);
    stamp.usable = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && stamp.size > 0;
    return stamp;
}
