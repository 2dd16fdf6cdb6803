#include "application_font.h"
#include "command_guard.h"
#include "guarded_application.h"
#include "main_window.h"

#include <memory>

int main(int argc, char** argv) {
    GuardedApplication app(argc, argv);
    int status = 1;
    RunCommand(nullptr, [&] {
        SetApplicationFonts();
        auto window = std::make_unique<MainWindow>();
        app.setReportWindow(window.get());
        // The version dialog or the selector may still be shown; closing the main window
        // ends the program all the same.
        app.setQuitOnLastWindowClosed(false);
        QObject::connect(window.get(), &MainWindow::closed, &app, &QApplication::quit,
                         Qt::QueuedConnection);
        window->show();
        status = app.exec();
    });
    return status;
}
