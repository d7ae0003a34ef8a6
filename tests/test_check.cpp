// lumivane-check's words for each LED, held against the program's own evaluator on OutGauge's
// datagrams and on each game's, and its words for each code against the action table.
#include "tools/check/check.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

struct Situation {
    OutGaugePacket packet;
    OgExtra extra;
    std::uint32_t tick;
};

// The maximum engine speed of the games' datagrams, and the shiftAt values tried with it: the
// default's threshold lies between the engine speeds 7200 and 7201.
constexpr float MAX_RPM = 8000.0f;

// Datagrams of both layouts with no light, each light alone and all lights, at engine speeds
// and fuel levels on both sides of the codes' thresholds, at ticks where the flash phases
// are on and off in different combinations.
std::vector<Situation> situations()
{
    std::vector<std::pair<bool, std::uint32_t>> lights = {
        {false, 0}, {false, 0x3FF}, {true, 0}, {true, 0x7FF}};
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.flag != 0)
            lights.push_back({false, a.flag});
        if (a.light != 0)
            lights.push_back({true, ledOwnLight(a)});
    }
    std::vector<Situation> all;
    for (const auto &light : lights) {
        for (float rpm : {0.0f, 150.0f, 6500.0f, 6501.0f}) {
            for (float fuel : {1.0f, 0.05f}) {
                for (std::uint32_t tick : {0u, 200u, 1000u}) {
                    Situation s = {{}, OG_EXTRA_OUTGAUGE, tick};
                    if (light.first)
                        ogPacketSetLights(&s.packet, OG_DL_SHARED, light.second);
                    else
                        ogPacketSetFlags(&s.packet, static_cast<std::uint16_t>(light.second));
                    ogPacketSetRpm(&s.packet, rpm);
                    ogPacketSetFuel(&s.packet, fuel);
                    all.push_back(s);
                }
            }
        }
    }
    return all;
}

// A game's datagrams as its decoder leaves them: the lights it has (none on, each alone, all),
// engine speeds on both sides of the codes' and shiftAt's thresholds below its maximum, and a
// fuel level on both sides of the threshold or none.
std::vector<Situation> gameSituations(OgGame game)
{
    const OgGameInfo &info = OG_GAMES[game];
    std::vector<std::uint32_t> lights = {0, info.lights};
    for (const LedActionInfo &a : LED_ACTIONS) {
        if ((ledOwnLight(a) & info.lights) != 0)
            lights.push_back(ledOwnLight(a));
    }
    std::vector<Situation> all;
    for (std::uint32_t light : lights) {
        for (float rpm : {0.0f, 6500.0f, 6501.0f, 7200.0f, 7201.0f}) {
            for (float fuel : {1.0f, 0.05f, std::numeric_limits<float>::quiet_NaN()}) {
                for (std::uint32_t tick : {0u, 200u, 1000u}) {
                    Situation s = {{}, {{0}, MAX_RPM, info.ownShiftLight}, tick};
                    ogPacketSetLights(&s.packet, info.lights, light);
                    ogPacketSetRpm(&s.packet, rpm);
                    ogPacketSetFuel(&s.packet, fuel);
                    all.push_back(s);
                }
            }
        }
    }
    return all;
}

// The car of the words: its game (OG_GAME_COUNT: OutGauge), shiftAt and low-fuel threshold.
struct Car {
    OgGame game;
    std::int32_t shiftAt;
    float lowFuel;
};

CarProfile profileOf(LedAction primary, LedAction secondary, const Car &car)
{
    CarProfile profile = {{primary, Off, secondary, Off}, car.lowFuel};
    profile.shiftAt = car.shiftAt;
    return profile;
}

// LED 1 of primary and secondary in a situation.
bool led(LedAction primary, LedAction secondary, const Car &car, const Situation &s,
         const GlobalSettings &g)
{
    return ledEvaluate(profileOf(primary, secondary, car), configFlashTimes(g), s.packet,
                       ledTicksAt(&s.tick), s.extra)
        .led1;
}

