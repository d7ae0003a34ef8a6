// The configuration file's path on POSIX: the working directory, "/", "lumivane.cfg".
#include "rules/config.h"
#include "rules/config_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

const char CONFIG_FALLBACK_PATH[] = "lumivane.cfg";

char *configBuildPath()
{
    static const char fileName[] = "lumivane.cfg";
    // The directory has no length limit here: grow the buffer until it fits.
    std::size_t size = 512;
    for (;;) {
        char *dir = static_cast<char *>(std::malloc(size + sizeof fileName + 1));
        if (dir == nullptr)
            return nullptr;
        if (getcwd(dir, size) != nullptr) {
            std::size_t len = std::strlen(dir);
            dir[len] = '/';
            std::memcpy(dir + len + 1, fileName, sizeof fileName);
            return dir;
        }
        std::free(dir);
        if (errno != ERANGE || size > (static_cast<std::size_t>(1) << 24))
            return nullptr;
        size *= 2;
    }
}

ConfigStamp configFileStamp(const char *path)
{
    ConfigStamp stamp = {false, 0, 0};
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return stamp;
    stamp.usable = S_ISREG(st.st_mode) && st.st_size > 0;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}
