// The INI reader: the table of cases on buffers and on real files, and awkward inputs.
#include "rules/ini.h"
#include "rules/profile.h"
#include "ini_cases.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// The profile API is the system's; Wine's departs from Windows in the rows marked so.
const bool kSystemProfile = true;

template <typename Step> bool withoutRoot(Step step)
{
    step();
    return true;
}
#else
// The profile API is our own reader over the whole file.
const bool kSystemProfile = false;

// Runs step as the user nobody when the test runs as root, whose rights no file's permissions
// refuse, and as root again after it; false when the user could not be changed to or back.
template <typename Step> bool withoutRoot(Step step)
{
    if (geteuid() != 0) {
        step();
        return true;
    }
    const passwd *nobody = getpwnam("nobody");
    if (nobody == nullptr || setegid(nobody->pw_gid) != 0)
        return false;
    const bool asNobody = seteuid(nobody->pw_uid) == 0;
    if (asNobody)
        step();
    const bool back = (!asNobody || seteuid(0) == 0) && setegid(0) == 0;
    return asNobody && back;
}
#endif

const std::size_t kStringSize = 128;

// The integer of section/key in text, read from a heap copy of exactly its bytes, so that
// a read past the end meets the sanitizers instead of a lucky terminator.
std::int32_t bufInt(const std::string &text, const char *section, const char *key, std::int32_t def)
{
    std::vector<char> copy(text.begin(), text.end());
    return iniGetInt(copy.data(), copy.size(), section, key, def);
}

// The string of section/key in text, read into size bytes; checks that nothing past
// them was written.
std::string bufString(const std::string &text, const char *section, const char *key,
                      const char *def, std::size_t size = kStringSize)
{
    std::vector<char> copy(text.begin(), text.end());
    std::vector<char> out(size + 16, '#');
    iniGetString(copy.data(), copy.size(), section, key, def, out.data(), size);
    for (std::size_t i = size; i < out.size(); ++i)
        EXPECT_EQ(out[i], '#') << "written past " << size << " bytes";
    return size == 0 ? std::string() : std::string(out.data());
}

// The integer of section/key in the file at path, loaded for this one value.
std::int32_t fileInt(const std::string &path, const char *section, const char *key,
                     std::int32_t def)
{
    ProfileFile file;
    profileLoad(path.c_str(), &file);
    std::int32_t value = profileGetInt(file, section, key, def);
    profileRelease(&file);
    return value;
}

// The string of section/key in the file at path, read into size bytes.
std::string fileString(const std::string &path, const char *section, const char *key,
                       const char *def, std::size_t size = kStringSize)
{
    std::vector<char> out(size + 16, '#');
    ProfileFile file;
    profileLoad(path.c_str(), &file);
    profileGetString(file, section, key, def, out.data(), size);
    profileRelease(&file);
    for (std::size_t i = size; i < out.size(); ++i)
        EXPECT_EQ(out[i], '#') << "written past " << size << " bytes";
    return size == 0 ? std::string() : std::string(out.data());
}

std::string dataFile(const char *name)
{
    return std::string(LUMIVANE_TEST_DATA) + "/" + name;
}

class IniFiles : public testing::Test {
protected:
    void SetUp() override { dir = testTempDir("ini"); }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }
    std::string file(const std::string &name, const std::string &content)
    {
        std::string path = (fs::path(dir) / name).string();
        testWriteFile(path, content);
        return path;
    }
    std::string dir;
};

} // namespace

TEST(IniTable, BufferReader)
{
    for (const IniCase &c : kIniCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bufInt(c.text, c.section, c.key, c.defInt), c.wantInt);
        EXPECT_EQ(bufString(c.text, c.section, c.key, c.defStr), c.wantStr);
    }
}

TEST_F(IniFiles, TableThroughRealFiles)
{
    const bool wine = testIsWine();
    int index = 0;
    for (const IniCase &c : kIniCases) {
        SCOPED_TRACE(c.name);
        // Real Windows departs from our choices on purpose; Wine has its own departures.
        if (kSystemProfile && !wine && c.wine == IniWine::OurChoice)
            continue;
        const bool useWine = wine && c.wine == IniWine::Differs;
        std::int32_t wantInt = useWine ? c.wineInt : c.wantInt;
        const char *wantStr = useWine ? c.wineStr : c.wantStr;

        std::string path = file("case" + std::to_string(index++) + ".cfg", c.text);
        EXPECT_EQ(fileInt(path, c.section, c.key, c.defInt), wantInt);
        EXPECT_EQ(fileString(path, c.section, c.key, c.defStr), wantStr);
    }
}

