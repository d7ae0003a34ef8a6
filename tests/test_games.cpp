// Datagrams of F1, Forza, the DiRT rally games and Project CARS 2 / AMS2, built byte by byte at
// the offsets of their published tables, told apart by ogRecognize and shown by ledEvaluate.
#include "outgauge/games.h"
#include "rules/led.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kRadS = 3.14159265358979323846 / 30; // rad/s per rpm
constexpr TestFieldType U8 = TEST_U8, U16 = TEST_U16, S32 = TEST_S32, F32 = TEST_F32;

// Header of 2023 to 2025: packetFormat at 0, gameYear at 2, packetId at 6, playerCarIndex at 27.
// Every car's record holds what the player's must not give (1111 rpm and the rightmost rev
// light; the pit limiter and a maximum of 1111); the player's fields are written after.
Bytes f1(double format, double year, double id, std::size_t length, double player = 0,
         std::initializer_list<TestField> fields = {})
{
    Bytes d =
        testDatagram(length, {{0, U16, format}, {2, U8, year}, {6, U8, id}, {27, U8, player}});
    for (std::size_t t = 29, s = 29; t < 1349; t += 60, s += 55) {
        if (length == 1352)
            testPutFields(&d, {{t + 16, U16, 1111}, {t + 20, U16, 0x4000}});
        if (length == 1239)
            testPutFields(&d, {{s + 4, U8, 1}, {s + 17, U16, 1111}});
    }
    testPutFields(&d, fields);
    return d;
}

// Car Telemetry (id 6, 1352 bytes): engineRPM at 16, revLightsBitValue at 20 of 29 + 60 i.
Bytes f1Telemetry(double format, double year, std::size_t i, double rpm, double revLights)
{
    const std::size_t t = 29 + 60 * i;
    return f1(format, year, 6, 1352, double(i), {{t + 16, U16, rpm}, {t + 20, U16, revLights}});
}

// Car Status (id 7, 1239 bytes): pitLimiterStatus at 4, fuelInTank 5, fuelCapacity 9, maxRPM 17
// of 29 + 55 i.
Bytes f1Status(double format, double year, std::size_t i, double pit, double fuel, double cap,
               double max)
{
    const std::size_t s = 29 + 55 * i;
    return f1(format, year, 7, 1239, double(i),
              {{s + 4, U8, pit}, {s + 5, F32, fuel}, {s + 9, F32, cap}, {s + 17, U16, max}});
}

// IsRaceOn at 0, EngineMaxRpm 8, CurrentEngineRpm 16, CarOrdinal 212; Fuel at 276 (Motorsport
// Dash) and 288 (Horizon), each the other layout's other field, where the length has them.
Bytes forza(std::size_t length, double raceOn, double max, double rpm, double ordinal,
            double at276 = 0, double at288 = 0)
{
    Bytes d = testDatagram(length, {{0, S32, raceOn}, {8, F32, max}, {16, F32, rpm}});
    testPutFields(&d, {{212, S32, ordinal}});
    if (length > 300)
        testPutFields(&d, {{276, F32, at276}, {288, F32, at288}});
    return d;
}

// 66 floats: engine rate (index 37), max rpm (63), fuel in tank (45), fuel capacity (46).
Bytes dirt(double rpmRadS, double maxRadS, double fuel, double cap)
{
    return testDatagram(
        264,
        {{4 * 37, F32, rpmRadS}, {4 * 63, F32, maxRadS}, {4 * 45, F32, fuel}, {4 * 46, F32, cap}});
}

// mPacketType at 10; type 0: sCarFlags at 17, sFuelLevel 32, sRpm 40, sMaxRpm 42.
Bytes pcars2(std::size_t length, double type, double flags = 0, double fuel = 0.5,
             double rpm = 5000, double max = 8000)
{
    Bytes d = testDatagram(length, {{10, U8, type}, {17, U8, flags}, {32, F32, fuel}});
    testPutFields(&d, {{40, U16, rpm}, {42, U16, max}});
    return d;
}

