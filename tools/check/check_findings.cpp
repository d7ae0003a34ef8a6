// lumivane-check: the mistakes of a configuration file, from its sections and keys.
#include "tools/check/check.h"

#include "rules/ini.h"
#include "base/out.h"
#include "base/usb.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The names of the keys of a table, in its order.
template <std::size_t N> struct CheckNames {
    const char *at[N];
};

template <typename Row, std::size_t N> constexpr CheckNames<N> checkNamesOf(const Row (&rows)[N])
{
    CheckNames<N> names = {};
    for (std::size_t i = 0; i < N; ++i)
        names.at[i] = rows[i].name;
    return names;
}

// The keys of [config], and those of [default] and the car sections.
constexpr CheckNames<CONFIG_KEY_COUNT> CHECK_CONFIG_NAMES = checkNamesOf(CONFIG_KEYS);
constexpr CheckNames<CAR_KEY_COUNT> CHECK_CAR_NAMES = checkNamesOf(CAR_KEYS);

void checkAdd(CheckFile *file, std::size_t line, const char *kind, const std::string &text)
{
    file->findings.push_back(CheckFinding{line, kind, text});
}

bool checkEquals(const std::string &a, const char *b)
{
    return iniNameEquals(a.data(), a.size(), b);
}

char checkLower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Edits between a and b, ignoring case, with a swap of neighbours as one edit.
std::size_t checkDistance(const std::string &a, const std::string &b)
{
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            std::size_t cost = checkLower(a[i - 1]) == checkLower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && checkLower(a[i - 1]) == checkLower(b[j - 2]) &&
                checkLower(a[i - 2]) == checkLower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// The known name closest to name when it is close enough to be a slip, or NULL.
const char *checkNearest(const std::string &name, const char *const *known, std::size_t count)
{
    if (name.size() > 64)
        return nullptr;
    const char *best = nullptr;
    std::size_t bestDistance = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t distance = checkDistance(name, known[i]);
        if (distance <= 1 + std::strlen(known[i]) / 6 &&
            (best == nullptr || distance < bestDistance)) {
            best = known[i];
            bestDistance = distance;
        }
    }
    return best;
}

// The index of name among known (ignoring case), or count when it is not there.
std::size_t checkIndexOf(const std::string &name, const char *const *known, std::size_t count)
{
    std::size_t i = 0;
    while (i < count && !checkEquals(name, known[i]))
        ++i;
    return i;
}

std::string checkKeyValue(const CheckKey &key)
{
    return key.name + "=" + checkShow(key.value);
}

// Findings on how an integer value reads: no number, text after it, more than 32 bits.
void checkIntSyntax(CheckFile *file, const CheckKey &key, const IniIntRead &read,
                    std::int32_t value)
{
    const std::string number = std::to_string(value);
    if (read.digits == 0) {
        checkAdd(file, key.line, "not-a-number",
                 checkKeyValue(key) + " is not a number: read as 0");
        return;
    }
    if (read.end < key.value.size()) {
        std::string rest = key.value.substr(read.end);
        std::size_t mark = rest.find_first_not_of(" \t\v");
        bool comment = mark != std::string::npos && (rest[mark] == ';' || rest[mark] == '#');
        checkAdd(file, key.line, "text-after-number",
                 checkKeyValue(key) + " reads as " + number + ": the number ends before '" +
                     checkShow(rest) + "'" +
                     (comment ? " (there are no comments after values)" : ""));
    }
    if (!read.fits)
        checkAdd(file, key.line, "beyond-32-bits",
                 checkKeyValue(key) + " is beyond 32 bits: read as " + number);
}