TEST(IniFindValue, GivesTheValueInPlaceWithoutBlanksAndQuotes)
{
    const std::string text = "[s]\r\nk =  ' a ' \r\nempty=\r\n";
    const char *value = nullptr;
    std::size_t len = 99;
    ASSERT_TRUE(iniFindValue(text.data(), text.size(), "S", "K", &value, &len));
    ASSERT_EQ(len, 3u);
    EXPECT_EQ(std::string(value, len), " a ");
    EXPECT_GE(value, text.data());
    EXPECT_LE(value + len, text.data() + text.size());

    ASSERT_TRUE(iniFindValue(text.data(), text.size(), "s", "empty", &value, &len));
    EXPECT_EQ(len, 0u);
    EXPECT_FALSE(iniFindValue(text.data(), text.size(), "s", "missing", &value, &len));
    EXPECT_FALSE(iniFindValue(text.data(), text.size(), "t", "k", &value, &len));
    EXPECT_FALSE(iniFindValue(nullptr, 0, "s", "k", &value, &len));
}

TEST(IniFindValue, StopsAtTheGivenLength)
{
    // The key's line lies beyond the length given: it does not exist.
    const std::string text = "[s]\nk=1\nj=2";
    const char *value = nullptr;
    std::size_t len = 0;
    EXPECT_FALSE(iniFindValue(text.data(), 7, "s", "j", &value, &len));
    ASSERT_TRUE(iniFindValue(text.data(), 6, "s", "k", &value, &len));
    EXPECT_EQ(len, 0u); // "k=" only
    EXPECT_EQ(iniGetInt(text.data(), 6, "s", "k", -3), -3);
}

TEST(IniParseInt, ReadsOnlyTheGivenBytes)
{
    EXPECT_EQ(iniParseInt("123", 2), 12);
    EXPECT_EQ(iniParseInt("0x1", 2), 0);
    EXPECT_EQ(iniParseInt("-5", 1), 0);
    EXPECT_EQ(iniParseInt("7", 0), 0);
    EXPECT_EQ(iniParseInt(" \t\v-5", 5), -5);
    EXPECT_EQ(iniParseInt("12\0"
                          "34",
                          5),
              12);
    EXPECT_EQ(iniParseInt("-2147483649", 11), 2147483647);
    EXPECT_EQ(iniParseInt("-0x80000000", 11), INT32_MIN);
}

TEST(IniAwkward, NulBytesAreOrdinaryBytes)
{
    using namespace std::string_literals;
    const std::string text = "[s]\n\0\0\0\n\0=\0\nnul\0key=1\nk=a\0b\n[t\0]\nk=2\n[u]\nk=3"s;
    EXPECT_EQ(bufString(text, "s", "k", "d"), "a"); // copied up to its NUL
    const char *value = nullptr;
    std::size_t len = 0;
    ASSERT_TRUE(iniFindValue(text.data(), text.size(), "s", "k", &value, &len));
    EXPECT_EQ(std::string(value, len), "a\0b"s);
    EXPECT_EQ(bufInt(text, "s", "k", -7), 0);
    EXPECT_EQ(bufInt(text, "s", "nul", -7), -7);
    EXPECT_EQ(bufInt(text, "t", "k", -7), -7); // the section is "t\0", not "t"
    EXPECT_EQ(bufInt(text, "u", "k", -7), 3);
}

TEST(IniAwkward, BinaryJunkAroundTheSections)
{
    std::mt19937 random(12345);
    std::string junk;
    for (int i = 0; i < (1 << 20); ++i)
        junk += static_cast<char>(random() & 0xFF);
    const std::string text = "[s]\nk=5\n" + junk + "\n[zz_unlikely_name]\nk=6\n";
    EXPECT_EQ(bufInt(text, "s", "k", -7), 5);
    EXPECT_EQ(bufInt(text, "zz_unlikely_name", "k", -7), 6);
    EXPECT_EQ(bufInt(junk, "s", "k", -7), -7);
    // Junk alone, and every short slice of it, reads without harm.
    for (std::size_t start = 0; start < 4096; start += 61) {
        std::string slice = junk.substr(start, 97);
        bufInt(slice, "s", "k", 0);
        bufString(slice, "s", "k", "", 8);
    }
}