// One datagram and what it gives: a verdict and, when taken, the car, the engine speed, the fuel
// share, the maximum and the codes of 1 to 16 (14 aside) and 101 that hold with a low-fuel
// threshold of 0.1 and shiftAt 90. One not taken leaves the record and its extra as they were.
struct Row {
    const char *what;
    Bytes datagram;
    OgVerdict verdict = OG_TAKEN;
    const char *car = "";
    double rpm = kNan, fuel = kNan, maxRpm = kNan;
    std::vector<LedAction> codes = {};
};

Row taken(const char *what, Bytes datagram, const char *car, double rpm = kNan, double fuel = kNan,
          double maxRpm = kNan, std::vector<LedAction> codes = {})
{
    return Row{what, std::move(datagram), OG_TAKEN, car, rpm, fuel, maxRpm, std::move(codes)};
}

bool near(double want, float got)
{
    return std::isnan(want) ? std::isnan(got) : std::fabs(want - got) <= 0.001 * std::fabs(want);
}

bool led1(LedAction code, const OutGaugePacket &packet, const OgExtra &extra)
{
    const std::uint32_t tick = 0;
    const CarProfile profile = {{code, Off, Off, Off}, 0.1f, 90};
    return ledEvaluate(profile, {{200, 200, 1000}}, packet, ledTicksAt(&tick), extra).led1;
}

// The rows in order on one port: F1's packets merge across them.
void run(const std::vector<Row> &rows)
{
    OgGames games = ogGamesInitial();
    OutGaugePacket packet;
    std::memset(packet.bytes, 0xA5, sizeof packet.bytes);
    OgExtra extra = {"OLD", 1234.0f, false};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const OutGaugePacket before = packet;
        const OgExtra was = extra;
        const long length = static_cast<long>(row.datagram.size());
        EXPECT_EQ(ogRecognize(&games, row.datagram.data(), length, &packet, &extra), row.verdict);
        if (row.verdict != OG_TAKEN) {
            EXPECT_EQ(std::memcmp(before.bytes, packet.bytes, OG_PACKET_SIZE), 0);
            EXPECT_TRUE(!std::strcmp(was.car, extra.car) &&
                        !std::memcmp(&was.maxRpm, &extra.maxRpm, sizeof extra.maxRpm) &&
                        was.ownShiftLight == extra.ownShiftLight);
            continue;
        }
        char car[OG_CAR_NAME_SIZE];
        ogCarName(packet, extra, car);
        EXPECT_STREQ(car, row.car);
        EXPECT_PRED2(near, row.rpm, ogPacketRpm(packet));
        EXPECT_PRED2(near, row.fuel, ogPacketFuel(packet));
        EXPECT_PRED2(near, row.maxRpm, extra.maxRpm);
        std::vector<LedAction> codes;
        for (LedAction code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 101}) {
            if (led1(code, packet, extra))
                codes.push_back(code);
        }
        EXPECT_EQ(codes, row.codes);
        // An inverted code lights whenever its condition fails, a missing fuel level included.
        EXPECT_EQ(led1(-LowFuel, packet, extra), !led1(LowFuel, packet, extra));
    }
}

} // namespace

