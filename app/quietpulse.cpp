#include "quietpulse.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// A style's animation lives as a child of the widget it animates and asks for each frame with a
// StyleAnimationUpdate event; an event that is not accepted stops it.
class TQuietPulse : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::StyleAnimationUpdate && Pulsing(Watched))
            return true;
        return QObject::eventFilter(Watched, Event);
    }

private:
    // The Vista style keeps one animation per widget; its pulse has a class of its own.
    static bool Pulsing(const QObject *Widget)
    {
        for (const QObject *child : Widget->children()) {
            if (child->inherits("QWindowsVistaPulse"))
                return true;
        }
        return false;
    }
};

} // namespace

void InstallQuietPulse(QCoreApplication *App)
{
    App->installEventFilter(new TQuietPulse(App));
}