TEST(IniAwkward, EveryPrefixOfAFile)
{
    const std::string text = "\xEF\xBB\xBF[ s ]\r\nk = \"12\"\r\n;c\r\n[t]\r\nk=3";
    const std::size_t open = text.find('"');
    const std::size_t close = text.find('"', open + 1);
    for (std::size_t n = 0; n <= text.size(); ++n) {
        std::string prefix = text.substr(0, n);
        // No value up to the opening quote, an unclosed quote up to the closing one.
        std::int32_t want = n <= open ? -7 : n <= close ? 0 : 12;
        EXPECT_EQ(bufInt(prefix, "s", "k", -7), want) << n;
        bufString(prefix, "t", "k", "d", 4);
    }
    EXPECT_EQ(bufInt(text, "s", "k", -7), 12);
    EXPECT_EQ(bufInt(text, "t", "k", -7), 3);
}

TEST(IniAwkward, LineOfSeveralMegabytes)
{
    const std::string big(6 << 20, 'x');
    const std::string text =
        "[s]\nk=" + big + "\r\nj=7\n" + big + "=1\n" + "[" + big + "]\nk=2\n[t]\nk=3";
    EXPECT_EQ(bufString(text, "s", "k", "d"), std::string(127, 'x'));
    EXPECT_EQ(bufInt(text, "s", "j", -7), 7);
    EXPECT_EQ(bufInt(text, "t", "k", -7), 3);
    EXPECT_EQ(bufInt(text, big.c_str(), "k", -7), 2);
}

TEST(IniAwkward, ThousandsOfSections)
{
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "[car" + std::to_string(i) + "]\r\nLED1=" + std::to_string(i) + "\r\nlowFuel=0." +
                std::to_string(i) + "\r\n";
    EXPECT_EQ(bufInt(text, "car0", "LED1", -7), 0);
    EXPECT_EQ(bufInt(text, "CAR2500", "led1", -7), 2500);
    EXPECT_EQ(bufInt(text, "car4999", "LED1", -7), 4999);
    EXPECT_EQ(bufString(text, "car4999", "lowFuel", "d"), "0.4999");
    EXPECT_EQ(bufInt(text, "car5000", "LED1", -7), -7);
    EXPECT_EQ(bufInt(text, "car4999", "LED2", -7), -7);
}

TEST(IniStrings, CutToSizeLessOneAndTerminated)
{
    const std::string value(200, 'v');
    const std::string text = "[s]\nk=" + value + "\nq=\"" + value + "\"\n";
    EXPECT_EQ(bufString(text, "s", "k", "d", 128), std::string(127, 'v'));
    EXPECT_EQ(bufString(text, "s", "q", "d", 128), std::string(127, 'v'));
    EXPECT_EQ(bufString(text, "s", "k", "d", 2), "v");
    EXPECT_EQ(bufString(text, "s", "k", "d", 1), "");
    bufString(text, "s", "k", "d", 0); // writes nothing at all

    // Around the edge: a value or default of exactly the buffer's size still leaves the NUL.
    for (std::size_t n : {126, 127, 128, 129}) {
        const std::string edge(n, 'e');
        const std::string want(n < 127 ? n : 127, 'e');
        EXPECT_EQ(bufString("[s]\nk=" + edge, "s", "k", "d", 128), want) << n;
        EXPECT_EQ(bufString("", "s", "k", edge.c_str(), 128), want) << n;
    }

    const std::string longDefault(300, 'd');
    EXPECT_EQ(bufString(text, "s", "missing", longDefault.c_str(), 128), std::string(127, 'd'));
    EXPECT_EQ(bufString(text, "s", "missing", "ab  ", 3), "ab");
    EXPECT_EQ(bufString(text, "s", "missing", nullptr, 8), "");
}

TEST_F(IniFiles, StringsFromFilesAreCutToo)
{
    std::string path = file("long.cfg", "[s]\nk=" + std::string(500, 'v') + "\n");
    EXPECT_EQ(fileString(path, "s", "k", "d"), std::string(127, 'v'));
    EXPECT_EQ(fileString(path, "s", "k", "d", 1), "");
    char untouched = '#';
    for (const std::string &where : {path, dir + "/missing.cfg"}) {
        ProfileFile loaded;
        profileLoad(where.c_str(), &loaded);
        profileGetString(loaded, "s", "k", "d", &untouched, 0);
        profileRelease(&loaded);
        EXPECT_EQ(untouched, '#');
    }
    EXPECT_EQ(fileString(path, "s", "missing", "dflt  ", 3), "df");
    // Quotes come off before the value is cut.
    path = file("quoted.cfg", "[s]\r\nq=\"ab cd\"\r\n");
    EXPECT_EQ(fileString(path, "s", "q", "d", 4), "ab ");
}

TEST_F(IniFiles, ThousandsOfSectionsWithCrlf)
{
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "[car" + std::to_string(i) + "]\r\nLED2=" + std::to_string(-i) + "\r\n\r\n";
    std::string path = file("many.cfg", text);
    EXPECT_EQ(fileInt(path, "car2999", "LED2", -75), -2999);
    EXPECT_EQ(fileInt(path, "Car1500", "led2", -75), -1500);
    EXPECT_EQ(fileInt(path, "car3000", "LED2", -75), -75);
}

