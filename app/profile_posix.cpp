// STUB
#include "app/profile.h"
#include <cstring>
std::int32_t profileGetInt(const char *, const char *, std::int32_t def, const char *) { return def; }
void profileGetString(const char *, const char *, const char *def, char *out, std::size_t size, const char *) { std::strncpy(out, def, size - 1); out[size - 1] = 0; }
