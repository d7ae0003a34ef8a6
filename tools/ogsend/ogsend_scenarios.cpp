// ogsend's scenarios, short drives of named steps, and the steps of one state.
#include "tools/ogsend/ogsend.h"

#include <climits>
#include <cmath>
#include <cstdio>

// A named drive and the routine that appends its steps for a car of a format.
struct SendScenario {
    const char *name;
    const char *description;
    void (*build)(const SendGame &game, const std::string &car, std::vector<SendStep> *steps);
    bool changesCar; // it shows nothing but car changes
};

namespace {

// The state between the eventful moments of a scenario.
constexpr float SEND_CRUISE_RPM = 3000.0f;
constexpr float SEND_CRUISE_FUEL = 0.6f;

// The lights of a state in both layouts, from its lights in the current one.
SendLights sendLights(std::uint32_t current)
{
    SendLights lights = {current, 0};
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.test == LED_TEST_LIGHT && (current & ledOwnLight(a)) != 0)
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | a.flag);
    }
    return lights;
}

// A step holding one state for ms.
SendStep sendStep(const std::string &what, const std::string &car, std::uint32_t lights, float rpm,
                  float fuel, long ms)
{
    return SendStep{what, car, sendLights(lights), rpm, rpm, fuel, fuel, ms, 0, false};
}

// What a game's state holds, for the line of --hold: "car 1000, rpm 7000, max 8000, fuel 0.5",
// with the lights by name ("lights shift+pitspeed") where the game has lights.
std::string sendDescribeState(const SendGame &game, const SendStep &step, double max)
{
    std::string text;
    if ((game.takes & SEND_TAKES_CAR) != 0)
        text += "car " + step.car + ", ";
    if (game.lights != 0) {
        std::string names;
        for (const SendLightName &n : SEND_LIGHT_NAMES) {
            if (n.name != nullptr && (step.lights.current & ledOwnLight(LED_ACTIONS[n.code])) != 0)
                names += (names.empty() ? "" : "+") + std::string(n.name);
        }
        text += "lights " + (names.empty() ? std::string("none") : names) + ", ";
    }
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "rpm %g, max %g", static_cast<double>(step.rpmFrom),
                  max);
    text += numbers;
    if ((game.takes & SEND_TAKES_FUEL) != 0) {
        std::snprintf(numbers, sizeof numbers, ", fuel %g", static_cast<double>(step.fuelFrom));
        text += numbers;
    }
    return text;
}

void sendScenarioRpmSweep(const SendGame &, const std::string &car, std::vector<SendStep> *steps)
{
    SendStep up = sendStep("rpm 1000 -> 8000", car, 0, 1000.0f, SEND_CRUISE_FUEL, 3000);
    up.rpmTo = 8000.0f;
    SendStep down = sendStep("rpm 8000 -> 1000", car, 0, 8000.0f, SEND_CRUISE_FUEL, 3000);
    down.rpmTo = 1000.0f;
    steps->push_back(up);
    steps->push_back(down);
}

void sendScenarioShift(const SendGame &, const std::string &car, std::vector<SendStep> *steps)
{
    for (int i = 0; i < 3; ++i) {
        steps->push_back(
            sendStep("shift light on", car, OG_DL_SHIFT, 7500.0f, SEND_CRUISE_FUEL, 600));
        steps->push_back(sendStep("shift light off", car, 0, 5000.0f, SEND_CRUISE_FUEL, 600));
    }
}

