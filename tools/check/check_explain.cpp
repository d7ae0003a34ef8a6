// lumivane-check: what each LED shows, in words and as a table computed by the LED logic.
#include "tools/check/check.h"

#include "base/out.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

enum CheckTruth { CHECK_NEVER, CHECK_SOMETIMES, CHECK_ALWAYS };

const char CHECK_EARLIER_ONLY[] = " (sent only in the earlier OutGauge layout)";

// A code's condition: whether it can change, and in words.
struct CheckCondition {
    CheckTruth truth;
    std::string text;
};

// What the condition of a code with meaning a shows, in words (see CHECK_WORDS).
const char *checkWords(const LedActionInfo &a)
{
    if (a.test == LED_TEST_RPM)
        return "engine speed";
    if (a.test == LED_TEST_UNDEFINED)
        return "undefined code";
    return CHECK_WORDS[a.steady].words;
}

std::string checkNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::string checkPercent(float fraction)
{
    return checkNumber(static_cast<double>(fraction) * 100.0) + " %";
}

CheckCondition checkLowFuel(float threshold, OgGame game)
{
    // The simulator sends fuel as a fraction from 0 to 1 and the test is "below".
    const std::string words = CHECK_WORDS[LowFuel].words;
    if (!(threshold > 0.0f))
        return {CHECK_NEVER, words + " (never: lowFuel is " + checkNumber(threshold) + ")"};
    // A game that leaves the fuel out sends none to be below the threshold.
    const char *gap = game != OG_GAME_COUNT ? CHECK_FUEL_GAPS[OG_GAMES[game].fuel] : nullptr;
    const std::string where = gap != nullptr ? std::string(", where ") + OG_GAMES[game].name +
                                                   " sends the fuel level: " + gap
                                             : "";
    if (threshold > 1.0f)
        return {gap != nullptr ? CHECK_SOMETIMES : CHECK_ALWAYS,
                words + " (below " + checkPercent(threshold) + " of the tank: always" + where +
                    ")"};
    return {CHECK_SOMETIMES,
            words + " (below " + checkPercent(threshold) + " of the tank" + where + ")"};
}

CheckCondition checkFlashing(const CheckCondition &base, const GlobalSettings &g, LedFlash flash)
{
    const std::int32_t time = configFlashTimes(g).ms[flash];
    const std::string key = configFlashKey(flash);
    if (base.truth == CHECK_NEVER)
        return base;
    if (time < 0)
        return {CHECK_NEVER, base.text + ", flashing (never: " + key + " is negative)"};
    if (time == 0)
        return {base.truth, base.text + " (steady: " + key + " is 0)"};
    const std::string ms = std::to_string(time) + " ms";
    return {CHECK_SOMETIMES, base.text + ", flashing (" + ms + " on, " + ms + " off)"};
}

// Whether a code with meaning a shows the shift light, which a game may light by shiftAt.
bool checkIsShift(const LedActionInfo &a)
{
    return a.test == LED_TEST_LIGHT && ledOwnLight(a) == OG_DL_SHIFT;
}

// Whether any code of profile p shows the shift light.
bool checkUsesShift(const CarProfile &p)
{
    bool shift = false;
    for (LedAction code : p.codes)
        shift = shift || checkIsShift(checkAction(code));
    return shift;
}

// The condition of a light in a car of game: by shiftAt, or as the datagrams give it.
CheckCondition checkLight(const LedActionInfo &a, const CarProfile &p, OgGame game)
{
    const std::string words = checkWords(a);
    if (game == OG_GAME_COUNT) {
        // A light that today's senders do not have: only the earlier layout sends it.
        return {CHECK_SOMETIMES, words + (a.light == 0 ? CHECK_EARLIER_ONLY : "")};
    }
    if (checkIsShift(a) && checkUsesShiftAt(game)) {
        if (p.shiftAt <= 0)
            return {CHECK_NEVER, words + " (never: shiftAt is " + std::to_string(p.shiftAt) + ")"};
        return {CHECK_SOMETIMES,
                words + " (engine speed above " + std::to_string(p.shiftAt) + " % of its maximum)"};
    }
    return {CHECK_SOMETIMES, words};
}

