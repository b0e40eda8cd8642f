#include <QApplication>

#include <gtest/gtest.h>

// The widget tests need an application object. They run on the offscreen platform unless told
// otherwise, so that listing them (which happens without the tests' environment) works without a
// display too.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
