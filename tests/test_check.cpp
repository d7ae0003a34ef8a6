// lumivane-check's words for each LED, held against the program's own evaluator, and its words
// for each code against the action table.
#include "tools/check/check.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

struct Situation {
    OutGaugePacket packet;
    std::uint32_t tick;
};

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
                    Situation s = {{}, tick};
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

// LED 1 of primary and secondary in a situation.
bool led(LedAction primary, LedAction secondary, const Situation &s, const GlobalSettings &g)
{
    const CarProfile profile = {{primary, Off, secondary, Off}, 0.1f};
    return ledEvaluate(profile, configFlashTimes(g), s.packet, ledTicksAt(&s.tick)).led1;
}

// What words say LED 1 shows when the primary's condition is pc and the secondary's sc;
// false in *understood when they take none of the explanation's forms.
bool said(const std::string &words, LedAction primary, LedAction secondary, bool pc, bool sc,
          const GlobalSettings &g, bool *understood)
{
    const std::string p = checkConditionWords(primary, g, 0.1f);
    const std::string notP = checkNotWords(primary, g, 0.1f);
    const std::string s = checkConditionWords(secondary, g, 0.1f);
    const std::string notS = checkNotWords(secondary, g, 0.1f);
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
// describe is the LED that the program's evaluator lights.
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
    const std::vector<Situation> all = situations();
    for (LedAction primary : codes) {
        for (LedAction secondary : codes) {
            const std::string words =
                checkLedWords(CarProfile{{primary, Off, secondary, Off}, 0.1f}, 1, g);
            SCOPED_TRACE("LED1=" + std::to_string(primary) + " LED1b=" + std::to_string(secondary) +
                         ": " + words);
            int wrong = 0;
            for (const Situation &s : all) {
                // A code's condition alone: as the secondary beside a primary of 0.
                const bool pc = led(Off, primary, s, g);
                const bool sc = led(Off, secondary, s, g);
                bool understood = false;
                const bool want = said(words, primary, secondary, pc, sc, g, &understood);
                ASSERT_TRUE(understood);
                wrong += want != led(primary, secondary, s, g) ? 1 : 0;
            }
            EXPECT_EQ(wrong, 0);
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