// The condition of |code|, as the LED logic decides it, in the checker's words.
CheckCondition checkCondition(LedAction code, const GlobalSettings &g, const CarProfile &p,
                              OgGame game)
{
    std::int32_t value = 0;
    const LedActionInfo &a = ledActionInfo(code, &value);
    const char *words = checkWords(a);
    CheckCondition base;
    switch (a.test) {
    case LED_TEST_OFF:
    case LED_TEST_UNDEFINED:
        return {CHECK_NEVER, words};
    case LED_TEST_ALWAYS:
        return {CHECK_ALWAYS, words};
    case LED_TEST_RPM:
        return {CHECK_SOMETIMES, std::string(words) + " above " + std::to_string(value) + " rpm"};
    case LED_TEST_FUEL:
        base = checkLowFuel(p.lowFuel, game);
        break;
    default:
        base = checkLight(a, p, game);
        break;
    }
    const std::string absent = checkNotSentWords(code, game);
    if (!absent.empty())
        base = {CHECK_NEVER, std::string(words) + " (never: " + absent + ")"};
    return a.flash == LED_FLASH_NONE ? base : checkFlashing(base, g, a.flash);
}

// The words for "on while the condition of code does not hold".
std::string checkNot(LedAction code, const CheckCondition &c)
{
    std::int32_t value = 0;
    const LedActionInfo &a = ledActionInfo(code, &value);
    if (a.test == LED_TEST_RPM)
        return std::string(checkWords(a)) + " at most " + std::to_string(value) + " rpm";
    return "on unless " + c.text;
}

// How the program combines a primary and a secondary code of these signs, from its own
// evaluator: the LED for each truth of the two conditions, [primary][secondary]. Two lights
// stand in for the conditions.
struct CheckCombination {
    bool led[2][2];
};

CheckCombination checkCombine(LedAction primary, LedAction secondary)
{
    const LedAction p = primary < 0 ? -ShiftLight : ShiftLight;
    const LedAction s = secondary < 0 ? -Handbrake : Handbrake;
    const CarProfile profile = {{p, Off, s, Off}, 0.0f};
    const std::uint32_t tick = 0;
    CheckCombination c = {};
    for (int pc = 0; pc < 2; ++pc) {
        for (int sc = 0; sc < 2; ++sc) {
            OutGaugePacket packet = {};
            ogPacketSetLights(&packet, OG_DL_SHARED,
                              (pc ? LED_ACTIONS[ShiftLight].light : 0) |
                                  (sc ? LED_ACTIONS[Handbrake].light : 0));
            c.led[pc][sc] = ledEvaluate(profile, LedFlashTimes{}, packet, ledTicksAt(&tick)).led1;
        }
    }
    return c;
}

// Whether a condition of this truth can be v.
bool checkCan(CheckTruth truth, int v)
{
    return truth == CHECK_SOMETIMES || (truth == CHECK_ALWAYS) == (v == 1);
}

// One LED in words: what the program's combination of its primary and secondary code gives
// for every truth of their conditions that can occur.
std::string checkLedText(LedAction primary, LedAction secondary, const GlobalSettings &g,
                         const CarProfile &profile, OgGame game)
{
    const CheckCondition p = checkCondition(primary, g, profile, game);
    const CheckCondition s = secondary == 0 ? CheckCondition{CHECK_NEVER, ""}
                                            : checkCondition(secondary, g, profile, game);
    const CheckCombination c = checkCombine(primary, secondary);
    // One condition twice (one clock read per datagram keeps flashing in step too).
    const bool same = checkValue(primary) == checkValue(secondary);

    bool on = false, off = false, onWith[2] = {false, false}, onWithS[2] = {false, false};
    for (int pc = 0; pc < 2; ++pc) {
        for (int sc = 0; sc < 2; ++sc) {
            if (!checkCan(p.truth, pc) || !checkCan(s.truth, sc) || (same && pc != sc))
                continue;
            on = on || c.led[pc][sc];
            off = off || !c.led[pc][sc];
            onWith[pc] = onWith[pc] || c.led[pc][sc];
            onWithS[sc] = onWithS[sc] || c.led[pc][sc];
        }
    }
    if (!off)
        return "always on";
    if (!on)
        return "off";
    if (s.truth != CHECK_SOMETIMES || same)
        return onWith[1] ? p.text : checkNot(primary, p);
    if (p.truth != CHECK_SOMETIMES)
        return onWithS[1] ? s.text : checkNot(secondary, s);
    // Both vary on their own: the primary's part, then forced on or toggled by the secondary.
    return (c.led[1][0] ? p.text : checkNot(primary, p)) +
           (c.led[0][1] && c.led[1][1] ? ", or " : ", inverted while ") + s.text;
}

