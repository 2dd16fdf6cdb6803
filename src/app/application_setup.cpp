#include "application_setup.h"

#include "application_font.h"
#include "program_icon.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

#include <cstdio>

bool InstallQtTranslations(std::string& error) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
        delete translator;
        error = QDir(folder).filePath(QStringLiteral("qtbase_ja.qm")).toStdString() +
                ": cannot be loaded";
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

void SetUpApplication() {
    SetApplicationFonts();
    std::string error;
    if (!InstallQtTranslations(error)) std::fprintf(stderr, "framesifter: %s\n", error.c_str());
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    QApplication::setWindowIcon(icon);
}
