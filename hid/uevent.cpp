// STUB
#include "hid/hid.h"
bool hidParseUevent(const char *, std::size_t, std::uint32_t *, std::uint32_t *) { return false; }
