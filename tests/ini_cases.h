// How an INI file reads, as a table of cases that every INI reader of the program must pass.
#pragma once

#include <cstdint>

// Where Wine's profile API, which runs the Windows build's tests, departs from these cases.
// The expected values follow Windows wherever its behaviour is known.
enum class IniWine {
    Same,      // Wine gives the expected values too
    Differs,   // Wine gives wineInt and wineStr instead (checked against Wine's profile API)
    OurChoice, // our reader departs from Windows on purpose; Wine gives the expected values
};

// One lookup of section/key in a file. Every case is read both as an integer (with
// defInt) and as a string (with defStr, into 128 bytes as the program reads strings).
struct IniCase {
    const char *name;    // what the case shows
    const char *text;    // the whole file; files with NUL bytes are tested apart
    const char *section; // lookup names, as the program passes them
    const char *key;
    std::int32_t defInt;
    std::int32_t wantInt;
    const char *defStr;
    const char *wantStr;
    IniWine wine = IniWine::Same;
    std::int32_t wineInt = 0;
    const char *wineStr = nullptr;
};

// clang-format off
const IniCase kIniCases[] = {
    // Lines and blanks.
    {"plain", "[s]\nk=42\n", "s", "k", -7, 42, "dflt", "42"},
    {"crlf", "[s]\r\nk=42\r\nj=1\r\n", "s", "k", -7, 42, "dflt", "42"},
    {"cr alone ends a line", "[s]\rk=42\rj=1", "s", "k", -7, 42, "dflt", "42"},
    {"any run of line ends", "\r\n\r[s]\r\r\n\n\rk=5\n\n\r", "s", "k", -7, 5, "dflt", "5"},
    {"no line end at file end", "[s]\nk=5", "s", "k", -7, 5, "dflt", "5"},
    {"blanks around key and value", "[s]\n \t\vk \t\v= \t\v5 \t\v\r\n", "s", "k", -7, 5, "dflt",
     "5"},
    {"blanks inside a value stay", "[s]\nk= a \t b \n", "s", "k", -7, 0, "dflt", "a \t b"},
    {"blanks inside a key stay", "[s]\nmy key=1\n", "s", "my key", -7, 1, "dflt", "1"},
    {"blanks around a header", " \t[ \ts\v ] \nk=5", "s", "k", -7, 5, "dflt", "5"},
    {"empty file", "", "s", "k", -7, -7, "dflt", "dflt"},
    {"asked names lose their spaces", "[s]\nk=5\n", "  s ", " k  ", -7, 5, "dflt", "5"},
    {"asked names keep their tabs", "[s]\nk=5\n", "\ts", "k\t", -7, -7, "dflt", "dflt",
     IniWine::Differs, 5, "5"},
    {"only line ends", "\n\r\n", "s", "k", -7, -7, "dflt", "dflt"},

    // Section headers.
    {"header ends at the first ]", "[s]x]\nk=5\n", "s", "k", -7, 5, "dflt", "5",
     IniWine::Differs, -7, "dflt"},
    {"text after the first ] is no part of the name", "[s]x]\nk=5\n", "s]x", "k", -7, -7, "dflt",
     "dflt", IniWine::Differs, 5, "5"},
    {"rest of a header line ignored", "[s] ; note\nk=5", "s", "k", -7, 5, "dflt", "5"},
    {"header holding =", "[a=b]\nk=5", "a=b", "k", -7, 5, "dflt", "5"},
    {"[ without ] is no header: section goes on", "[s]\n[t\nk=5", "s", "k", -7, 5, "dflt", "5"},
    {"[ without ] is no header: no section", "[s]\n[t\nk=5", "t", "k", -7, -7, "dflt", "dflt"},
    {"[ without ] with = is a key", "[s]\n[t=5", "s", "[t", -7, 5, "dflt", "5"},
    {"keys before the first header", "k=5\n[s]\nj=1", "s", "k", -7, -7, "dflt", "dflt"},
    {"keys before the first header, empty name", "k=5\n[s]\nj=1", "", "k", -7, -7, "dflt", "dflt",
     IniWine::Differs, 5, "5"},
    {"empty section name", "[s]\n[]\nk=5", "", "k", -7, 5, "dflt", "5", IniWine::Differs, -7,
     "dflt"},
    {"empty section name with blanks", "[  ]\nk=5", "", "k", -7, 5, "dflt", "5", IniWine::Differs,
     -7, "dflt"},
    {"empty section missing", "[s]\nk=5", "", "k", -7, -7, "dflt", "dflt"},

    // Keys and comments.
    {"split at the first =", "[s]\nk=a=b", "s", "k", -7, 0, "dflt", "a=b"},
    {"key with blanks before =", "[s]\nk =a", "s", "k", -7, 0, "dflt", "a"},
    {"line without = is no key", "[s]\nk\nk 5", "s", "k", -7, -7, "dflt", "dflt"},
    {"line without = hides no later key", "[s]\nk\nk=6", "s", "k", -7, 6, "dflt", "6",
     IniWine::Differs, -7, "dflt"},
    {"comment before the key", "[s]\n;k=5\nk=6", "s", "k", -7, 6, "dflt", "6"},
    {"comment is no key", "[s]\n;k=5", "s", ";k", -7, -7, "dflt", "dflt", IniWine::Differs, 5,
     "5"},
    {"indented comment is no key", "[s]\n \t;k=5", "s", ";k", -7, -7, "dflt", "dflt",
     IniWine::Differs, 5, "5"},
    {"commented header starts no section", "[a]\nk=1\n;[b]\nk=2", "b", "k", -7, -7, "dflt",
     "dflt"},
    {"commented header ends no section", "[a]\nk=1\n;[b]\nj=2", "a", "j", -7, 2, "dflt", "2"},
    {"# is no comment", "[s]\n#k=5", "s", "#k", -7, 5, "dflt", "5"},
    {"no inline comments", "[s]\nk=5 ; five", "s", "k", -7, 5, "dflt", "5 ; five"},
    {"utf-8 byte-order mark skipped", "\xEF\xBB\xBF[s]\nk=5", "s", "k", -7, 5, "dflt", "5",
     IniWine::OurChoice},
    {"byte-order mark only at the start", "[s]\n\xEF\xBB\xBFk=5", "s", "k", -7, -7, "dflt",
     "dflt"},

    // Matching.
    {"section ignores case", "[CoNfIg]\nk=5", "config", "k", -7, 5, "dflt", "5"},
    {"key ignores case", "[s]\nOutGaugePort=5", "s", "OUTGAUGEPORT", -7, 5, "dflt", "5"},
    {"first key wins", "[s]\nk=1\nK=2", "s", "k", -7, 1, "dflt", "1"},
    {"only the first section of a name", "[a]\nk=1\n[b]\nj=0\n[A]\nj=2", "a", "j", -7, -7, "dflt",
     "dflt"},
    {"first section's key still found", "[a]\nk=1\n[b]\n[A]\nk=2", "A", "k", -7, 1, "dflt", "1"},
    {"key of another section", "[a]\nk=1\n[b]\nj=2", "b", "k", -7, -7, "dflt", "dflt"},
    {"section missing", "[a]\nk=1", "b", "k", -7, -7, "dflt", "dflt"},
    {"key missing", "[a]\nk=1", "a", "j", -7, -7, "dflt", "dflt"},
    {"names are whole names", "[se]\nk=1\n[s]\nkk=2\nk=3", "s", "k", -7, 3, "dflt", "3"},
    {"key is no prefix", "[s]\nkk=1", "s", "k", -7, -7, "dflt", "dflt"},
    {"section is no prefix", "[ss]\nk=1", "s", "k", -7, -7, "dflt", "dflt"},

    // Strings.
    {"double quotes removed", "[s]\nk=\"a b\"", "s", "k", -7, 0, "dflt", "a b"},
    {"single quotes removed", "[s]\nk='7'", "s", "k", -7, 7, "dflt", "7"},
    {"blanks inside quotes stay", "[s]\nk=\" 5 \"", "s", "k", -7, 5, "dflt", " 5 "},
    {"mismatched quotes stay", "[s]\nk=\"a'", "s", "k", -7, 0, "dflt", "\"a'"},
    {"one quote stays", "[s]\nk=\"", "s", "k", -7, 0, "dflt", "\""},
    {"empty quotes", "[s]\nk=\"\"", "s", "k", -7, -7, "dflt", ""},
    {"one pair only", "[s]\nk=\"\"a\"\"", "s", "k", -7, 0, "dflt", "\"a\""},
    {"inner quotes stay", "[s]\nk=a\"b\"", "s", "k", -7, 0, "dflt", "a\"b\""},
    {"empty value", "[s]\nk=", "s", "k", -7, -7, "dflt", ""},
    {"blank value", "[s]\nk= \t ", "s", "k", -7, -7, "dflt", ""},
    {"default loses trailing spaces", "[s]\nj=1", "s", "k", -7, -7, "  d x  ", "  d x"},
    {"default of spaces", "", "s", "k", -7, -7, "   ", "", IniWine::Differs, -7, " "},
    {"empty default", "[s]", "s", "k", 0, 0, "", ""},
    {"decimal string", "[s]\nlowFuel=0.05", "s", "lowfuel", -7, 0, "-1.0", "0.05"},

    // Integers.
    {"int 42", "[s]\nk=42", "s", "k", -7, 42, "dflt", "42"},
    {"int +1", "[s]\nk=+1", "s", "k", -7, 1, "dflt", "+1"},
    {"int -1", "[s]\nk=-1", "s", "k", -7, -1, "dflt", "-1"},
    {"int -75", "[s]\nk=-75", "s", "k", 0, -75, "dflt", "-75"},
    {"int stops at a non-digit", "[s]\nk=42A94967297", "s", "k", -7, 42, "dflt", "42A94967297"},
    {"int without digits B", "[s]\nk=B4294967297", "s", "k", -7, 0, "dflt", "B4294967297"},
    {"int without digits abc", "[s]\nk=abc", "s", "k", -7, 0, "dflt", "abc"},
    {"int wraps 2^32", "[s]\nk=4294967296", "s", "k", -7, 0, "dflt", "4294967296"},
    {"int wraps 2^32+1", "[s]\nk=4294967297", "s", "k", -7, 1, "dflt", "4294967297"},
    {"int wraps -(2^32+1)", "[s]\nk=-4294967297", "s", "k", -7, -1, "dflt", "-4294967297"},
    {"int max", "[s]\nk=2147483647", "s", "k", -7, 2147483647, "dflt", "2147483647"},
    {"int max+1 wraps", "[s]\nk=2147483648", "s", "k", -7, INT32_MIN, "dflt", "2147483648"},
    {"int min", "[s]\nk=-2147483648", "s", "k", -7, INT32_MIN, "dflt", "-2147483648"},
    {"int of 20 digits wraps", "[s]\nk=99999999999999999999", "s", "k", -7, 1661992959, "dflt",
     "99999999999999999999"},
    {"hex 0x1A", "[s]\nk=0x1A", "s", "k", -7, 26, "dflt", "0x1A"},
    {"hex lower case", "[s]\nk=0xca03", "s", "k", -7, 51715, "dflt", "0xca03"},
    {"hex negative", "[s]\nk=-0x10", "s", "k", -7, -16, "dflt", "-0x10"},
    {"hex plus", "[s]\nk=+0x10", "s", "k", -7, 16, "dflt", "+0x10"},
    {"hex all ones", "[s]\nk=0xFFFFFFFF", "s", "k", -7, -1, "dflt", "0xFFFFFFFF"},
    {"hex wraps", "[s]\nk=0x100000001", "s", "k", -7, 1, "dflt", "0x100000001"},
    {"hex stops at a non-digit", "[s]\nk=0x1g", "s", "k", -7, 1, "dflt", "0x1g"},
    {"hex needs a lower-case x", "[s]\nk=0X1A", "s", "k", -7, 0, "dflt", "0X1A"},
    {"hex without digits", "[s]\nk=0x", "s", "k", -7, 0, "dflt", "0x"},
    {"leading zero is decimal", "[s]\nk=010", "s", "k", -7, 10, "dflt", "010"},
    {"sign alone", "[s]\nk=-", "s", "k", -7, 0, "dflt", "-"},
    {"two signs", "[s]\nk=--5", "s", "k", -7, 0, "dflt", "--5"},
    {"decimal point stops", "[s]\nk=3.9", "s", "k", -7, 3, "dflt", "3.9"},
    {"exponent stops", "[s]\nk=1e3", "s", "k", -7, 1, "dflt", "1e3"},
    {"leading blanks skipped", "[s]\nk=\"  12\"", "s", "k", -7, 12, "dflt", "  12"},
    {"blank after the sign", "[s]\nk=- 5", "s", "k", -7, 0, "dflt", "- 5"},
    {"no binary prefix", "[s]\nk=0b11", "s", "k", -7, 0, "dflt", "0b11", IniWine::Differs, 3,
     "0b11"},
    {"no octal prefix", "[s]\nk=0o17", "s", "k", -7, 0, "dflt", "0o17", IniWine::Differs, 15,
     "0o17"},
};
// clang-format on
