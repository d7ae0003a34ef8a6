// Reading INI values the way the Windows profile API does.
#pragma once

#include <cstddef>
#include <cstdint>

// Like GetPrivateProfileIntA: the key's integer, or def when the file,
// section or key is missing or the value is empty.
std::int32_t profileGetInt(const char *section, const char *key, std::int32_t def,
                           const char *path);

// Like GetPrivateProfileStringA: at most size-1 characters of the value (or of
// def when missing), always NUL-terminated. size must be at least 1.
void profileGetString(const char *section, const char *key, const char *def, char *out,
                      std::size_t size, const char *path);
