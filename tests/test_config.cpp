// The configuration file: global settings, car profiles, and the loads that print.
#include "app/loop.h"
#include "rules/config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

class Config : public testing::Test {
protected:
    void SetUp() override
    {
        dir = testTempDir("config");
        path = (fs::path(dir) / "lumivane.cfg").string();
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void write(const std::string &content) { testWriteConfig(dir, content); }

    CarProfile resolve(const char *car)
    {
        CarProfile p = {{11, 22, 33, 44}, 55.0f, 66}; // every field must be overwritten
        ProfileFile file;
        profileLoad(path.c_str(), &file);
        configResolveProfile(file, car, &p, nullptr);
        profileRelease(&file);
        return p;
    }

    GlobalSettings globals()
    {
        GlobalSettings g = {1, 2, 3, 4, 5, 6}; // every field must be overwritten
        ProfileFile file;
        profileLoad(path.c_str(), &file);
        configReadGlobals(file, &g);
        profileRelease(&file);
        return g;
    }

    // Loads the settings from the file as start-up does and gives what was printed.
    std::string loadSettings(GlobalSettings *g)
    {
        ProfileFile file;
        profileLoad(path.c_str(), &file);
        testCaptureBegin();
        appLoadSettings(file, g);
        std::string out = testCaptureEnd();
        profileRelease(&file);
        return out;
    }

    // Loads the profile of car from the file as a car change does and gives what was printed.
    std::string loadCar(const char *car, CarProfile *p)
    {
        AppState app = appInitialState();
        std::strncpy(app.car, car, sizeof app.car - 1);
        ProfileFile file;
        profileLoad(path.c_str(), &file);
        testCaptureBegin();
        appLoadCar(&app, file);
        std::string out = testCaptureEnd();
        profileRelease(&file);
        *p = app.profile;
        return out;
    }

    std::string dir;
    std::string path;
};

} // namespace

TEST_F(Config, NoFileGivesEveryDefault)
{
    expectDefaultGlobals(globals());
    expectProfile(resolve("XRT"), 0, 0, 0, 0, 0.05f);
    expectProfile(resolve(""), 0, 0, 0, 0, 0.05f);
}

TEST_F(Config, FileWithoutTheSectionsGivesDefaults)
{
    write("outGaugePort=1\nLED1=5\n[other]\noutGaugePort=2\nLED1=6\n");
    expectDefaultGlobals(globals());
    expectProfile(resolve("XRT"), 0, 0, 0, 0, 0.05f);
}

TEST_F(Config, GlobalsFromTheConfigSection)
{
    write("[CONFIG]\r\n"
          "outgaugeport = 30000\r\n"
          "deviceID=0xCA03\r\n"
          "deviceNum=2\r\n"
          "speedlimitFlashTime=150\r\n"
          "shiftlightFlashTime=-5\r\n"
          "lowfuelFlashTime=\r\n"
          "[config]\r\n"
          "deviceNum=9\r\n");
    const GlobalSettings g = globals();
    EXPECT_EQ(g.outGaugePort, 30000);
    EXPECT_EQ(g.deviceID, 51715);
    EXPECT_EQ(g.deviceNum, 2);
    EXPECT_EQ(g.speedlimitFlashTime, 150);
    EXPECT_EQ(g.shiftlightFlashTime, -5);
    EXPECT_EQ(g.lowfuelFlashTime, 1000); // empty: the default
}

TEST_F(Config, CarSectionFilledFromDefault)
{
    write("[default]\nLED1=1\nLED2=2\n[XRT]\nLED1=3\n");
    expectProfile(resolve("XRT"), 3, 2, 0, 0, 0.05f);
    expectProfile(resolve("xrt"), 3, 2, 0, 0, 0.05f);
    expectProfile(resolve("FZ50"), 1, 2, 0, 0, 0.05f);
}

TEST_F(Config, MarkerValuesSelectTheDefault)
{
    write("[default]\nLED1=1\nLED2=2\nLED1b=4\nLED2b=-5\nlowFuel=0.2\n"
          "[XRT]\nLED1=-75\nLED2=-75\nLED1b=-74\nLED2b=0\nlowFuel=-1\n"
          "[RB4]\nLED2=-75\nlowFuel=-0.001\n");
    expectProfile(resolve("XRT"), 1, 2, -74, 0, 0.2f);
    expectProfile(resolve("RB4"), 1, 2, 4, -5, 0.2f);
}

TEST_F(Config, NegativeThresholdWithoutDefaultGivesFivePercent)
{
    write("[XRT]\nlowFuel=-1\n");
    expectProfile(resolve("XRT"), 0, 0, 0, 0, 0.05f);
}

TEST_F(Config, ThresholdsOfZeroEmptyOrTextAreZero)
{
    write("[default]\nlowFuel=0.3\n"
          "[ZERO]\nlowFuel=0\n"
          "[EMPT]\nlowFuel=\n"
          "[TEXT]\nlowFuel=abc\n"
          "[QUOT]\nlowFuel=\" 0.25\"\n"
          "[MORE]\nlowFuel=0.5 ; half\n");
    EXPECT_FLOAT_EQ(resolve("ZERO").lowFuel, 0.0f);
    EXPECT_FLOAT_EQ(resolve("EMPT").lowFuel, 0.0f); // present but empty: not the default's
    EXPECT_FLOAT_EQ(resolve("TEXT").lowFuel, 0.0f);
    EXPECT_FLOAT_EQ(resolve("QUOT").lowFuel, 0.25f);
    EXPECT_FLOAT_EQ(resolve("MORE").lowFuel, 0.5f);
    EXPECT_FLOAT_EQ(resolve("NONE").lowFuel, 0.3f);
}

