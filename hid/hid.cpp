// The portable part of the LED device: the output report and the choice among matching devices.
#include "hid/hid.h"

LedReport hidBuildReport(bool led1, bool led2)
{
    LedReport report = {{0x00, 0x09, 0, 0, 0, 0, 0, 0}};
    if (led1)
        report.bytes[2] = 1;
    if (led2)
        report.bytes[2] = static_cast<unsigned char>(report.bytes[2] + 2);
    return report;
}

bool hidTakeMatch(std::int32_t *index)
{
    if (*index == 0)
        return true;
    // A negative index never counts down to 0, so it finds nothing.
    if (*index > 0)
        --*index;
    return false;
}
