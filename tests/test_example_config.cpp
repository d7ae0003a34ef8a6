// The example configuration shipped with the program: each section does what its comment says.
#include "rules/config.h"
#include "rules/led.h"
#include "support/test_support.h"
#include "tools/check/check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

namespace {

// The states of LED 1 and LED 2.
using Leds = std::pair<bool, bool>;

class ExampleConfig : public testing::Test {
protected:
    void SetUp() override
    {
        text = testReadFile(LUMIVANE_EXAMPLE_CONFIG);
        ASSERT_FALSE(text.empty()) << "cannot read " << LUMIVANE_EXAMPLE_CONFIG;
        // A copy in a folder of our own, so that the path is native on every platform.
        dir = testTempDir("example");
        path = testWriteConfig(dir, text);
        settings = testGlobalsOf(path);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    CarProfile car(const char *name)
    {
        profile = testProfileOf(path, name);
        return profile;
    }

    // The LEDs of the loaded car for one datagram at tick.
    Leds at(std::uint32_t tick, unsigned flags, float rpm = 3000.0f, float fuel = 0.6f) const
    {
        const LedStates s = ledEvaluate(profile, configFlashTimes(settings),
                                        testPacket("", flags, rpm, fuel), ledTicksAt(&tick));
        return Leds{s.led1, s.led2};
    }

    std::string text;
    std::string dir;
    std::string path;
    GlobalSettings settings;
    CarProfile profile;
};

const Leds OFF_OFF{false, false}, ON_OFF{true, false}, OFF_ON{false, true}, ON_ON{true, true};

} // namespace

// [config] lists every key with the value the program uses when the key is missing.
TEST_F(ExampleConfig, ConfigSectionHoldsTheDefaults)
{
    expectDefaultGlobals(settings);
    for (const char *key : {"outGaugePort=", "deviceID=", "deviceNum=", "speedlimitFlashTime=",
                            "shiftlightFlashTime=", "lowfuelFlashTime="})
        EXPECT_NE(text.find(std::string("\n") + key), std::string::npos) << key;
}

// The file follows the rules it teaches: lumivane-check finds nothing in it.
TEST_F(ExampleConfig, HasNoFindings)
{
    CheckFile file;
    std::string error;
    ASSERT_TRUE(checkLoad("lumivane.cfg", path, &file, &error)) << error;
    checkFindings(&file);
    checkRelease(&file);
    for (const CheckFinding &f : file.findings)
        ADD_FAILURE() << "line " << f.line << ": " << f.text << " [" << f.kind << "]";
    EXPECT_EQ(file.sections.size(), 6u);
}

// Any other car: shift light on LED 1, pit speed limiter on LED 2.
TEST_F(ExampleConfig, DefaultSectionShowsShiftLightAndLimiter)
{
    expectProfile(car("ABC"), 1, 3, 0, 0, 0.05f);
    EXPECT_EQ(at(0, 0), OFF_OFF);
    EXPECT_EQ(at(0, OG_SHIFT), ON_OFF);
    EXPECT_EQ(at(0, OG_PITSPEED), OFF_ON);
    EXPECT_EQ(at(0, OG_SHIFT | OG_PITSPEED), ON_ON);
    // An empty car code falls back to [default] too.
    expectProfile(car(""), 1, 3, 0, 0, 0.05f);
}

// UF1: LED 1 above 6000 rpm, LED 2 above 6800 rpm; the limiter is not shown.
TEST_F(ExampleConfig, Uf1IsATwoStageShiftLight)
{
    expectProfile(car("UF1"), 6000, 6800, 0, 0, 0.05f);
    EXPECT_EQ(at(0, 0, 6000.0f), OFF_OFF);
    EXPECT_EQ(at(0, 0, 6500.0f), ON_OFF);
    EXPECT_EQ(at(0, 0, 7000.0f), ON_ON);
    EXPECT_EQ(at(0, OG_PITSPEED | OG_SHIFT, 3000.0f), OFF_OFF);
}

// XRT: LED 1 flashes with the shift light and is steadily on while the limiter is on;
// LED 2 shows the limiter (from [default]).
TEST_F(ExampleConfig, XrtFlashesTheShiftLightAndForcesItOnWithTheLimiter)
{
    expectProfile(car("xrt"), 12, 3, -3, 0, 0.05f);
    EXPECT_EQ(at(0, OG_SHIFT), ON_OFF);
    EXPECT_EQ(at(200, OG_SHIFT), OFF_OFF); // the dark half of the 200 ms flash
    EXPECT_EQ(at(0, OG_PITSPEED), ON_ON);
    EXPECT_EQ(at(200, OG_PITSPEED), ON_ON);
    EXPECT_EQ(at(200, OG_PITSPEED | OG_SHIFT), ON_ON);
}

// FZR: LED 2 is on while the limiter is off and dark in the pit lane; LED 1 is the shift light.
TEST_F(ExampleConfig, FzrInvertsTheLimiter)
{
    expectProfile(car("FZR"), 1, -3, 0, 0, 0.05f);
    EXPECT_EQ(at(0, 0), OFF_ON);
    EXPECT_EQ(at(0, OG_PITSPEED), OFF_OFF);
    EXPECT_EQ(at(0, OG_SHIFT), ON_ON);
}

// FBM: LED 2 flashes below 15% fuel, shows the limiter while the tank is not low, and
// flashes inverted while both hold.
TEST_F(ExampleConfig, FbmFlashesLowFuelAndTogglesWithTheLimiter)
{
    expectProfile(car("FBM"), 1, 13, 0, 3, 0.15f);
    EXPECT_EQ(at(0, 0, 3000.0f, 0.20f), OFF_OFF);
    EXPECT_EQ(at(0, 0, 3000.0f, 0.10f), OFF_ON);
    EXPECT_EQ(at(1000, 0, 3000.0f, 0.10f), OFF_OFF); // the dark half of the 1000 ms flash
    EXPECT_EQ(at(0, OG_PITSPEED, 3000.0f, 0.20f), OFF_ON);
    EXPECT_EQ(at(0, OG_PITSPEED, 3000.0f, 0.10f), OFF_OFF);
    EXPECT_EQ(at(1000, OG_PITSPEED, 3000.0f, 0.10f), OFF_ON);
    EXPECT_EQ(at(0, OG_SHIFT, 3000.0f, 0.20f), ON_OFF);
}
