#include "application_font.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QStringList>

void SetApplicationFonts() {
    QFont f = QApplication::font();
    // The resolved family first: a generic alias such as "Sans Serif" in a family list is
    // not resolved, and Latin text would then fall through to the Japanese font.
    QStringList families{QFontInfo(f).family()};
    families << QStringLiteral("IPAPGothic") << QStringLiteral("IPAGothic");
    f.setFamilies(families);
    QApplication::setFont(f);
}
