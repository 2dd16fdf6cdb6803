#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <string>

namespace {

Language current = Language::Japanese;

// Owned by the application object, so that they go with it.
QTranslator* ProgramTranslator() {
    static QTranslator* translator = nullptr;
    if (!translator) translator = new QTranslator(QCoreApplication::instance());
    return translator;
}

QTranslator* QtTranslator() {
    static QTranslator* translator = nullptr;
    if (!translator) translator = new QTranslator(QCoreApplication::instance());
    return translator;
}

}  // namespace

bool SetLanguage(Language language, std::string& error) {
    QTranslator* program = ProgramTranslator();
    QTranslator* qt = QtTranslator();
    current = language;
    if (language == Language::English) {
        QCoreApplication::removeTranslator(qt);
        if (program->isEmpty() && !program->load(QStringLiteral(":/i18n/framesifter_en.qm"))) {
            error = "the English translation (:/i18n/framesifter_en.qm) cannot be loaded";
            return false;
        }
        QCoreApplication::removeTranslator(program);  // installing twice would stack it
        QCoreApplication::installTranslator(program);
        return true;
    }
    QCoreApplication::removeTranslator(program);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qt->isEmpty() && !qt->load(QStringLiteral("qtbase_ja"), folder)) {
        error = QDir(folder).filePath(QStringLiteral("qtbase_ja.qm")).toStdString() +
                ": cannot be loaded";
        return false;
    }
    QCoreApplication::removeTranslator(qt);
    QCoreApplication::installTranslator(qt);
    return true;
}

Language CurrentLanguage() { return current; }

QString LanguageCode(Language language) {
    return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja");
}

Language LanguageFromCode(const QString& code) {
    return code.trimmed() == QLatin1String("en") ? Language::English : Language::Japanese;
}
