// The main loop against the stand-in hidraw device and a real receiver on loopback: the
// fixture of the loop's tests and of its race with the shutdown handler.
#pragma once

#include "app/loop.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

class LoopStandIn : public testing::Test {
protected:
    // Device 0 (046D:CA03) with a FIFO for its node, its reports readable from `reports`; a
    // free port in app.settings; the run's state as it is before start-up.
    void SetUp() override;

    // Closes the receiver and the device without a word, removes the tree, frees the run's
    // state and gives the console handler the platform's clock again.
    void TearDown() override;

    // Opens the receiver on the port and the device (which print their start-up lines).
    void openBoth();

    HidrawTree tree;
    int reports = -1;
    int port = 0;
    AppState app = appInitialState();
    std::atomic<std::uint32_t> ticks{0}; // the count of clock
    AppClock clock = testClock(&ticks);  // the loop's clock, which the test sets
};
