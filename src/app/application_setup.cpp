#include "application_setup.h"

#include "application_font.h"
#include "language.h"
#include "preferences.h"
#include "program_icon.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

void SetUpApplication() {
    SetApplicationFonts();
    std::string error;
    if (!SetLanguage(Preferences().language(), error))
        std::fprintf(stderr, "framesifter: %s\n", error.c_str());
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    QApplication::setWindowIcon(icon);
}
