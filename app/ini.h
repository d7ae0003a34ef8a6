// INI semantics on a file's bytes in memory, matching the Windows profile API.
#pragma once

#include <cstddef>
#include <cstdint>

// Finds the value of key in section of text (len bytes). On success *value
// points into text and *valueLen is its length, blanks and outer quotes removed.
bool iniFindValue(const char *text, std::size_t len, const char *section, const char *key,
                  const char **value, std::size_t *valueLen);

// The integer conversion of the profile API: optional blanks and sign, "0x"
// for hexadecimal, stops at the first other character, wraps to 32 bits.
std::int32_t iniParseInt(const char *value, std::size_t len);

std::int32_t iniGetInt(const char *text, std::size_t len, const char *section, const char *key,
                       std::int32_t def);

void iniGetString(const char *text, std::size_t len, const char *section, const char *key,
                  const char *def, char *out, std::size_t size);
