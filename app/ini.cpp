// STUB
#include "app/ini.h"
bool iniFindValue(const char *, std::size_t, const char *, const char *, const char **, std::size_t *) { return false; }
std::int32_t iniParseInt(const char *, std::size_t) { return 0; }
std::int32_t iniGetInt(const char *, std::size_t, const char *, const char *, std::int32_t def) { return def; }
void iniGetString(const char *, std::size_t, const char *, const char *, const char *def, char *out, std::size_t size) { out[0] = 0; (void)def; (void)size; }
