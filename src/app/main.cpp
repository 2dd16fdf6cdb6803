#include "main_form.h"
#include "startup.h"
#include "user_dialogs.h"

#include <exception>

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    try {
        SetApplicationFonts();
        CreateWindows();
        MainForm->show();
        return app.exec();
    } catch (const std::exception& e) {
        Dialogs().showError(nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs().showError(nullptr, QStringLiteral("unknown error"));
    }
    return 1;
}