void checkConfigValue(CheckFile *file, const CheckKey &key, const ConfigKey &setting)
{
    if (key.value.empty()) {
        checkAdd(file, key.line, "empty-value",
                 key.name + " is empty: the default " + std::to_string(setting.byDefault) +
                     " is used");
        return;
    }
    IniIntRead read;
    std::int32_t value = iniParseIntRead(key.value.data(), key.value.size(), &read);
    checkIntSyntax(file, key, read, value);
    const std::string shown = key.name + "=" + std::to_string(value);
    if (setting.field == &GlobalSettings::outGaugePort && (value < 1 || value > 65535)) {
        const std::uint16_t low = ogPortOf(value);
        checkAdd(file, key.line, "port",
                 shown + " is outside 1 to 65535: " +
                     (low == 0 ? std::string("the system picks a port, which the simulator "
                                             "cannot know")
                               : "lumivane listens on port " + std::to_string(low) +
                                     " (the low 16 bits)"));
    } else if (setting.field == &GlobalSettings::deviceID && !usbProductIdValid(value)) {
        checkAdd(file, key.line, "device-id",
                 checkKeyValue(key) + " is outside 0 to 0xFFFF: it matches no device");
    } else if (setting.field == &GlobalSettings::deviceNum && value < 0) {
        checkAdd(file, key.line, "device-num", shown + " is negative: no device is ever found");
    }
}

// ", but with LED1b=14 LED 1 shows: off" when the LED of a primary code, with its secondary in
// the profile of section, is not always on after all; empty when it is.
std::string checkUnlessSecondary(const CheckFile &file, const CheckSection &section,
                                 const CarKeyInfo &key)
{
    const bool car = section.kind == CHECK_CAR;
    CarProfile p;
    unsigned from = 0;
    checkResolve(file, car ? section.name.c_str() : nullptr, &p, &from);
    const std::string words =
        checkLedWords(p, key.led, file.settings, car ? checkGameOf(section.name) : OG_GAME_COUNT);
    if (words == "always on")
        return "";
    const CarKey secondary = carCodeKey(key.led, true);
    return ", but with " + std::string(CAR_KEYS[secondary].name) + "=" +
           std::to_string(p.codes[secondary]) + " LED " + std::to_string(key.led) +
           " shows: " + words;
}

void checkCodeValue(CheckFile *file, const CheckSection &section, const CheckKey &key,
                    const CarKeyInfo &carKey)
{
    const bool car = section.kind == CHECK_CAR;
    if (key.value.empty()) {
        checkAdd(file, key.line, "empty-value",
                 key.name + " is empty: " +
                     (car ? "[default]'s " + std::string(carKey.name) + " is used"
                          : std::string("the default 0 (off) is used")));
        return;
    }
    IniIntRead read;
    std::int32_t code = iniParseIntRead(key.value.data(), key.value.size(), &read);
    checkIntSyntax(file, key, read, code);
    if (car && code == CONFIG_ABSENT_CODE)
        return; // the marker for "from [default]"

    const bool primary = !carKey.secondary;
    const std::string led = "LED " + std::to_string(carKey.led);
    const std::string shown = key.name + "=" + std::to_string(code);
    std::int32_t value = 0;
    const LedActionInfo &action = ledActionInfo(code, &value);
    if (action.test == LED_TEST_UNDEFINED) {
        // The program prints the code as ledActionInfo gives its value.
        std::string effect =
            !primary   ? "it adds nothing to " + led
            : code < 0 ? "inverted, it is always on" + checkUnlessSecondary(*file, section, carKey)
                       : "it is never on";
        std::string text = shown + " is no action code: " + effect +
                           ", and lumivane prints \"Unkown LED action " + std::to_string(value) +
                           "\" on every pass that receives data";
        if (code == CONFIG_ABSENT_CODE)
            text += " (-75 means \"from [default]\" only in a car section)";
        checkAdd(file, key.line, "undefined-code", text);
        return;
    }
    const LedFlash flash = action.flash;
    if (primary && code < 0 && flash != LED_FLASH_NONE &&
        configFlashTimes(file->settings).ms[flash] < 0) {
        checkAdd(file, key.line, "always-on",
                 shown + " with a negative " + configFlashKey(flash) + ": code " +
                     std::to_string(value) + " never lights, so inverted it is always on" +
                     checkUnlessSecondary(*file, section, carKey));
        return;
    }
    const std::string absent =
        checkNotSentWords(code, car ? checkGameOf(section.name) : OG_GAME_COUNT);
    if (absent.empty())
        return;
    const std::string where = "[" + checkShow(section.name) + "]";
    const std::string number = "code " + std::to_string(value);
    const std::string effect = !primary   ? "it adds nothing to " + led
                               : code < 0 ? "inverted " + number + " is always on" +
                                                checkUnlessSecondary(*file, section, carKey)
                                          : number + " never lights";
    // Six digits also name a mod car, whose datagrams are OutGauge's.
    const std::string unless = ogCarNameIsSkinId(section.name.c_str())
                                   ? " (unless " + where + " is a mod car's SkinID)"
                                   : "";
    checkAdd(file, key.line, "not-sent",
             shown + " in " + where + ": " + absent + ", so " + effect + unless);
}

