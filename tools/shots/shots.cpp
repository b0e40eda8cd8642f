// Takes a screenshot of each window of the program as the user sees it, against the simulated
// unit: zarnell-shots OUTPUT-FOLDER (run it on an X display; ./zarnell shots uses Xvfb).
#include "appfonts.h"
#include "programwindows.h"
#include "rulerslider.h"
#include "serialhandover.h"
#include "unitsimpty.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Waits for a condition and then acts, one step after the other, from whatever event loop runs.
class TScript : public QObject {
public:
    TScript()
    {
        FTimer.setInterval(10);
        connect(&FTimer, &QTimer::timeout, this, [this] { Check(); });
    }

    void Then(std::function<bool()> Condition, std::function<void()> Action)
    {
        FSteps.push_back({std::move(Condition), std::move(Action)});
    }

    void Start()
    {
        FClock.start();
        FTimer.start();
    }

    bool Failed() const { return FFailed; }

private:
    void Check()
    {
        if (FNext == FSteps.size())
            return;
        if (FClock.elapsed() > 30000) {
            std::fprintf(stderr, "zarnell-shots: step %zu never came\n", FNext + 1);
            FFailed = true;
            QApplication::exit(1);
            return;
        }
        if (FActing || !FSteps[FNext].first())
            return;
        // An action may open a modal window; Qt does not fire this timer again while its
        // handler runs, so the action runs from a queued call and the timer stays free.
        FActing = true;
        QMetaObject::invokeMethod(
            this,
            [this, action = FSteps[FNext++].second] {
                FActing = false;
                action();
            },
            Qt::QueuedConnection);
    }

    std::vector<std::pair<std::function<bool()>, std::function<void()>>> FSteps;
    std::size_t FNext = 0;
    bool FFailed = false;
    bool FActing = false;
    QElapsedTimer FClock;
    QTimer FTimer;
};

// What the X server shows of the window, so the picture is what a person would see.
void Shoot(const QWidget *Window, const QString &Folder, const QString &Name)
{
    const QRect area = Window->frameGeometry().adjusted(-8, -8, 8, 8);
    const QPixmap shot =
        Window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(Folder).filePath(Name + QStringLiteral(".png"));
    if (!shot.save(path))
        std::fprintf(stderr, "zarnell-shots: cannot write %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zarnell-shots OUTPUT-FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    InstallSerialHandOver(&app);
    InstallFontSubstitutes();

    // The unit answers slowly, so that the loader window can be seen while it programs, and the
    // second frame so late that the window says the unit is silent.
    TUnitSimOptions options;
    options.FrameAnswerDelay = 400ms;
    options.LateFrames = {{2, 2300ms}};
    TUnitSimPty unit(options);
    qputenv("ZARNELL_PORTS", QByteArray::fromStdString(unit.SlavePath()));

    TProgramWindows windows;
    TZRSetupForm &form = windows.ZRSetupForm;
    TBoot &boot = windows.Boot;
    TUpdateDlgM &dialog = windows.UpdateDlgM;
    form.move(40, 40);
    boot.move(300, 40);
    form.show();

    TScript script;
    const auto always = [] { return true; };
    script.Then([&] { return form.isVisible(); },
                [&] { Shoot(&form, folder, "1-setup-window-searching"); });
    script.Then([&] { return form.DownloadButton->isEnabled() && unit.LoaderListening(); },
                [&] {
                    form.IDSlider->SetValue(3);
                    form.SolDelaySlider->SetValue(17);
                    form.IDSlider->setFocus();
                });
    script.Then(always, [&] { Shoot(&form, folder, "2-setup-window-dongle-found"); });
    script.Then(always, [&] { form.DownloadButton->click(); });
    script.Then([&] { return dialog.isVisible(); }, [] {});
    script.Then(always, [&] { Shoot(&dialog, folder, "3-caution-dialog"); });
    script.Then(always, [&] { dialog.OKBtn->click(); });
    script.Then([&] { return boot.isVisible(); },
                [&] { Shoot(&boot, folder, "4-loader-window-waiting"); });
    script.Then([&] { return boot.Status->text() == QLatin1String("Programming EEPROM"); },
                [&] { Shoot(&boot, folder, "5-loader-window-programming"); });
    script.Then([&] { return boot.Status->text().startsWith(QLatin1String("No answer")); },
                [&] { Shoot(&boot, folder, "5-loader-window-no-answer"); });
    script.Then([&] { return boot.Status->text() == QLatin1String("Programmed"); }, [] {});
    script.Then(always, [&] { Shoot(&boot, folder, "6-loader-window-programmed"); });
    script.Then(always, [&] { boot.CloseButton->click(); });
    // The dongle pulled out: the box that says so.
    script.Then([&] { return !boot.isVisible(); }, [&] { unit.Unplug(); });
    script.Then([] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); },
                [] {});
    script.Then(always, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        Shoot(box, folder, "7-dongle-disconnected");
        box->button(QMessageBox::Ok)->click();
    });
    script.Then(always, [&] { QApplication::exit(0); });
    script.Start();
    const int result = app.exec();
    return script.Failed() ? 1 : result;
}
