// Reading values on POSIX: the INI reader on the bytes loaded once.
#include "rules/profile.h"

#include "rules/ini.h"

std::int32_t profileGetInt(const ProfileFile &file, const char *section, const char *key,
                           std::int32_t def)
{
    // A file that could not be read is searched as an empty one: the default.
    return iniGetInt(file.text, file.len, section, key, def);
}

void profileGetString(const ProfileFile &file, const char *section, const char *key,
                      const char *def, char *out, std::size_t size)
{
    iniGetString(file.text != nullptr ? file.text : "", file.len, section, key, def, out, size);
}