void checkShiftAtValue(CheckFile *file, const CheckSection &section, const CheckKey &key)
{
    const bool car = section.kind == CHECK_CAR;
    const OgGame game = car ? checkGameOf(section.name) : OG_GAME_COUNT;
    const std::string where = "[" + checkShow(section.name) + "]";
    if (key.value.empty()) {
        checkAdd(file, key.line, "empty-value",
                 key.name + " is empty: " +
                     (car ? std::string("[default]'s shiftAt is used")
                          : "the default " + std::to_string(LED_SHIFT_AT_DEFAULT) + " is used"));
        return;
    }
    IniIntRead read;
    std::int32_t value = iniParseIntRead(key.value.data(), key.value.size(), &read);
    checkIntSyntax(file, key, read, value);
    if (car && value == CONFIG_ABSENT_CODE)
        return; // the marker for "from [default]"
    if (car && !checkUsesShiftAt(game)) {
        checkAdd(file, key.line, "shift-at",
                 key.name + " in " + where + " does nothing: " +
                     (game == OG_GAME_COUNT ? std::string("OutGauge")
                                            : std::string(OG_GAMES[game].name)) +
                     " sends a shift light of its own (shiftAt is for " + checkShiftAtGames() +
                     ")");
        return;
    }
    const std::string shown = key.name + "=" + std::to_string(value);
    const std::string cars =
        "in " + (car ? where : checkShiftAtGames() + " cars without a shiftAt of their own");
    if (value <= 0)
        checkAdd(file, key.line, "shift-at",
                 shown + ": the shift light (codes 1 and 12) never lights " + cars +
                     (value == CONFIG_ABSENT_CODE
                          ? " (-75 means \"from [default]\" only in a car section)"
                          : ""));
    else if (value > 100)
        checkAdd(file, key.line, "shift-at",
                 shown + " is above 100: the shift light (codes 1 and 12) lights " + cars +
                     " only above the engine's maximum speed (shiftAt is a percentage of it)");
}