// "LED 1: ..." with notes on undefined codes, on codes whose light the game does not send and
// on values from [default].
void checkPrintLed(int n, const CarProfile &p, unsigned from, bool showFrom,
                   const GlobalSettings &g, OgGame game)
{
    const CarKey keys[2] = {carCodeKey(n, false), carCodeKey(n, true)};
    const LedAction primary = p.codes[keys[0]];
    const LedAction secondary = p.codes[keys[1]];
    std::string notes;
    bool shift = false;
    for (CarKey key : keys) {
        const std::string code =
            std::string(CAR_KEYS[key].name) + "=" + std::to_string(p.codes[key]);
        const std::string absent = checkNotSentWords(p.codes[key], game);
        if (ledActionUndefined(p.codes[key]))
            notes += (notes.empty() ? "" : "; ") + code + " is undefined";
        else if (!absent.empty())
            notes += (notes.empty() ? "" : "; ") + code + ": " + absent;
        shift = shift || checkIsShift(checkAction(p.codes[key]));
    }
    if (shift && checkUsesShiftAt(game) && p.shiftAt <= 0)
        notes += (notes.empty() ? "" : "; ") + std::string("shiftAt=") + std::to_string(p.shiftAt) +
                 ": the shift light never lights";
    std::string fromDefault;
    for (CarKey key : keys) {
        if (showFrom && (from & carKeyBit(key)) != 0 && (key == keys[0] || p.codes[key] != 0))
            fromDefault += (fromDefault.empty() ? "" : ", ") + std::string(CAR_KEYS[key].name);
    }
    if (showFrom && (from & carKeyBit(CAR_LOWFUEL)) != 0 &&
        (checkAction(primary).test == LED_TEST_FUEL ||
         (secondary != 0 && checkAction(secondary).test == LED_TEST_FUEL)))
        fromDefault += (fromDefault.empty() ? "" : ", ") + std::string("lowFuel");
    if (showFrom && (from & carKeyBit(CAR_SHIFT_AT)) != 0 && shift && checkUsesShiftAt(game))
        fromDefault += (fromDefault.empty() ? "" : ", ") + std::string("shiftAt");
    if (!fromDefault.empty())
        notes += (notes.empty() ? "" : "; ") + fromDefault + " from [default]";
    outPrintf("  LED %d: %s%s\n", n, checkLedText(primary, secondary, g, p, game).c_str(),
              notes.empty() ? "" : (" (" + notes + ")").c_str());
}

void checkPrintProfile(const CheckFile &file, const char *car, bool showFrom, OgGame game,
                       CarProfile *out)
{
    unsigned from = 0;
    checkResolve(file, car, out, &from);
    checkPrintLed(1, *out, from, showFrom, file.settings, game);
    checkPrintLed(2, *out, from, showFrom, file.settings, game);
}

std::string checkFlashTimeText(std::int32_t time)
{
    if (time < 0)
        return std::to_string(time) + " (never lights)";
    if (time == 0)
        return "0 (steady)";
    return std::to_string(time) + " ms";
}

// The heading of [config] or [default]: where it is, or what applies without it.
void checkPrintHeading(const CheckFile &file, const char *name, const char *found,
                       const char *missing)
{
    const CheckSection *section = checkSectionNamed(file, name);
    if (section != nullptr)
        outPrintf("[%s] (line %lu), %s:\n", name, static_cast<unsigned long>(section->line), found);
    else
        outPrintf("[%s]: none, %s:\n", name, missing);
}