TEST(Games, F1ReadsThePlayersCarTelemetryAndStatusOfFormats2023To2025)
{
    run({
        taken("before any status", f1Telemetry(2025, 25, 3, 10500, 0x3FFF), "F125", 10500, kNan,
              kNan, {101}),
        taken("its own shift light", f1Status(2025, 25, 3, 0, 5, 100, 11000), "F125", 10500, 0.05,
              11000, {10, 13, 101}),
        taken("rev light 14, last car", f1Telemetry(2024, 24, 21, 9000, 0x4000), "F124", 9000, 0.05,
              11000, {1, 10, 12, 13, 101}),
        taken("pit limiter, F1 25 as 2024", f1Status(2024, 25, 0, 1, 50, 100, 12000), "F125", 9000,
              0.5, 12000, {1, 3, 4, 12, 101}),
        taken("format 2023", f1Telemetry(2023, 23, 5, 4000, 0x3FFF), "F123", 4000, 0.5, 12000,
              {3, 4, 101}),
        {"index 22", f1(2025, 25, 6, 1352, 22), OG_DROPPED},
        {"index 255", f1(2025, 25, 7, 1239, 255), OG_DROPPED},
        {"Event", f1(2025, 25, 3, 45), OG_DROPPED},
        {"2023 Participants", f1(2023, 23, 4, 1306), OG_DROPPED},
        {"2024 Lobby Info", f1(2024, 24, 9, 1306), OG_DROPPED},
        {"1306 as id 6", f1(2023, 23, 6, 1306), OG_DROPPED},
        {"2025 Lap Positions", f1(2025, 25, 15, 1131), OG_DROPPED},
        {"1352 as id 7", f1(2025, 25, 7, 1352), OG_DROPPED},
        {"1239 as id 6", f1(2025, 25, 6, 1239), OG_DROPPED},
        {"format 2026", f1Telemetry(2026, 26, 0, 9000, 0), OG_DROPPED},
        {"format 2030", f1Status(2030, 30, 0, 1, 1, 100, 9000), OG_DROPPED},
        {"2022", testDatagram(1347, {{0, U16, 2022}, {5, U8, 6}}), OG_DROPPED_OLD_F1},
        {"2022 at 1352", f1Telemetry(2022, 22, 0, 9000, 0), OG_DROPPED_OLD_F1},
        // An old format is told only of a datagram longer than OutGauge's.
        {"2019 Event", f1(2019, 0, 3, 45), OG_DROPPED},
        // Of OutGauge's lengths nothing is F1's: its time field may read 2019 to 2030.
        taken("92", f1(2025, 25, 6, 92, 0, {{16, F32, 3000}}), "", 3000, 0, kNan, {10, 13, 101}),
        taken("96", f1(2019, 25, 7, 96), "", 0, 0, kNan, {10, 13}),
        taken("2031", f1Telemetry(2031, 31, 0, 9000, 0), "", 0, 0, kNan, {10, 13}),
        taken("after OutGauge", f1Status(2025, 25, 9, 0, -5, 100, 0), "F125", 4000, kNan, 0, {101}),
        taken("capacity 0", f1Status(2025, 25, 9, 0, 0, 0, 65535), "F125", 4000, kNan, 65535,
              {101}),
        taken("infinite fuel", f1Status(2025, 25, 9, 0, kInf, 100, 1), "F125", 4000, kNan, 1,
              {101}),
        taken("infinite capacity", f1Status(2025, 25, 9, 0, 5, kInf, 1), "F125", 4000, kNan, 1,
              {101}),
    });
}

TEST(Games, ForzaSledDashAndHorizon)
{
    run({
        taken("Sled", forza(232, 1, 8000, 7300, 2352), "2352", 7300, kNan, 8000, {1, 12, 101}),
        taken("Dash 311", forza(311, 1, 9000, 3000, 123456, 0.08, 0.9), "123456", 3000, 0.08, 9000,
              {10, 13, 101}),
        taken("Dash 331", forza(331, 1, 9000, 8200, 999999, 0.5, 0.01), "999999", 8200, 0.5, 9000,
              {1, 12, 101}),
        taken("Horizon 324", forza(324, 1, 8000, 7000, 2352, 0.01, 0.6), "2352", 7000, 0.6, 8000,
              {101}),
        taken("Horizon 323", forza(323, 1, 8000, 7500, 0, 0.9, 0.02), "0", 7500, 0.02, 8000,
              {1, 10, 12, 13, 101}),
        {"IsRaceOn 0", forza(324, 0, 8000, 7500, 2352, 0.5, 0.5), OG_DROPPED},
        // Not Forza's: OutGauge reads the first 96 bytes (engine speed at 16, fuel at 28).
        taken("IsRaceOn 2", forza(324, 2, 8000, 7500, 2352), "", 7500, 0, kNan, {10, 13, 101}),
        taken("ordinal -1", forza(232, 1, 8000, 7500, -1), "", 7500, 0, kNan, {10, 13, 101}),
        taken("ordinal 1000000", forza(311, 1, 8000, 50, 1000000), "", 50, 0, kNan, {10, 13}),
        taken("NaN, infinite", forza(324, 1, kNan, 9000, 77, kNan, kInf), "77", 9000, kNan, kNan,
              {101}),
        taken("maximum 0", forza(311, 1, 0, 9000, 77, 0.5), "77", 9000, 0.5, 0, {101}),
        taken("maximum < 0", forza(232, 1, -8000, 9000, 77), "77", 9000, kNan, -8000, {101}),
    });
}