void checkLowFuelValue(CheckFile *file, const CheckSection &section, const CheckKey &key)
{
    // The program reads at most 127 characters of it, and converts them with strtod.
    const std::string text = key.value.substr(0, CONFIG_STRING_SIZE - 1);
    if (text.empty()) {
        checkAdd(file, key.line, "empty-value",
                 key.name + " is empty: read as 0, so low fuel never lights (leave the line "
                            "out to get the default)");
        return;
    }
    char *end = nullptr;
    float value = static_cast<float>(std::strtod(text.c_str(), &end));
    if (end == text.c_str()) {
        checkAdd(file, key.line, "not-a-number",
                 checkKeyValue(key) + " is not a number: read as 0, so low fuel never lights");
        return;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%g", static_cast<double>(value));
    if (*end != '\0') {
        std::string rest = end;
        bool comma = rest.size() > 1 && rest[0] == ',' && rest[1] >= '0' && rest[1] <= '9';
        checkAdd(file, key.line, "text-after-number",
                 checkKeyValue(key) + " reads as " + number + ": the number ends before '" +
                     checkShow(rest) + "'" + (comma ? " (decimals take a point: 0.1)" : ""));
    }
    const std::string shown = key.name + "=" + number;
    if (std::isnan(value)) {
        checkAdd(file, key.line, "low-fuel", shown + " is no threshold: low fuel never lights");
    } else if (value > 1.0f) {
        checkAdd(file, key.line, "low-fuel",
                 shown + " is above 1 (a full tank): the fuel is always below it" +
                     (value <= 100.0f ? " (a fraction of the tank: 10 % is 0.1)" : ""));
    } else if (value < 0.0f && section.kind == CHECK_DEFAULT) {
        checkAdd(file, key.line, "low-fuel",
                 shown + " in [default]: low fuel never lights (a negative lowFuel means "
                         "\"from [default]\" only in a car section)");
    }
}

void checkKeys(CheckFile *file, const CheckSection &section)
{
    const bool config = section.kind == CHECK_CONFIG;
    const char *const *known = config ? CHECK_CONFIG_NAMES.at : CHECK_CAR_NAMES.at;
    const std::size_t count = config ? CONFIG_KEY_COUNT : CAR_KEY_COUNT;
    const char *const *other = config ? CHECK_CAR_NAMES.at : CHECK_CONFIG_NAMES.at;
    const std::size_t otherCount = config ? CAR_KEY_COUNT : CONFIG_KEY_COUNT;

    for (std::size_t k = 0; k < section.keys.size(); ++k) {
        const CheckKey &key = section.keys[k];
        const std::string where = "[" + checkShow(section.name) + "]";
        std::size_t index = checkIndexOf(key.name, known, count);
        if (index == count) {
            if (checkIndexOf(key.name, other, otherCount) < otherCount) {
                checkAdd(file, key.line, "misplaced-key",
                         checkShow(key.name) + " is never read in " + where + ": it belongs in " +
                             (config ? "[default] or a car section" : "[config]"));
            } else {
                const char *near = checkNearest(key.name, known, count);
                std::string hint = key.name[0] == '#' ? " ('#' starts no comment, ';' does)"
                                   : near != nullptr  ? " (did you mean " + std::string(near) + "?)"
                                                      : "";
                checkAdd(file, key.line, "unknown-key",
                         "unknown key '" + checkShow(key.name) + "' in " + where +
                             ": lumivane never reads it" + hint);
            }
            continue;
        }
        std::size_t first = 0;
        while (first < k && !checkEquals(section.keys[first].name, known[index]))
            ++first;
        if (first < k) {
            checkAdd(file, key.line, "repeated-key",
                     checkShow(key.name) + " again (first at line " +
                         std::to_string(section.keys[first].line) +
                         "): only the first is read, this one is ignored");
            continue;
        }
        if (config)
            checkConfigValue(file, key, CONFIG_KEYS[index]);
        else if (index == CAR_LOWFUEL)
            checkLowFuelValue(file, section, key);
        else if (index == CAR_SHIFT_AT)
            checkShiftAtValue(file, section, key);
        else
            checkCodeValue(file, section, key, CAR_KEYS[index]);
    }
}

const CheckKey *checkKeyNamed(const CheckSection *section, const char *name)
{
    if (section == nullptr)
        return nullptr;
    for (const CheckKey &key : section->keys) {
        if (checkEquals(key.name, name))
            return &key;
    }
    return nullptr;
}

bool checkHasFinding(const CheckFile &file, std::size_t line)
{
    for (const CheckFinding &f : file.findings) {
        if (f.line == line)
            return true;
    }
    return false;
}

// Where a code or threshold is used, for messages: "[XRT] LED1, [default] LED2".
void checkAddUse(std::vector<std::string> *uses, const std::string &use)
{
    if (std::find(uses->begin(), uses->end(), use) == uses->end())
        uses->push_back(use);
}

std::string checkUses(const std::vector<std::string> &uses)
{
    std::string text;
    for (std::size_t i = 0; i < uses.size() && i < 3; ++i)
        text += (i > 0 ? ", " : "") + uses[i];
    if (uses.size() > 3)
        text += " and " + std::to_string(uses.size() - 3) + " more";
    return "used by " + text;
}

// Flash times that leave a flashing code steady or dark, and thresholds of 0 under a
// low-fuel code: these need the profiles as the program resolves them.
void checkProfiles(CheckFile *file)
{
    std::vector<const CheckSection *> cars{nullptr}; // NULL: [default]
    for (const CheckSection &s : file->sections) {
        if (s.kind == CHECK_CAR && s.firstLine == s.line)
            cars.push_back(&s);
    }
    const CheckSection *deflt = checkSectionNamed(*file, "default");
    std::vector<std::string> flashUses[LED_FLASH_COUNT];
    std::vector<std::pair<std::size_t, std::vector<std::string>>> zeroFuel;

    for (const CheckSection *car : cars) {
        CarProfile p;
        unsigned from = 0;
        checkResolve(*file, car != nullptr ? car->name.c_str() : nullptr, &p, &from);
        const std::string label = "[" + (car != nullptr ? checkShow(car->name) : "default") + "]";
        const bool ownThreshold = car != nullptr && (from & carKeyBit(CAR_LOWFUEL)) == 0;
        std::vector<std::string> lowFuelUses;
        for (int i = 0; i < CAR_CODE_COUNT; ++i) {
            // A car's use of what it takes from [default] is listed under [default].
            const bool inherited = car != nullptr && (from & carKeyBit(CAR_KEYS[i].key)) != 0;
            const std::string where = label + " " + CAR_KEYS[i].name;
            const LedActionInfo &action = checkAction(p.codes[i]);
            if (action.flash != LED_FLASH_NONE && !inherited)
                checkAddUse(&flashUses[action.flash], where);
            if (action.test == LED_TEST_FUEL && (!inherited || ownThreshold))
                lowFuelUses.push_back(where);
        }
        if (lowFuelUses.empty() || p.lowFuel != 0.0f)
            continue;
        const CheckKey *key = checkKeyNamed(ownThreshold ? car : deflt, "lowFuel");
        if (key == nullptr)
            continue;
        auto it = std::find_if(zeroFuel.begin(), zeroFuel.end(),
                               [&](const auto &z) { return z.first == key->line; });
        if (it == zeroFuel.end())
            it = zeroFuel.insert(zeroFuel.end(), {key->line, {}});
        for (const std::string &u : lowFuelUses)
            checkAddUse(&it->second, u);
    }

    const CheckSection *config = checkSectionNamed(*file, "config");
    for (LedAction c = 0; c < LED_ACTION_COUNT; ++c) {
        const LedFlash f = LED_ACTIONS[c].flash;
        if (f == LED_FLASH_NONE)
            continue;
        const std::int32_t time = configFlashTimes(file->settings).ms[f];
        if (flashUses[f].empty() || time > 0)
            continue;
        const CheckKey *key = checkKeyNamed(config, configFlashKey(f));
        const std::string shown = std::string(configFlashKey(f)) + "=" + std::to_string(time);
        const std::string code = "code " + std::to_string(c);
        checkAdd(file, key != nullptr ? key->line : 0, "flash-time",
                 (time == 0 ? shown + ": " + code + " lights steadily, without flashing ("
                            : shown + " is negative: " + code + " never lights (") +
                     checkUses(flashUses[f]) + ")");
    }
    for (const auto &z : zeroFuel) {
        if (!checkHasFinding(*file, z.first))
            checkAdd(file, z.first, "low-fuel",
                     "lowFuel=0: low fuel never lights (" + checkUses(z.second) + ")");
    }
}

} // namespace

