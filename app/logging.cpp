#include "logging.h"

#include "serapplication.h"

#include <QtGlobal>

Q_LOGGING_CATEGORY(lcSerial, "zarnell.serial", QtWarningMsg)

void InstallLogging()
{
    qSetMessagePattern(QStringLiteral(
        "%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-category}%{category}: %{endif}%{message}"));
    SetSerLog({[] { return lcSerial().isInfoEnabled(); },
               [](const std::string &Text) {
                   qCInfo(lcSerial).noquote() << QString::fromStdString(Text);
               }});
}
