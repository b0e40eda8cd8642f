#include "appfonts.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutes()
{
    // Liberation Sans has Arial's widths, the closest of the free fonts to the narrow Windows
    // sans-serif faces; without it, the next best are tried in order.
    const QStringList narrowSans{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                 QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                                 QStringLiteral("DejaVu Sans")};
    for (const char *family : {"MS Sans Serif", "Tahoma", "Arial"})
        QFont::insertSubstitutions(QString::fromLatin1(family), narrowSans);
}
