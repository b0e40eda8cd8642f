#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

// The controls on a screen of a higher pixel ratio: --scale-factor=F anywhere on the command line
// sets Qt's scale factor for the whole run (an argument, as Wine hands no QT_* variable of the
// environment to a Windows program). The tests run on the offscreen platform unless told
// otherwise.
int main(int argc, char **argv)
{
    const char *const option = "--scale-factor=";
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
            qputenv("QT_SCALE_FACTOR", argv[i] + std::strlen(option));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
