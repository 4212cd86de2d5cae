// SPDX-License-Identifier: GPL-2.0-or-later
// The window's tests run headless, with one QApplication for the whole
// program; times are shown in local time and the expected texts are in UTC.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
