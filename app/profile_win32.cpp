// Reading INI values on Windows: the system's profile API itself.
#include "app/profile.h"

#include <windows.h>

std::int32_t profileGetInt(const char *section, const char *key, std::int32_t def, const char *path)
{
    // The API returns the signed value in an unsigned type; negative codes come
    // back as their two's complement.
    UINT value = GetPrivateProfileIntA(section, key, def, path);
    return static_cast<std::int32_t>(value);
}

void profileGetString(const char *section, const char *key, const char *def, char *out,
                      std::size_t size, const char *path)
{
    if (size == 0)
        return;
    DWORD room = size > static_cast<std::size_t>(MAXDWORD) ? MAXDWORD : static_cast<DWORD>(size);
    GetPrivateProfileStringA(section, key, def, out, room, path);
}