void checkPrintConfig(const CheckFile &file)
{
    checkPrintHeading(file, "config", "read at start-up and on each save", "so the defaults");
    const GlobalSettings &g = file.settings;
    std::string port = std::to_string(g.outGaugePort);
    if (g.outGaugePort < 1 || g.outGaugePort > 65535)
        port += " (listens on " + std::to_string(ogPortOf(g.outGaugePort)) + ")";
    std::string num = std::to_string(g.deviceNum);
    num += g.deviceNum == 0 ? " (the first found)" : g.deviceNum < 0 ? " (matches none)" : "";
    outPrintf("  port %s, LED device 046D:%04X, device number %s\n", port.c_str(),
              static_cast<unsigned>(g.deviceID), num.c_str());
    // Each flash time named by what its code shows.
    std::string times;
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.flash != LED_FLASH_NONE)
            times += (times.empty() ? "" : ", ") + std::string(checkWords(a)) + " " +
                     checkFlashTimeText(configFlashTimes(g).ms[a.flash]);
    }
    outPrintf("  flash times: %s\n", times.c_str());
}

// Ticks at which the flash phases of the given flash times (all above 0) take every
// combination of on and off that occurs in the first stretch of the count.
std::vector<std::uint32_t> checkFlashTicks(const std::vector<std::int32_t> &times)
{
    std::vector<std::uint64_t> candidates{0};
    for (std::int32_t t : times) {
        for (std::uint64_t m = 1; m < 64 && m * static_cast<std::uint64_t>(t) <= UINT32_MAX; ++m)
            candidates.push_back(m * static_cast<std::uint64_t>(t));
    }
    std::vector<std::uint32_t> ticks;
    std::vector<unsigned> seen;
    for (std::uint64_t c : candidates) {
        std::uint32_t tick = static_cast<std::uint32_t>(c);
        unsigned phases = 0;
        for (std::size_t i = 0; i < times.size(); ++i)
            phases |= ledFlashPhase(tick, times[i]) ? 1u << i : 0u;
        if (std::find(seen.begin(), seen.end(), phases) == seen.end()) {
            seen.push_back(phases);
            ticks.push_back(tick);
        }
    }
    return ticks;
}

// A datagram of one situation: the lights in the word of its layout, and the engine speed
// and fuel.
struct CheckSituation {
    std::string label;
    bool earlier; // a datagram of the earlier layout: lights in the flags word
    std::uint32_t lights;
    float rpm;
    float fuel;
};

// The engine speeds around a threshold that a datagram can carry: the largest float at
// most limit, and the next one above it (limit + 1 wherever floats are that fine).
void checkAround(double limit, float *at, float *above)
{
    *at = static_cast<float>(limit);
    if (static_cast<double>(*at) > limit)
        *at = std::nextafter(*at, -INFINITY);
    *above = static_cast<float>(limit + 1.0);
    if (static_cast<double>(*above) <= limit)
        *above = std::nextafter(*at, INFINITY);
}

std::string checkRpm(float rpm)
{
    char text[48];
    std::snprintf(text, sizeof text, "%s %.0f rpm", checkWords(checkAction(RpmAbove)),
                  static_cast<double>(rpm));
    return text;
}

// The maximum engine speed in the table's datagrams of a game that lights the shift light by
// shiftAt: a round figure, as each car has its own.
constexpr float CHECK_TABLE_MAX_RPM = 8000.0f;

