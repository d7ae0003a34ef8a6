// lumivane-check: a configuration file as the program reads it, its findings and its explanation.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "outgauge/games.h"
#include "rules/config.h"
#include "rules/profile.h"

// What a section is to the program.
enum CheckSectionKind {
    CHECK_CONFIG,  // [config]
    CHECK_DEFAULT, // [default]
    CHECK_CAR,     // a car code of at most 4 characters, a mod car's 6 hex digits, or a
                   // Forza car's number of up to 6 digits
    CHECK_NO_CAR,  // a name that no car code can match
};

// One key line of a section.
struct CheckKey {
    std::size_t line;
    std::string name;  // as written
    std::string value; // blanks and outer quotes removed, as the reader takes it
};

struct CheckSection {
    std::string name; // as written, blanks removed
    std::size_t line;
    CheckSectionKind kind;
    std::size_t firstLine; // the first section of this name: the one the program reads
    std::vector<CheckKey> keys;
};

// A line that is no key of a section: one before the first section, or one without '='.
struct CheckStray {
    std::size_t line;
    std::string text; // the line without its outer blanks
    bool outside;     // before the first section
};

struct CheckFinding {
    std::size_t line; // 0: the file as a whole
    const char *kind; // a short tag, printed after the text
    std::string text;
};

struct CheckFile {
    std::string shown;   // the name in messages, as the user gave it
    std::string path;    // the name handed to the program's reader
    ProfileFile profile; // the file as the program's reader loaded it, with its bytes
    bool bom;            // the file starts with a UTF-8 byte-order mark
    bool bomOnHeader;    // ... and the mark's line is a section header
    std::vector<CheckSection> sections;
    std::vector<CheckStray> strays;
    std::vector<CheckFinding> findings;
    GlobalSettings settings; // [config] as the program reads it
};

// The whole program: arguments, then each file; returns the exit status.
int checkMain(int argc, char **argv);

// Reads the file once, as the program's reader loads it, then its [config] settings, its
// sections and its stray lines; false (with *error set) when it cannot be read. The file is
// released with checkRelease either way.
bool checkLoad(const std::string &shown, const std::string &path, CheckFile *file,
               std::string *error);

void checkRelease(CheckFile *file);

// Fills file->findings, ordered by line.
void checkFindings(CheckFile *file);

// Whether a car can be named name: checkKindOf's CHECK_CAR.
bool checkIsCarName(const char *name);

// The game whose cars are named car (OG_GAME_COUNT: an OutGauge car), ignoring case as the
// program does when it looks up the car's section.
OgGame checkGameOf(const std::string &car);

// The first section named name (ignoring case) that the program reads, or NULL.
const CheckSection *checkSectionNamed(const CheckFile &file, const char *name);

// The explanation of every section, printed.
void checkExplain(const CheckFile &file);

// The profile of car and the table of its LEDs, printed.
void checkExplainCar(const CheckFile &file, const char *car);

// Prints the findings and a closing line; returns their number.
std::size_t checkPrintFindings(const CheckFile &file);

// What the condition of each code shows, in the explanation's words, one row for each code of
// LED_ACTIONS; NULL for a flashing code, whose condition is that of its steady code.
struct CheckWords {
    LedAction code;
    const char *words;
};

inline constexpr CheckWords CHECK_WORDS[] = {
    {Off, "off"},
    {ShiftLight, "shift light"},
    {Handbrake, "handbrake"},
    {SpeedLimit, "pit speed limiter"},
    {SpeedLimitFlash, nullptr},
    {SignalLeft, "left turn signal"},
    {SignalRight, "right turn signal"},
    {Redline, "redline"},
    {OilWarning, "oil warning"},
    {FullBeam, "full beam"},
    {LowFuel, "low fuel"},
    {TractionControl, "traction control"},
    {ShiftLightFlash, nullptr},
    {LowFuelFlash, nullptr},
    {AlwaysOn, "always"},
    {Abs, "ABS"},
    {BatteryWarning, "battery warning"},
};
static_assert(ledRowsMatchActions(CHECK_WORDS),
              "CHECK_WORDS has one row for each code of LED_ACTIONS, in order");

// What code means to the LED logic, and the code without its sign as the logic takes it.
const LedActionInfo &checkAction(LedAction code);
std::int32_t checkValue(LedAction code);

// Where a game may leave out the fuel level (OG_GAMES' fuel), in the checker's words; NULL
// where it always sends it.
inline constexpr const char *CHECK_FUEL_GAPS[] = {
    nullptr,                              // OG_FUEL_SENT
    "not in its Sled format",             // OG_FUEL_NOT_IN_SLED
    "the games are not known to fill it", // OG_FUEL_UNFILLED
};
static_assert(sizeof CHECK_FUEL_GAPS / sizeof CHECK_FUEL_GAPS[0] == OG_FUEL_UNFILLED + 1,
              "CHECK_FUEL_GAPS has one row for each way of sending the fuel level");

// Whether game lights codes 1 and 12 by shiftAt, sending no shift light of its own.
bool checkUsesShiftAt(OgGame game);

// The games that do, for messages: "Forza, DiRT and Project CARS 2 / Automobilista 2".
std::string checkShiftAtGames();

// Why game never gives the condition of code, "Forza sends no left turn signal light"; empty
// when it can (and for an OutGauge car, and a code that tests no light or fuel).
std::string checkNotSentWords(LedAction code, OgGame game);

// LED led (1 or 2) of profile p, in a car of game (OG_GAME_COUNT: OutGauge), in words, as the
// explanation gives it: "always on", "off", the words of one code's condition
// (checkConditionWords) or of its absence (checkNotWords), or the primary's followed by ", or "
// or ", inverted while " and the secondary's condition.
std::string checkLedWords(const CarProfile &p, int led, const GlobalSettings &g, OgGame game);

// The condition of |code| in a car of game with profile p (its lowFuel and shiftAt) in words,
// and the words for "on while it does not hold".
std::string checkConditionWords(LedAction code, const GlobalSettings &g, const CarProfile &p,
                                OgGame game);
std::string checkNotWords(LedAction code, const GlobalSettings &g, const CarProfile &p,
                          OgGame game);

// The profile that car gets as the program resolves it (NULL: a car without a section of its
// own), with the carKeyBit of each value that came from [default].
void checkResolve(const CheckFile &file, const char *car, CarProfile *out, unsigned *from);

// A value for messages: at most 40 bytes, bytes outside printable ASCII shown as '?'.
std::string checkShow(const std::string &text);
