// The playback tests need an application object for queued signals and a
// display for the widget renderer; without one they fail, they never skip.
// Listing the tests (as the build does to register them) needs neither.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
