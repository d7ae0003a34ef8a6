// Reading values on Windows: the system's profile API itself, on the file's path.
#include "rules/profile.h"

#include <windows.h>

std::int32_t profileGetInt(const ProfileFile &file, const char *section, const char *key,
                           std::int32_t def)
{
    // The API returns the signed value in an unsigned type; negative codes come
    // back as their two's complement.
    UINT value = GetPrivateProfileIntA(section, key, def, file.path);
    return static_cast<std::int32_t>(value);
}

void profileGetString(const ProfileFile &file, const char *section, const char *key,
                      const char *def, char *out, std::size_t size)
{
    if (size == 0)
        return;
    DWORD room = size > static_cast<std::size_t>(MAXDWORD) ? MAXDWORD : static_cast<DWORD>(size);
    GetPrivateProfileStringA(section, key, def, out, room, file.path);
}
