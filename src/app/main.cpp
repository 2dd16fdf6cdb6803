#include "main_form.h"
#include "startup.h"
#include "user_dialogs.h"

#include <exception>

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    try {
        SetApplicationFonts();
        CreateWindows();
        // The version dialog or the selector may still be shown; closing the main window
        // ends the program all the same.
        app.setQuitOnLastWindowClosed(false);
        QObject::connect(MainForm, &TMainForm::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
        MainForm->show();
        const int status = app.exec();
        DestroyWindows();
        return status;
    } catch (const std::exception& e) {
        Dialogs().showError(nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs().showError(nullptr, QStringLiteral("unknown error"));
    }
    return 1;
}