std::vector<CheckSituation> checkSituations(const CarProfile &p, OgGame game)
{
    const bool outGauge = game == OG_GAME_COUNT;
    const bool byShiftAt = !outGauge && checkUsesShiftAt(game);
    const float none = std::numeric_limits<float>::quiet_NaN();
    const float full = 1.0f;
    std::vector<CheckSituation> rows = {{"nothing on", false, 0, 0.0f, full}};
    // One row for each light that a code shows alone, as today's senders send it (its own
    // bit is the lowest); a light they do not have, as the earlier layout sends it. A game
    // has a row for each light it sends, but for a shift light that shiftAt makes.
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.test != LED_TEST_LIGHT || a.flash != LED_FLASH_NONE)
            continue;
        if (!outGauge) {
            if ((a.light & OG_GAMES[game].lights) != 0 && !(byShiftAt && checkIsShift(a)))
                rows.push_back({checkWords(a), false, ledOwnLight(a), 0.0f, full});
        } else if (a.light != 0) {
            rows.push_back({checkWords(a), false, ledOwnLight(a), 0.0f, full});
        } else {
            rows.push_back(
                {std::string(checkWords(a)) + " (earlier layout)", true, a.flag, 0.0f, full});
        }
    }
    std::vector<std::int32_t> rpms;
    bool lowFuel = false;
    for (LedAction code : p.codes) {
        if (checkAction(code).test == LED_TEST_RPM)
            rpms.push_back(checkValue(code));
        lowFuel = lowFuel || checkAction(code).test == LED_TEST_FUEL;
    }
    std::sort(rpms.begin(), rpms.end());
    rpms.erase(std::unique(rpms.begin(), rpms.end()), rpms.end());
    std::vector<CheckSituation> speeds;
    for (std::int32_t rpm : rpms) {
        float at = 0.0f, above = 0.0f;
        checkAround(rpm, &at, &above);
        speeds.push_back({checkRpm(at), false, 0, at, full});
        speeds.push_back({checkRpm(above), false, 0, above, full});
    }
    if (byShiftAt && checkUsesShift(p) && p.shiftAt > 0) {
        float at = 0.0f, above = 0.0f;
        checkAround(static_cast<double>(p.shiftAt) * CHECK_TABLE_MAX_RPM / 100.0, &at, &above);
        speeds.push_back(
            {checkRpm(at) + " (" + std::to_string(p.shiftAt) + " %)", false, 0, at, full});
        speeds.push_back({checkRpm(above), false, 0, above, full});
    }
    std::stable_sort(
        speeds.begin(), speeds.end(),
        [](const CheckSituation &a, const CheckSituation &b) { return a.rpm < b.rpm; });
    rows.insert(rows.end(), speeds.begin(), speeds.end());
    if (lowFuel && !std::isnan(full)) {
        if (p.lowFuel > 0.0f && p.lowFuel <= 1.0f) {
            rows.push_back({"fuel " + checkPercent(p.lowFuel), false, 0, 0.0f, p.lowFuel});
            rows.push_back({"fuel just under " + checkPercent(p.lowFuel), false, 0, 0.0f,
                            std::nextafter(p.lowFuel, 0.0f)});
        } else {
            rows.push_back({"fuel 0 % (empty tank)", false, 0, 0.0f, 0.0f});
        }
        if (!outGauge && CHECK_FUEL_GAPS[OG_GAMES[game].fuel] != nullptr)
            rows.push_back({"no fuel level sent", false, 0, 0.0f, none});
    }
    return rows;
}

// The distinct flash times above 0 that the profile's flashing codes use.
std::vector<std::int32_t> checkFlashTimes(const CarProfile &p, const GlobalSettings &g)
{
    std::vector<std::int32_t> times;
    for (LedAction code : p.codes) {
        const LedFlash flash = checkAction(code).flash;
        const std::int32_t t = flash != LED_FLASH_NONE ? configFlashTimes(g).ms[flash] : 0;
        if (t > 0 && std::find(times.begin(), times.end(), t) == times.end())
            times.push_back(t);
    }
    return times;
}