TEST(Games, DirtEngineInRadiansPerSecond)
{
    // The Mini's maximum as the games' car table holds it: 7000 rpm (7330 read as x 10).
    const double mini = 733.03826904296875;
    run({
        taken("Mini", dirt(5000 * kRadS, mini, 20, 40), "DIRT", 5000, 0.5, 7000, {101}),
        taken("shiftAt 90", dirt(6400 * kRadS, mini, 3, 40), "DIRT", 6400, 0.075, 7000,
              {1, 10, 12, 13, 101}),
        taken("capacity 0", dirt(0, 0, 0, 0), "DIRT", 0, kNan, 0),
        taken("infinite capacity", dirt(0, 0, 5, kInf), "DIRT", 0, kNan, 0),
        taken("negative fuel", dirt(kNan, kInf, -5, 40), "DIRT"),
        taken("beyond a float", dirt(3e38, 3e38, kNan, 40), "DIRT"),
        taken("265: OutGauge", testDatagram(265, {{16, F32, 2000}, {28, F32, 0.5}}), "", 2000, 0.5,
              kNan, {101}),
    });
}

TEST(Games, ProjectCars2TelemetryAndItsFlags)
{
    run({
        taken("headlight", pcars2(538, 0, 0x01), "AMS2", 5000, 0.5, 8000, {9, 101}),
        taken("engine warning", pcars2(555, 0, 0x04, 0.05, 7201), "AMS2", 7201, 0.05, 8000,
              {1, 8, 10, 12, 13, 101}),
        taken("speed limiter", pcars2(556, 0, 0x08, 0.5, 7200), "AMS2", 7200, 0.5, 8000,
              {3, 4, 101}),
        taken("ABS", pcars2(559, 0, 0x10), "AMS2", 5000, 0.5, 8000, {15, 101}),
        taken("handbrake", pcars2(538, 0, 0x20), "AMS2", 5000, 0.5, 8000, {2, 101}),
        taken("bits 1, 6, 7", pcars2(538, 0, 0xC2, kNan, 9000, 0), "AMS2", 9000, kNan, 0, {101}),
        taken("every flag, fuel < 0", pcars2(538, 0, 0xFF, -0.5, 0), "AMS2", 0, kNan, 8000,
              {2, 3, 4, 8, 9, 15}),
        {"race definition", pcars2(308, 1), OG_DROPPED},
        {"participants", pcars2(1136, 2), OG_DROPPED},
        {"timings", pcars2(1063, 3), OG_DROPPED},
        {"time stats", pcars2(784, 7), OG_DROPPED},
        {"vehicle names", pcars2(1164, 8), OG_DROPPED},
        {"class names", pcars2(1452, 9), OG_DROPPED},
        taken("type 0 at 308: OutGauge", pcars2(308, 0), "", 0, 0, kNan, {10, 13}),
        taken("type 1 at 538: OutGauge", pcars2(538, 1), "", 0, 0, kNan, {10, 13}),
        {"game state", testDatagram(24, {{10, U8, 4}}), OG_DROPPED},
        taken("24 bytes of type 3: OutGauge", testDatagram(24, {{10, U8, 3}}), "", 0, 0, kNan,
              {10, 13}),
    });
}
