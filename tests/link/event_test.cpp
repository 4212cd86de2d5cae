// SPDX-License-Identifier: GPL-2.0-or-later
#include "event.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tarnwick::Event;

TEST(Event, ManualResetStaysSetUntilResetAutoResetIsConsumedByOneWait) {
    Event manual(Event::Reset::Manual);
    Event automatic(Event::Reset::Auto, true);
    EXPECT_FALSE(manual.wait(0ms));
    manual.set();
    EXPECT_TRUE(manual.wait(0ms));
    EXPECT_TRUE(manual.wait(0ms));
    manual.reset();
    EXPECT_FALSE(manual.isSet());
    EXPECT_TRUE(automatic.wait(0ms));
    EXPECT_FALSE(automatic.wait(0ms));
}
