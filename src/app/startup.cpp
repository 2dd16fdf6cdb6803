#include "startup.h"

#include "main_form.h"
#include "selector_window.h"
#include "update_notice.h"
#include "user_dialogs.h"
#include "version.h"

#include <QFont>
#include <QFontInfo>

void ReportCommandError(QWidget* parent, const char* what) {
    try {
        Dialogs().showError(parent, QString::fromLocal8Bit(what));
    } catch (...) {
        // Nothing left to report with.
    }
}

void CreateWindows(QStringList* order) {
    auto note = [order](const char* name) {
        if (order) order->append(QString::fromLatin1(name));
    };
    MainForm = new TMainForm;
    note("TMainForm");
    Version = new TVersion;
    note("TVersion");
    Selector = new TSelector;
    note("TSelector");
    UpDate = new TUpDate;
    note("TUpDate");
}

void DestroyWindows() {
    delete UpDate;
    UpDate = nullptr;
    delete Selector;
    Selector = nullptr;
    delete Version;
    Version = nullptr;
    delete MainForm;
    MainForm = nullptr;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportCommandError(MainForm, e.what());
    } catch (...) {
        ReportCommandError(MainForm, "unknown error");
    }
    return false;
}

void SetApplicationFonts() {
    QFont f = QApplication::font();
    // The resolved family first: a generic alias such as "Sans Serif" in a family list is
    // not resolved, and Latin text would then fall through to the Japanese font.
    QStringList families{QFontInfo(f).family()};
    families << QStringLiteral("IPAPGothic") << QStringLiteral("IPAGothic");
    f.setFamilies(families);
    QApplication::setFont(f);
}
