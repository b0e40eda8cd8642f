// A screen reader's view of the widgets, for the tests. Qt tells the platform of accessibility
// changes only while a screen reader listens, and on the offscreen platform none ever does; so
// TScreenReader switches the platform's accessibility on, as a screen reader's first question
// would, and records each notification that Qt would pass on to it.
#pragma once

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

#include <vector>

class TScreenReader {
public:
    struct TNotification {
        QAccessible::Event Type;
        QObject *Object;
        QVariant Value; // the new value of a value change
    };

    TScreenReader()
    {
        PlatformAccessibility()->setActive(true);
        Notifications().clear();
        QAccessible::installUpdateHandler(Record);
    }
    ~TScreenReader()
    {
        QAccessible::installUpdateHandler(nullptr);
        PlatformAccessibility()->setActive(false);
    }
    TScreenReader(const TScreenReader &) = delete;
    TScreenReader &operator=(const TScreenReader &) = delete;

    // The values that value changes of Object announced, in order.
    static std::vector<int> ValuesAnnounced(const QObject *Object)
    {
        std::vector<int> values;
        for (const TNotification &notification : Notifications()) {
            if (notification.Type == QAccessible::ValueChanged && notification.Object == Object)
                values.push_back(notification.Value.toInt());
        }
        return values;
    }

    static void Forget() { Notifications().clear(); }

    // The name, role and value that a screen reader reads for Object.
    static QString Name(QObject *Object) { return Text(Object, QAccessible::Name); }
    static QString Description(QObject *Object) { return Text(Object, QAccessible::Description); }
    static QString Value(QObject *Object) { return Text(Object, QAccessible::Value); }
    static QAccessible::Role Role(QObject *Object)
    {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(Object);
        return face ? face->role() : QAccessible::NoRole;
    }

private:
    static QPlatformAccessibility *PlatformAccessibility()
    {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }

    static std::vector<TNotification> &Notifications()
    {
        static std::vector<TNotification> notifications;
        return notifications;
    }

    static void Record(QAccessibleEvent *Event)
    {
        QVariant value;
        if (Event->type() == QAccessible::ValueChanged)
            value = static_cast<QAccessibleValueChangeEvent *>(Event)->value();
        Notifications().push_back({Event->type(), Event->object(), value});
    }

    static QString Text(QObject *Object, QAccessible::Text Kind)
    {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(Object);
        return face ? face->text(Kind) : QString();
    }
};
