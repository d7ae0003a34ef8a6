// The LED output report.
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