const LedActionInfo &checkAction(LedAction code)
{
    std::int32_t value = 0;
    return ledActionInfo(code, &value);
}

std::int32_t checkValue(LedAction code)
{
    std::int32_t value = 0;
    ledActionInfo(code, &value);
    return value;
}

void checkResolve(const CheckFile &file, const char *car, CarProfile *out, unsigned *from)
{
    // [default] read as a car's section gives what a car without a section gets: every
    // marker there falls through to the same [default] values.
    configResolveProfile(file.profile, car != nullptr ? car : "default", out, from);
}

std::string checkShow(const std::string &text)
{
    char shown[41];
    configPrintableName(text.data(), text.size(), shown, sizeof shown);
    return text.size() > 40 ? shown + std::string("...") : std::string(shown);
}

const CheckSection *checkSectionNamed(const CheckFile &file, const char *name)
{
    for (const CheckSection &s : file.sections) {
        if (checkEquals(s.name, name))
            return &s;
    }
    return nullptr;
}

void checkFindings(CheckFile *file)
{
    for (const CheckStray &stray : file->strays) {
        if (stray.outside)
            checkAdd(file, stray.line, "outside-section",
                     "line outside any section: lumivane never reads it");
        else
            checkAdd(file, stray.line, "no-equals",
                     stray.text[0] == '[' ? "'" + checkShow(stray.text) +
                                                "' has no closing ']': no section header, ignored"
                     : stray.text[0] == '#' ? "line without '=': no key, ignored ('#' starts no "
                                              "comment, ';' does)"
                                            : "line without '=': no key, ignored");
    }
    if (file->bom)
        checkAdd(file, 1, "bom",
                 std::string("the file starts with a UTF-8 byte-order mark: fine on Linux, but "
                             "Windows reads it as text") +
                     (file->bomOnHeader ? ", so there the first section is lost" : "") +
                     "; save the file without it");
    bool carOrDefault = false;
    for (const CheckSection &section : file->sections) {
        const std::string name = "[" + checkShow(section.name) + "]";
        if (section.firstLine != section.line) {
            checkAdd(file, section.line, "repeated-section",
                     "second " + name + " (first at line " + std::to_string(section.firstLine) +
                         "): only the first is read, its keys here are ignored");
            continue;
        }
        if (section.kind == CHECK_NO_CAR) {
            static const char *const named[] = {"config", "default"};
            const char *near = checkNearest(section.name, named, 2);
            checkAdd(file, section.line, "long-section",
                     name + " never matches a car: car codes have at most 4 characters (6 hex " +
                         "digits for a mod car's SkinID, up to 6 digits for a Forza car)" +
                         (near != nullptr ? " (did you mean [" + std::string(near) + "]?)" : ""));
            continue;
        }
        carOrDefault = carOrDefault || section.kind != CHECK_CONFIG;
        checkKeys(file, section);
    }
    if (!carOrDefault)
        checkAdd(file, 0, "nothing-lights",
                 "no [default] and no car section: both LEDs stay off in every car");
    checkProfiles(file);
    std::stable_sort(file->findings.begin(), file->findings.end(),
                     [](const CheckFinding &a, const CheckFinding &b) { return a.line < b.line; });
}

std::size_t checkPrintFindings(const CheckFile &file)
{
    for (const CheckFinding &f : file.findings) {
        if (f.line == 0)
            outPrintf("%s: warning: %s [%s]\n", file.shown.c_str(), f.text.c_str(), f.kind);
        else
            outPrintf("%s:%lu: warning: %s [%s]\n", file.shown.c_str(),
                      static_cast<unsigned long>(f.line), f.text.c_str(), f.kind);
    }
    const std::size_t n = file.findings.size();
    if (n == 0)
        outPrintf("%s: no findings\n", file.shown.c_str());
    else
        outPrintf("%s: %lu finding%s\n", file.shown.c_str(), static_cast<unsigned long>(n),
                  n == 1 ? "" : "s");
    return n;
}
