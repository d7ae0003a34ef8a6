// A step that runs at most once per interval of the millisecond tick count.
#pragma once

#include <cstdint>

// How often the program looks again for what is missing: the device, the port, an edit.
constexpr std::uint32_t PACE_RETRY_MS = 1000;

struct Pace {
    bool started;       // false until the first paceDue
    std::uint32_t last; // the tick of the last time the step was due (or the first call)
};

// Whether the step is due at now: interval ms or more since it last was. The first call only
// starts the count, so the step first runs one interval after it. Wrap-safe.
inline bool paceDue(Pace *pace, std::uint32_t now, std::uint32_t interval)
{
    if (!pace->started) {
        pace->started = true;
        pace->last = now;
        return false;
    }
    if (static_cast<std::uint32_t>(now - pace->last) < interval)
        return false;
    pace->last = now;
    return true;
}

// Starts the count again at now: the step is next due one interval later.
inline void paceRestart(Pace *pace, std::uint32_t now)
{
    pace->started = true;
    pace->last = now;
}
