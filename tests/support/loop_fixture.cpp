// The main loop against the stand-in hidraw device and a real receiver on loopback.
#include "support/loop_fixture.h"

#include "app/console.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <unistd.h>

void LoopStandIn::SetUp()
{
    tree = hidrawTreeCreate("loop");
    ASSERT_TRUE(hidrawTreeAddDevice(tree, 0, 3, 0x046D, 0xCA03, HIDRAW_NODE_FIFO));
    reports = open(hidrawTreeNodePath(tree, 0).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reports, 0);
    port = testFreeUdpPort();
    app.settings.outGaugePort = port;
    app.hidPlaces = hidrawTreePlaces(tree);
    // The console handler pauses on the test's clock too.
    consoleSetClock(clock);
}

void LoopStandIn::TearDown()
{
    testCaptureBegin();
    ogClose();
    closeHID();
    testCaptureEnd();
    if (reports >= 0)
        close(reports);
    hidrawTreeRemove(tree);
    appRelease(&app);
    consoleSetClock(clockSystem());
}

void LoopStandIn::openBoth()
{
    ASSERT_TRUE(ogInit(port));
    ASSERT_TRUE(initHID(0xCA03, 0, app.hidPlaces));
}