// The datagram of a situation as the car's game gives it to the LED logic: OutGauge's in
// either layout, or a game's in the current layout with the lights it has, and beside it the
// maximum engine speed and whether the shift light is the game's own.
void checkSituationDatagram(const CheckSituation &row, const char *car, OgGame game,
                            OutGaugePacket *packet, OgExtra *extra)
{
    std::memset(packet, 0, sizeof *packet);
    ogPacketSetCarName(packet, car);
    *extra = OG_EXTRA_OUTGAUGE;
    if (game == OG_GAME_COUNT && row.earlier)
        ogPacketSetFlags(packet, static_cast<std::uint16_t>(row.lights));
    else if (game == OG_GAME_COUNT)
        ogPacketSetLights(packet, OG_DL_SHARED, row.lights);
    else {
        const OgGameInfo &info = OG_GAMES[game];
        ogPacketSetLights(packet, info.lights, row.lights & info.lights);
        std::snprintf(extra->car, sizeof extra->car, "%s", car);
        extra->maxRpm = CHECK_TABLE_MAX_RPM;
        extra->ownShiftLight = info.ownShiftLight;
    }
    ogPacketSetRpm(packet, row.rpm);
    ogPacketSetFuel(packet, row.fuel);
}

// The game that names its cars so, "Forza", for the headings; empty for an OutGauge car.
std::string checkGameLabel(const std::string &car)
{
    const OgGame game = checkGameOf(car);
    if (game == OG_GAME_COUNT)
        return "";
    return std::string(OG_GAMES[game].name) +
           (ogCarNameIsSkinId(car.c_str()) ? " (or a mod car's SkinID)" : "");
}

} // namespace

bool checkUsesShiftAt(OgGame game)
{
    return game != OG_GAME_COUNT && !OG_GAMES[game].ownShiftLight;
}

