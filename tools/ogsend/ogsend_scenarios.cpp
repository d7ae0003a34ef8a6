// ogsend's scenarios, short drives of named steps, and the steps of one state.
#include "tools/ogsend/ogsend.h"

#include <climits>
#include <cmath>
#include <cstdio>

// A named drive and the routine that appends its steps for a car.
struct SendScenario {
    const char *name;
    const char *description;
    void (*build)(const std::string &car, std::vector<SendStep> *steps);
};

namespace {

// The car a scenario drives when --car is not given.
const char SEND_SCENARIO_CAR[] = "XRT";

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

void sendScenarioRpmSweep(const std::string &car, std::vector<SendStep> *steps)
{
    SendStep up = sendStep("rpm 1000 -> 8000", car, 0, 1000.0f, SEND_CRUISE_FUEL, 3000);
    up.rpmTo = 8000.0f;
    SendStep down = sendStep("rpm 8000 -> 1000", car, 0, 8000.0f, SEND_CRUISE_FUEL, 3000);
    down.rpmTo = 1000.0f;
    steps->push_back(up);
    steps->push_back(down);
}

void sendScenarioShift(const std::string &car, std::vector<SendStep> *steps)
{
    for (int i = 0; i < 3; ++i) {
        steps->push_back(
            sendStep("shift light on", car, OG_DL_SHIFT, 7500.0f, SEND_CRUISE_FUEL, 600));
        steps->push_back(sendStep("shift light off", car, 0, 5000.0f, SEND_CRUISE_FUEL, 600));
    }
}

void sendScenarioLimiter(const std::string &car, std::vector<SendStep> *steps)
{
    steps->push_back(sendStep("limiter on", car, OG_DL_PITSPEED, 4000.0f, SEND_CRUISE_FUEL, 2000));
    steps->push_back(sendStep("limiter off", car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
}

void sendScenarioSignals(const std::string &car, std::vector<SendStep> *steps)
{
    const float rpm = SEND_CRUISE_RPM, fuel = SEND_CRUISE_FUEL;
    steps->push_back(sendStep("left signal", car, OG_DL_SIGNAL_L, rpm, fuel, 1500));
    steps->push_back(sendStep("right signal", car, OG_DL_SIGNAL_R, rpm, fuel, 1500));
    steps->push_back(sendStep("hazard lights (both signals)", car, OG_DL_SIGNAL_L | OG_DL_SIGNAL_R,
                              rpm, fuel, 1500));
    steps->push_back(sendStep("signals off", car, 0, rpm, fuel, 500));
}

void sendScenarioLowFuel(const std::string &car, std::vector<SendStep> *steps)
{
    SendStep drain = sendStep("fuel draining 0.10 -> 0.02 (below 0.05 halfway)", car, 0,
                              SEND_CRUISE_RPM, 0.10f, 4000);
    drain.fuelTo = 0.02f;
    steps->push_back(drain);
    steps->push_back(sendStep("fuel 0.02 (low)", car, 0, SEND_CRUISE_RPM, 0.02f, 1500));
    steps->push_back(sendStep("refuelled (fuel 0.60)", car, 0, SEND_CRUISE_RPM, 0.60f, 1000));
}

void sendScenarioCarChange(const std::string &car, std::vector<SendStep> *steps)
{
    std::string other = car == "FZR" ? "XRT" : "FZR";
    for (int i = 0; i < 2; ++i) {
        steps->push_back(
            sendStep("car " + other, other, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
        steps->push_back(sendStep("car " + car, car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
    }
}

void sendScenarioDrive(const std::string &car, std::vector<SendStep> *steps);

const SendScenario g_scenarios[] = {
    {"rpm-sweep", "engine speed 1000 -> 8000 -> 1000 rpm over 6 s", sendScenarioRpmSweep},
    {"shift", "shift light on and off, three times", sendScenarioShift},
    {"limiter", "pit speed limiter on for 2 s, then off", sendScenarioLimiter},
    {"signals", "left signal, right signal, hazard lights, then off", sendScenarioSignals},
    {"low-fuel", "fuel draining from 0.10 to 0.02, then refuelled", sendScenarioLowFuel},
    {"car-change", "switch between the car and FZR (XRT when the car is FZR)",
     sendScenarioCarChange},
    {"drive", "all the above, 1 s of shift light and limiter, then 3 s of silence",
     sendScenarioDrive},
};

void sendScenarioDrive(const std::string &car, std::vector<SendStep> *steps)
{
    for (const auto &s : g_scenarios) {
        if (s.build != sendScenarioDrive)
            s.build(car, steps);
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

void sendPlan(const SendOptions &opt, std::vector<SendStep> *steps)
{
    if (opt.mode == SEND_SCENARIO) {
        std::string car = opt.carGiven ? opt.car : SEND_SCENARIO_CAR;
        opt.scenario->build(car, steps);
        std::printf("ogsend: scenario %s, car %s, to %s:%ld at %g datagrams/s\n",
                    opt.scenario->name, car.c_str(), opt.host.c_str(), opt.port, opt.rate);
    } else {
        SendStep one =
            sendStep("", opt.car, 0, static_cast<float>(opt.rpm), static_cast<float>(opt.fuel), 0);
        one.lights = opt.lights;
        if (opt.mode == SEND_HOLD) {
            double n = opt.seconds > 0.0 ? std::ceil(opt.seconds * opt.rate) : 0.0;
            one.count =
                n >= 1.0 && n < static_cast<double>(LONG_MAX) ? static_cast<long>(n) : LONG_MAX;
            std::printf("ogsend: holding car '%s', %s 0x%04X, rpm %g, fuel %g at %g "
                        "datagrams/s to %s:%ld ",
                        opt.car.c_str(), opt.earlier ? "flags" : "lights",
                        opt.earlier ? opt.lights.earlier : opt.lights.current,
                        static_cast<double>(one.rpmFrom), static_cast<double>(one.fuelFrom),
                        opt.rate, opt.host.c_str(), opt.port);
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
