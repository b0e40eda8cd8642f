// The program's log as the tests read it: the messages of its categories while a capture lives.
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

// Collects the messages of the program's log categories while it lives.
class TLogCapture {
public:
    explicit TLogCapture(const QString &Rules)
    {
        QLoggingCategory::setFilterRules(Rules);
        Current = this;
        FPrevious = qInstallMessageHandler(&TLogCapture::Handle);
    }
    ~TLogCapture()
    {
        qInstallMessageHandler(FPrevious);
        Current = nullptr;
        QLoggingCategory::setFilterRules(QStringLiteral("zarnell.*=false"));
    }
    TLogCapture(const TLogCapture &) = delete;
    TLogCapture &operator=(const TLogCapture &) = delete;

    QStringList Lines;

private:
    static void Handle(QtMsgType, const QMessageLogContext &Context, const QString &Message)
    {
        const QString category = QString::fromLatin1(Context.category ? Context.category : "");
        if (Current && category.startsWith(QLatin1String("zarnell.")))
            Current->Lines << category + QStringLiteral(": ") + Message;
    }

    static inline TLogCapture *Current = nullptr;
    QtMessageHandler FPrevious = nullptr;
};

// The lines that start with Prefix, without it.
inline QStringList Matching(const QStringList &Lines, const QString &Prefix)
{
    QStringList found;
    for (const QString &line : Lines) {
        if (line.startsWith(Prefix))
            found << line.mid(Prefix.size());
    }
    return found;
}