std::string checkShiftAtGames()
{
    std::vector<const char *> names;
    for (const OgGameInfo &info : OG_GAMES) {
        if (checkUsesShiftAt(info.game))
            names.push_back(info.name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string checkNotSentWords(LedAction code, OgGame game)
{
    const LedActionInfo &a = checkAction(code);
    if (game == OG_GAME_COUNT)
        return "";
    const std::string name = OG_GAMES[game].name;
    if (a.test != LED_TEST_LIGHT || (checkIsShift(a) && checkUsesShiftAt(game)) ||
        (a.light & OG_GAMES[game].lights) != 0)
        return "";
    const std::string words = checkWords(a);
    const bool light = words.size() >= 5 && words.compare(words.size() - 5, 5, "light") == 0;
    return name + " sends no " + words + (light ? "" : " light");
}

std::string checkLedWords(const CarProfile &p, int led, const GlobalSettings &g, OgGame game)
{
    return checkLedText(p.codes[carCodeKey(led, false)], p.codes[carCodeKey(led, true)], g, p,
                        game);
}

std::string checkConditionWords(LedAction code, const GlobalSettings &g, const CarProfile &p,
                                OgGame game)
{
    return checkCondition(code, g, p, game).text;
}

std::string checkNotWords(LedAction code, const GlobalSettings &g, const CarProfile &p, OgGame game)
{
    return checkNot(code, checkCondition(code, g, p, game));
}

void checkExplain(const CheckFile &file)
{
    outPrintf("%s, as lumivane reads it:\n", file.shown.c_str());
    checkPrintConfig(file);
    CarProfile profile;
    checkPrintHeading(file, "default", "for every car without a section of its own",
                      "so a car without a section of its own gets");
    checkPrintProfile(file, nullptr, false, OG_GAME_COUNT, &profile);
    // The games that send no shift light of their own light it by [default]'s shiftAt.
    int byShiftAt = 0;
    while (byShiftAt < OG_GAME_COUNT && !checkUsesShiftAt(static_cast<OgGame>(byShiftAt)))
        ++byShiftAt;
    if (checkUsesShift(profile) && byShiftAt < OG_GAME_COUNT)
        outPrintf(
            "  in %s: %s\n", checkShiftAtGames().c_str(),
            checkConditionWords(ShiftLight, file.settings, profile, static_cast<OgGame>(byShiftAt))
                .c_str());
    for (const CheckSection &s : file.sections) {
        const std::string name = "[" + checkShow(s.name) + "]";
        const unsigned long line = static_cast<unsigned long>(s.line);
        if (s.firstLine != s.line)
            outPrintf("%s (line %lu): ignored, only the first [%s] (line %lu) is read\n",
                      name.c_str(), line,
                      checkShow(checkSectionNamed(file, s.name.c_str())->name).c_str(),
                      static_cast<unsigned long>(s.firstLine));
        else if (s.kind == CHECK_NO_CAR)
            outPrintf("%s (line %lu): never used, car codes have at most 4 characters (6 "
                      "hex digits for a mod car's SkinID, up to 6 digits for a Forza car)\n",
                      name.c_str(), line);
        else if (s.kind == CHECK_CAR) {
            const std::string game = checkGameLabel(s.name);
            outPrintf("%s (line %lu)%s%s:\n", name.c_str(), line, game.empty() ? "" : ", for ",
                      game.c_str());
            checkPrintProfile(file, s.name.c_str(), true, checkGameOf(s.name), &profile);
        }
    }
}

void checkExplainCar(const CheckFile &file, const char *car)
{
    const CheckSection *own = checkSectionNamed(file, car);
    const OgGame game = checkGameOf(car);
    std::string shown = car;
    if (game != OG_GAME_COUNT)
        shown += " (" + checkGameLabel(car) + ")";
    if (own != nullptr)
        outPrintf("%s, car %s: [%s] (line %lu), and [default] for what it leaves out\n",
                  file.shown.c_str(), shown.c_str(), checkShow(own->name).c_str(),
                  static_cast<unsigned long>(own->line));
    else if (checkSectionNamed(file, "default") != nullptr)
        outPrintf("%s, car %s: no section of its own, so [default]\n", file.shown.c_str(),
                  shown.c_str());
    else
        outPrintf("%s, car %s: no section of its own and no [default]\n", file.shown.c_str(),
                  shown.c_str());
    CarProfile profile;
    checkPrintProfile(file, car, own != nullptr, game, &profile);

    // The program's own evaluation on a datagram of each situation, at a tick of every
    // on/off combination of the flash phases in use; a state that changes is flashing.
    const LedFlashTimes flashTimes = configFlashTimes(file.settings);
    const std::vector<std::uint32_t> ticks =
        checkFlashTicks(checkFlashTimes(profile, file.settings));
    const std::vector<CheckSituation> rows = checkSituations(profile, game);
    std::vector<std::string> states[2];
    for (const CheckSituation &row : rows) {
        OutGaugePacket packet;
        OgExtra extra;
        checkSituationDatagram(row, car, game, &packet, &extra);
        int on[2] = {0, 0};
        for (std::uint32_t tick : ticks) {
            const LedStates leds =
                ledEvaluate(profile, flashTimes, packet, ledTicksAt(&tick), extra);
            on[0] += leds.led1 ? 1 : 0;
            on[1] += leds.led2 ? 1 : 0;
        }
        for (int i = 0; i < 2; ++i) {
            const int n = static_cast<int>(ticks.size());
            states[i].push_back(on[i] == 0 ? "off" : on[i] == n ? "on" : "flashing");
        }
    }

    // A game's table has its lights only, and the shift light by shiftAt of some maximum.
    if (game != OG_GAME_COUNT && checkUsesShiftAt(game) && checkUsesShift(profile) &&
        profile.shiftAt > 0)
        outPrintf("\n  as %s sends it, from an engine whose maximum speed is %.0f rpm:\n",
                  OG_GAMES[game].name, static_cast<double>(CHECK_TABLE_MAX_RPM));
    else if (game != OG_GAME_COUNT)
        outPrintf("\n  as %s sends it:\n", OG_GAMES[game].name);
    std::size_t width = std::strlen("situation");
    for (const CheckSituation &row : rows)
        width = std::max(width, row.label.size());
    const int w = static_cast<int>(width);
    outPrintf("%s  %-*s  %-8s  %s\n", game != OG_GAME_COUNT ? "" : "\n", w, "situation", "LED 1",
              "LED 2");
    for (std::size_t i = 0; i < rows.size(); ++i)
        outPrintf("  %-*s  %-8s  %s\n", w, rows[i].label.c_str(), states[0][i].c_str(),
                  states[1][i].c_str());
}
