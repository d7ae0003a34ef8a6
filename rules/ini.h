// INI semantics on a file's bytes in memory, matching the Windows profile API.
#pragma once

#include <cstddef>
#include <cstdint>

// What a line of an INI file is to the reader.
enum IniLineKind {
    INI_LINE_COMMENT, // first non-blank byte ';'
    INI_LINE_SECTION, // '[' name ']', the rest of the line ignored
    INI_LINE_KEY,     // key '=' value
    INI_LINE_OTHER,   // anything else: no key that can be read
};

// One line holding more than blanks. name is the section name or the key, value the
// key's value with blanks and one pair of outer quotes removed; both point into the text.
struct IniLine {
    IniLineKind kind;
    std::size_t number; // counted from 1, as editors count: CR LF, CR or LF ends a line
    const char *name;
    std::size_t nameLen;
    const char *value;
    std::size_t valueLen;
};

// A walk over the lines of a text in memory.
struct IniScan {
    const char *pos;
    const char *end;
    const char *lf;     // the first LF at or after pos (end: none), or NULL before the search
    std::size_t number; // the line that pos is on
    bool bom;           // the text starts with a UTF-8 byte-order mark (skipped)
};

// Starts a walk over text (len bytes; text may be NULL when len is 0).
void iniScanStart(IniScan *scan, const char *text, std::size_t len);

// The next line that holds more than blanks; false at the end of the text.
bool iniScanNext(IniScan *scan, IniLine *line);

// True when the len bytes at text equal the NUL-terminated name, ignoring ASCII case.
bool iniNameEquals(const char *text, std::size_t len, const char *name);

// Finds the value of key in section of text (len bytes). On success *value
// points into text and *valueLen is its length, blanks and outer quotes removed.
bool iniFindValue(const char *text, std::size_t len, const char *section, const char *key,
                  const char **value, std::size_t *valueLen);

// The integer conversion of the profile API: optional blanks and sign, "0x"
// for hexadecimal, stops at the first other character, wraps to 32 bits.
std::int32_t iniParseInt(const char *value, std::size_t len);

// How iniParseInt read a value.
struct IniIntRead {
    std::size_t digits; // digits taken; 0: no number at all, read as 0
    std::size_t end;    // index of the first byte not taken (len when all were)
    bool fits;          // the number as written lies within 32 signed bits (no wrap)
};

// iniParseInt, also telling how the value was read.
std::int32_t iniParseIntRead(const char *value, std::size_t len, IniIntRead *read);

std::int32_t iniGetInt(const char *text, std::size_t len, const char *section, const char *key,
                       std::int32_t def);

void iniGetString(const char *text, std::size_t len, const char *section, const char *key,
                  const char *def, char *out, std::size_t size);