// What words say LED 1 shows when the primary's condition is pc and the secondary's sc;
// false in *understood when they take none of the explanation's forms.
bool said(const std::string &words, LedAction primary, LedAction secondary, const Car &car, bool pc,
          bool sc, const GlobalSettings &g, bool *understood)
{
    const CarProfile profile = profileOf(primary, secondary, car);
    const std::string p = checkConditionWords(primary, g, profile, car.game);
    const std::string notP = checkNotWords(primary, g, profile, car.game);
    const std::string s = checkConditionWords(secondary, g, profile, car.game);
    const std::string notS = checkNotWords(secondary, g, profile, car.game);
    *understood = true;
    if (words == "always on")
        return true;
    if (words == "off")
        return false;
    for (const std::string &first : {p, notP}) {
        const bool x = first == p ? pc : !pc;
        if (words == first)
            return x;
        if (words == first + ", or " + s)
            return x || sc;
        if (words == first + ", inverted while " + s)
            return x != sc;
    }
    if (words == s)
        return sc;
    if (words == notS)
        return !sc;
    *understood = false;
    return false;
}

} // namespace

// For every pair of codes and signs, in every situation, the LED that the explanation's words
// describe is the LED that the program's evaluator lights: in an OutGauge car, and in each
// game's car, whose shift light shiftAt may make (at 90 %, never at 0), and where a threshold
// above a full tank lights low fuel only while the game sends a fuel level.
TEST(CheckWords, SayWhatTheEvaluatorDoesForEveryCodeAndSignPair)
{
    const GlobalSettings g = CONFIG_DEFAULTS;
    std::vector<LedAction> codes = {INT32_MIN};
    for (LedAction c :
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 100, 101, 150, 6500}) {
        codes.push_back(c);
        if (c != 0)
            codes.push_back(-c);
    }
    std::vector<std::pair<Car, std::vector<Situation>>> cars = {
        {{OG_GAME_COUNT, LED_SHIFT_AT_DEFAULT, 0.1f}, situations()}};
    for (int game = 0; game < OG_GAME_COUNT; ++game)
        cars.push_back(
            {{static_cast<OgGame>(game), 90, 0.1f}, gameSituations(static_cast<OgGame>(game))});
    cars.push_back({{OG_GAME_FORZA, 0, 1.5f}, gameSituations(OG_GAME_FORZA)});
    for (const auto &[car, all] : cars) {
        for (LedAction primary : codes) {
            for (LedAction secondary : codes) {
                const std::string words =
                    checkLedWords(profileOf(primary, secondary, car), 1, g, car.game);
                SCOPED_TRACE("game " + std::to_string(car.game) + " shiftAt=" +
                             std::to_string(car.shiftAt) + " LED1=" + std::to_string(primary) +
                             " LED1b=" + std::to_string(secondary) + ": " + words);
                int wrong = 0;
                for (const Situation &s : all) {
                    // A code's condition alone: as the secondary beside a primary of 0.
                    const bool pc = led(Off, primary, car, s, g);
                    const bool sc = led(Off, secondary, car, s, g);
                    bool understood = false;
                    const bool want = said(words, primary, secondary, car, pc, sc, g, &understood);
                    ASSERT_TRUE(understood);
                    wrong += want != led(primary, secondary, car, s, g) ? 1 : 0;
                }
                EXPECT_EQ(wrong, 0);
            }
        }
    }
}

// The checker has words for the condition of each code that does not flash (a flashing code
// has its steady code's), and no two conditions share words.
TEST(CheckWords, NameEveryConditionOfTheActionTable)
{
    std::set<std::string> seen;
    for (const CheckWords &row : CHECK_WORDS) {
        EXPECT_EQ(row.words != nullptr, LED_ACTIONS[row.code].flash == LED_FLASH_NONE) << row.code;
        if (row.words != nullptr) {
            EXPECT_TRUE(seen.insert(row.words).second) << row.words;
        }
    }
}