void sendScenarioLimiter(const SendGame &, const std::string &car, std::vector<SendStep> *steps)
{
    steps->push_back(sendStep("limiter on", car, OG_DL_PITSPEED, 4000.0f, SEND_CRUISE_FUEL, 2000));
    steps->push_back(sendStep("limiter off", car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
}

void sendScenarioSignals(const SendGame &, const std::string &car, std::vector<SendStep> *steps)
{
    const float rpm = SEND_CRUISE_RPM, fuel = SEND_CRUISE_FUEL;
    steps->push_back(sendStep("left signal", car, OG_DL_SIGNAL_L, rpm, fuel, 1500));
    steps->push_back(sendStep("right signal", car, OG_DL_SIGNAL_R, rpm, fuel, 1500));
    steps->push_back(sendStep("hazard lights (both signals)", car, OG_DL_SIGNAL_L | OG_DL_SIGNAL_R,
                              rpm, fuel, 1500));
    steps->push_back(sendStep("signals off", car, 0, rpm, fuel, 500));
}

void sendScenarioLowFuel(const SendGame &, const std::string &car, std::vector<SendStep> *steps)
{
    SendStep drain = sendStep("fuel draining 0.10 -> 0.02 (below 0.05 halfway)", car, 0,
                              SEND_CRUISE_RPM, 0.10f, 4000);
    drain.fuelTo = 0.02f;
    steps->push_back(drain);
    steps->push_back(sendStep("fuel 0.02 (low)", car, 0, SEND_CRUISE_RPM, 0.02f, 1500));
    steps->push_back(sendStep("refuelled (fuel 0.60)", car, 0, SEND_CRUISE_RPM, 0.60f, 1000));
}

void sendScenarioCarChange(const SendGame &game, const std::string &car,
                           std::vector<SendStep> *steps)
{
    std::string other = car == game.otherCar ? game.car : game.otherCar;
    for (int i = 0; i < 2; ++i) {
        steps->push_back(
            sendStep("car " + other, other, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
        steps->push_back(sendStep("car " + car, car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
    }
}

void sendScenarioDrive(const SendGame &game, const std::string &car, std::vector<SendStep> *steps);

const SendScenario g_scenarios[] = {
    {"rpm-sweep", "engine speed 1000 -> 8000 -> 1000 rpm over 6 s", sendScenarioRpmSweep, false},
    {"shift", "shift light on and off, three times", sendScenarioShift, false},
    {"limiter", "pit speed limiter on for 2 s, then off", sendScenarioLimiter, false},
    {"signals", "left signal, right signal, hazard lights, then off", sendScenarioSignals, false},
    {"low-fuel", "fuel draining from 0.10 to 0.02, then refuelled", sendScenarioLowFuel, false},
    {"car-change", "switch between the car and FZR (XRT when the car is FZR)",
     sendScenarioCarChange, true},
    {"drive", "all the above, 1 s of shift light and limiter, then 3 s of silence",
     sendScenarioDrive, false},
};

// A format without car names leaves out the car changes, which it cannot show.
void sendScenarioDrive(const SendGame &game, const std::string &car, std::vector<SendStep> *steps)
{
    for (const auto &s : g_scenarios) {
        if (s.build != sendScenarioDrive && (game.car != nullptr || !s.changesCar))
            s.build(game, car, steps);
    }
    // Ends lit, so that the silence visibly switches the LEDs off: the car-change scenario
    // before it leaves both dark in the example configuration.
    steps->push_back(sendStep("shift light and limiter on, 7500 rpm", car,
                              OG_DL_SHIFT | OG_DL_PITSPEED, 7500.0f, SEND_CRUISE_FUEL, 1000));
    SendStep quiet =
        sendStep("silence for 3 s (the LEDs switch off after 2 s)", car, 0, 0.0f, 0.0f, 3000);
    quiet.silent = true;
    steps->push_back(quiet);
}

} // namespace

const SendScenario *sendFindScenario(const std::string &name)
{
    for (const SendScenario &s : g_scenarios) {
        if (name == s.name)
            return &s;
    }
    return nullptr;
}

void sendListScenarios()
{
    for (const auto &s : g_scenarios)
        std::printf("%-11s %s\n", s.name, s.description);
}

const char *sendScenarioName(const SendScenario &scenario)
{
    return scenario.name;
}

bool sendScenarioChangesCar(const SendScenario &scenario)
{
    return scenario.changesCar;
}

void sendPlan(const SendOptions &opt, std::vector<SendStep> *steps)
{
    const SendGame &game = *opt.game;
    if (opt.mode == SEND_SCENARIO) {
        std::string car = opt.carGiven || game.car == nullptr ? opt.car : game.car;
        opt.scenario->build(game, car, steps);
        if (game.format == SEND_OUTGAUGE)
            std::printf("ogsend: scenario %s, car %s, to %s:%ld at %g datagrams/s\n",
                        opt.scenario->name, car.c_str(), opt.host.c_str(), opt.port, opt.rate);
        else
            std::printf("ogsend: scenario %s as %s (max %g)%s, to %s:%ld at %g %s/s\n",
                        opt.scenario->name, game.name, opt.max,
                        game.car != nullptr ? (", car " + car).c_str() : "", opt.host.c_str(),
                        opt.port, opt.rate, sendGameRateUnit(game));
    } else {
        // OutGauge's car is empty unless given; a Forza format's is the format's own.
        std::string car = opt.carGiven || game.format == SEND_OUTGAUGE || game.car == nullptr
                              ? opt.car
                              : game.car;
        SendStep one =
            sendStep("", car, 0, static_cast<float>(opt.rpm), static_cast<float>(opt.fuel), 0);
        one.lights = opt.lights;
        if (opt.mode == SEND_HOLD) {
            double n = opt.seconds > 0.0 ? std::ceil(opt.seconds * opt.rate) : 0.0;
            one.count =
                n >= 1.0 && n < static_cast<double>(LONG_MAX) ? static_cast<long>(n) : LONG_MAX;
            if (game.format == SEND_OUTGAUGE)
                std::printf("ogsend: holding car '%s', %s 0x%04X, rpm %g, fuel %g at %g "
                            "datagrams/s to %s:%ld ",
                            opt.car.c_str(), opt.earlier ? "flags" : "lights",
                            opt.earlier ? opt.lights.earlier : opt.lights.current,
                            static_cast<double>(one.rpmFrom), static_cast<double>(one.fuelFrom),
                            opt.rate, opt.host.c_str(), opt.port);
            else
                std::printf("ogsend: holding %s: %s at %g %s/s to %s:%ld ", game.name,
                            sendDescribeState(game, one, opt.max).c_str(), opt.rate,
                            sendGameRateUnit(game), opt.host.c_str(), opt.port);
            if (opt.seconds > 0.0)
                std::printf("for %g s (Ctrl+C stops)\n", opt.seconds);
            else
                std::printf("until Ctrl+C\n");
        } else {
            one.count = opt.count;
        }
        steps->push_back(one);
    }
    std::fflush(stdout);
}
