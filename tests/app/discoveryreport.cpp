// zarnell-discovery-report: runs the program's windows on the offscreen platform against the
// ports of ZARNELL_PORTS until discovery has found the dongle (at most 30 s), then prints what
// the Ports box tells of each port, one item's tooltip a line. Exits 0 when the dongle was
// found. The tests run it as another user, to see ports that user may not open.
#include "programsetup.h"
#include "programwindows.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpProgram(&app);

    TProgramWindows windows;
    TZRSetupForm &form = windows.ZRSetupForm;
    form.show();
    const bool found = QTest::qWaitFor([&] { return form.DownloadButton->isEnabled(); }, 30000);
    for (int i = 0; i < form.Ports->count(); ++i) {
        const QString tip = form.Ports->itemData(i, Qt::ToolTipRole).toString();
        std::printf("%s\n", tip.toUtf8().constData());
    }
    form.close();
    return found ? 0 : 1;
}