TEST_F(IniFiles, MissingFileAndDirectoryGiveDefaults)
{
    for (const std::string &path : {dir + "/missing.cfg", dir + "/no/such/dir/x.cfg", dir}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(fileInt(path, "config", "outGaugePort", 56551), 56551);
        EXPECT_EQ(fileInt(path, "s", "k", -75), -75);
        EXPECT_EQ(fileString(path, "s", "lowFuel", "-1.0  "), "-1.0");
        EXPECT_EQ(fileString(path, "s", "k", "abcdef", 4), "abc");
    }
}

TEST_F(IniFiles, UnreadableFileGivesDefaults)
{
    if (kSystemProfile)
        GTEST_SKIP() << "the file's permissions cannot keep this user out";
    // The folder lets any user in: only the file's own permissions refuse the reads below.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    std::string path = file("locked.cfg", "[s]\nk=5\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::int32_t readable = 0;
    ASSERT_TRUE(withoutRoot([&] { readable = fileInt(path, "s", "k", -7); }));
    ASSERT_EQ(readable, 5);
    fs::permissions(path, fs::perms::none);
    std::int32_t value = 0;
    std::string text;
    ASSERT_TRUE(withoutRoot([&] {
        value = fileInt(path, "s", "k", -7);
        text = fileString(path, "s", "k", "d");
    }));
    EXPECT_EQ(value, -7);
    EXPECT_EQ(text, "d");
}

TEST_F(IniFiles, AwkwardBytesThroughOurOwnReader)
{
    if (kSystemProfile)
        GTEST_SKIP() << "the system's profile API has its own way with such bytes";
    using namespace std::string_literals;
    std::mt19937 random(777);
    std::string junk;
    for (int i = 0; i < (3 << 20); ++i)
        junk += static_cast<char>(random() & 0xFF);
    // Several megabytes before the section: the whole file is read, not a first block.
    std::string path = file("junk.cfg", junk + "\n\0[s]\nk=\0\nj=8\n"s + junk);
    EXPECT_EQ(fileInt(path, "s", "j", -7), -7); // "\0[s]" is no header
    path = file("junk2.cfg", junk + "\n[s]\n\0\0\nk= 0x10 \n"s + junk);
    EXPECT_EQ(fileInt(path, "s", "k", -7), 16);
    EXPECT_EQ(fileString(path, "s", "k", "d"), "0x10");
    path = file("line.cfg", "[s]\nk=" + std::string(5 << 20, '9') + "\nj=3\n");
    EXPECT_EQ(fileInt(path, "s", "j", -7), 3);
    EXPECT_EQ(fileString(path, "s", "k", "d"), std::string(127, '9'));
}

TEST(IniGolden, AwkwardFile)
{
    const std::string text = testReadFile(dataFile("awkward.cfg"));
    ASSERT_GT(text.size(), 300000u);
    EXPECT_EQ(bufInt(text, "config", "outGaugePort", -7), 30000);
    EXPECT_EQ(bufInt(text, "config", "deviceID", -7), 0xCA03);
    EXPECT_EQ(bufString(text, "config", "deviceID", "d"),
              "0xCA03 ; no inline comment, the number stops at the blank");
    EXPECT_EQ(bufInt(text, "config", "deviceNum", -7), 2);
    EXPECT_EQ(bufString(text, "config", "long", "d"), std::string(127, 'x'));
    EXPECT_EQ(bufInt(text, "XRT", "LED1", -75), 3);
    EXPECT_EQ(bufInt(text, "XRT", "LED2", 0), -75);
    EXPECT_EQ(bufInt(text, "XRT", "LED2b", -75), -75); // [xrt] again: not searched
    EXPECT_EQ(bufString(text, "xrt", "lowFuel", "-1.0"), "0.1");
    EXPECT_EQ(bufInt(text, "default", "LED2", -7), 2);
    EXPECT_EQ(bufInt(text, "default", "LED2b", -7), 5);
    EXPECT_EQ(bufString(text, "default", "lowFuel", "0.05"), "0.2");

    if (!kSystemProfile) {
        const std::string path = dataFile("awkward.cfg");
        EXPECT_EQ(fileInt(path, "config", "outGaugePort", -7), 30000);
        EXPECT_EQ(fileInt(path, "XRT", "LED1", -75), 3);
        EXPECT_EQ(fileString(path, "default", "lowFuel", "0.05"), "0.2");
    }
}
