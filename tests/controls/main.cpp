#include <QApplication>

#include <gtest/gtest.h>

// The widget tests need an application object; the offscreen platform lets them run without a
// display.
int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
