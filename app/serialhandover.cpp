#include "serialhandover.h"

#include "errorbox.h"

#include "serapplication.h"
#include "serhandover.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

void InstallSerialHandOver(QCoreApplication *App)
{
    // The wake-up comes from an event thread; a queued call is the thread-safe way into the GUI
    // thread's event loop, and every loop the GUI thread runs delivers it. The application object
    // outlives every open port: the windows close their ports before it goes.
    TSerHandOver::Main().SetWakeUp([App] {
        QMetaObject::invokeMethod(
            App, [] { TSerHandOver::Main().Serve(); }, Qt::QueuedConnection);
    });
    SetSerExceptionHandler(HandleApplicationException);
    // The pause after closing a port keeps the windows answering keys, the mouse and repaints.
    SetSerGuiWait([](std::chrono::milliseconds Duration) {
        QEventLoop loop;
        QTimer::singleShot(Duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    });
}