// shiftAt as the codes: the car's own, else (absent or -75) [default]'s, else 90.
TEST_F(Config, ShiftAtFromTheCarElseDefaultElseNinety)
{
    write("[default]\nshiftAt=80\n[OWN]\nshiftAt=95\n[MARK]\nshiftAt=-75\n[ZERO]\nshiftAt=0\n"
          "[NEG]\nshiftAt=-5\n");
    const std::pair<const char *, int> cars[] = {
        {"OWN", 95}, {"MARK", 80}, {"ZERO", 0}, {"NEG", -5}, {"2352", 80}};
    for (const auto &car : cars)
        EXPECT_EQ(resolve(car.first).shiftAt, car.second) << car.first;
    write("[MARK]\nshiftAt=-75\n");
    EXPECT_EQ(resolve("MARK").shiftAt, 90);
    EXPECT_EQ(resolve("2352").shiftAt, 90);
    write("[default]\nshiftAt=-75\n");
    EXPECT_EQ(resolve("2352").shiftAt, -75); // final, as the codes from [default]
}

TEST_F(Config, ValuesFromDefaultAreFinal)
{
    write("[default]\nLED1=-75\nlowFuel=-0.5\n[XRT]\nLED2=7\n");
    expectProfile(resolve("XRT"), -75, 7, 0, 0, -0.5f);
}

TEST_F(Config, EmptyCarName)
{
    write("[default]\nLED1=1\nLED2b=8\nlowFuel=0.1\n");
    expectProfile(resolve(""), 1, 0, 0, 8, 0.1f);
    write("[default]\nLED1=1\nLED2b=8\nlowFuel=0.1\n[]\nLED1=6\nlowFuel=0.4\n");
    // Wine's profile API finds no "[]" section: a lookup of "" meets its own nameless one.
    if (testIsWine())
        expectProfile(resolve(""), 1, 0, 0, 8, 0.1f);
    else
        expectProfile(resolve(""), 6, 0, 0, 8, 0.4f);
}

// The loads print what the program shows: the file at start-up, the car at each change
// (also without a section of its own, and for the empty name).
TEST_F(Config, LoadsPrintTheFileAndTheCar)
{
    write("[config]\noutGaugePort=30001\ndeviceNum=1\n"
          "[default]\nLED1=1\nLED2=2\nlowFuel=0.15\n"
          "[XRT]\nLED1=12\nLED1b=-4\n");
    GlobalSettings g = {};
    EXPECT_EQ(loadSettings(&g), "Loading config " + path + "...\n");
    EXPECT_EQ(g.outGaugePort, 30001);
    EXPECT_EQ(g.deviceNum, 1);
    EXPECT_EQ(g.deviceID, 0xCA03);

    CarProfile p = {};
    EXPECT_EQ(loadCar("XRT", &p), "Car: XRT\n");
    expectProfile(p, 12, 2, -4, 0, 0.15f);
    EXPECT_EQ(loadCar("UF1", &p), "Car: UF1\n");
    expectProfile(p, 1, 2, 0, 0, 0.15f);
    EXPECT_EQ(loadCar("", &p), "Car: \n");
    expectProfile(p, 1, 2, 0, 0, 0.15f);

    fs::remove(path);
    EXPECT_EQ(loadSettings(&g), "Loading config " + path + "...\n");
    expectDefaultGlobals(g);
    EXPECT_EQ(loadCar("XRT", &p), "Car: XRT\n");
    expectProfile(p, 0, 0, 0, 0, 0.05f);
}

TEST_F(Config, CarNameWithControlBytesPrintsSafely)
{
    write("[default]\nLED1=1\n[\x1b[2J]\nLED1=9\n");
    CarProfile p = {};
    EXPECT_EQ(loadCar("\x1b[2J", &p), "Car: ?[2J\n");
    EXPECT_EQ(p.codes[CAR_LED1], 9); // looked up under its raw name
    EXPECT_EQ(loadCar("a\x7f\xff", &p), "Car: a??\n");
    EXPECT_EQ(p.codes[CAR_LED1], 1);
}

// A load reads the file once: the settings and every profile after it come from the bytes read
// then, though the file be gone (Linux; the Windows profile API reads the file itself).
TEST_F(Config, OneReadServesEveryValueOfALoad)
{
#ifdef _WIN32
    GTEST_SKIP() << "the system's profile API reads the file for each value";
#endif
    write("[config]\noutGaugePort=4000\n[XRT]\nLED1=3\n[default]\nLED2=5\nlowFuel=0.2\n");
    ProfileFile file;
    ASSERT_TRUE(profileLoad(path.c_str(), &file));
    fs::remove(path);
    GlobalSettings g = {};
    configReadGlobals(file, &g);
    EXPECT_EQ(g.outGaugePort, 4000);
    CarProfile p = {};
    configResolveProfile(file, "XRT", &p, nullptr);
    expectProfile(p, 3, 5, 0, 0, 0.2f);
    profileRelease(&file);
}

TEST(ConfigPrintableName, ReplacesBytesOutsidePrintableAscii)
{
    char out[5];
    configPrintableName("\t~ \x80", 4, out, sizeof out);
    EXPECT_STREQ(out, "?~ ?");
    configPrintableName("ABCDEFG", 7, out, sizeof out);
    EXPECT_STREQ(out, "ABCD");
    configPrintableName("A\0B", 3, out, sizeof out); // a NUL inside is a byte like any other
    EXPECT_STREQ(out, "A?B");
    char one[1] = {'x'};
    configPrintableName("AB", 2, one, 1);
    EXPECT_EQ(one[0], '\0');
}
