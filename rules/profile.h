// A configuration file read once per load, and its values read the way the Windows profile API
// reads them.
#pragma once

#include <cstddef>
#include <cstdint>

// A file loaded for its values: its bytes, read once, and its path. On Linux every value is
// found in the bytes; on Windows the system's profile API reads the file at path, and the bytes
// serve whoever looks at the lines themselves.
struct ProfileFile {
    const char *path;
    char *text;      // the whole file (from malloc), or NULL when it could not be read
    std::size_t len; // its length in bytes
};

// Reads the whole file at path once, into *out; false when it cannot be opened or read to its
// end (a folder opens but fails to read), when *out holds no text. Either way *out can be read
// and must be released.
bool profileLoad(const char *path, ProfileFile *out);

void profileRelease(ProfileFile *file);

// Like GetPrivateProfileIntA: the key's integer, or def when the file, section or key is
// missing or the value is empty.
std::int32_t profileGetInt(const ProfileFile &file, const char *section, const char *key,
                           std::int32_t def);

// Like GetPrivateProfileStringA: at most size-1 characters of the value (or of def when
// missing), always NUL-terminated, into out. size must be at least 1.
void profileGetString(const ProfileFile &file, const char *section, const char *key,
                      const char *def, char *out, std::size_t size);
