// The portable parts of the LED device: the choice among matching devices and the uevent parser.
#include "hid/hid_backend.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

// initHID opens the index-th of the matching devices, counting from 0; a negative index none.
TEST(HidChoice, TakesTheIndexThMatch)
{
    for (std::int32_t start : {0, 1, 2, 3, -1, INT32_MIN}) {
        std::int32_t index = start;
        int passed = 0; // of three matches
        while (passed < 3 && !hidTakeMatch(&index))
            ++passed;
        EXPECT_EQ(passed, start >= 0 && start < 3 ? start : 3) << start;
    }
}

bool parse(const std::string &text, std::uint32_t *vendor, std::uint32_t *product)
{
    *vendor = 0xDEAD;
    *product = 0xBEEF;
    return hidParseUevent(text.data(), text.size(), vendor, product);
}

TEST(HidUevent, ParsesKernelText)
{
    std::uint32_t v, p;
    ASSERT_TRUE(parse("DRIVER=hid-generic\nHID_ID=0003:0000046D:0000CA03\nHID_NAME=LED\n", &v, &p));
    EXPECT_EQ(v, 0x046Du);
    EXPECT_EQ(p, 0xCA03u);
    // Lower case, short fields, no final newline, HID_ID as the last line.
    ASSERT_TRUE(parse("DRIVER=hid-generic\nHID_ID=5:46d:ca03", &v, &p));
    EXPECT_EQ(v, 0x046Du);
    EXPECT_EQ(p, 0xCA03u);
    ASSERT_TRUE(parse("HID_ID=0003:FFFFFFFF:00000001\n", &v, &p));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(p, 1u);
}

TEST(HidUevent, RejectsMalformedLines)
{
    std::uint32_t v, p;
    const char *bad[] = {
        "",
        "DRIVER=hid-generic\n",
        "HID_ID=\n",
        "HID_ID=0003:0000046D\n",
        "HID_ID=0003:0000046D:\n",
        "HID_ID=:0000046D:0000CA03\n",
        "HID_ID=0003::0000CA03\n",
        "HID_ID=0003:0000046G:0000CA03\n",
        "HID_ID=0003:0000046D:0000CA03 \n",
        "HID_ID=0003:0000046D:0000CA03:1\n",
        "HID_ID=0003:00000046D:0000CA03\n",
        "HID_ID=0003:0000046D:00001CA03\n",
        "HID_ID=000000003:0000046D:0000CA03\n",
        "HID_ID=-3:0000046D:0000CA03\n",
        "XHID_ID=0003:0000046D:0000CA03\n",
        " HID_ID=0003:0000046D:0000CA03\n",
        "HID_ID 0003:0000046D:0000CA03\n",
    };
    for (const char *text : bad) {
        EXPECT_FALSE(parse(text, &v, &p)) << text;
        EXPECT_EQ(v, 0xDEADu) << text;
        EXPECT_EQ(p, 0xBEEFu) << text;
    }
    EXPECT_FALSE(hidParseUevent(nullptr, 0, &v, &p));
}

TEST(HidUevent, StaysWithinLength)
{
    std::uint32_t v, p;
    // The product continues past len: only "CA" is inside.
    const std::string text = "HID_ID=0003:0000046D:0000CA03\n";
    ASSERT_TRUE(hidParseUevent(text.data(), text.size() - 3, &v, &p));
    EXPECT_EQ(p, 0xCAu);
    // The key itself cut short.
    EXPECT_FALSE(hidParseUevent(text.data(), 5, &v, &p));
    // A buffer without a terminating NUL or newline, exactly sized.
    std::vector<char> exact(text.begin(), text.end() - 1);
    ASSERT_TRUE(hidParseUevent(exact.data(), exact.size(), &v, &p));
    EXPECT_EQ(p, 0xCA03u);
    // An embedded NUL is no hex digit.
    const char nul[] = "HID_ID=0003:0000046D:0000\0CA03\n";
    EXPECT_FALSE(hidParseUevent(nul, sizeof nul - 1, &v, &p));
}

} // namespace
