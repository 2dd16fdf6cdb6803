#include "application_setup.h"
#include "command_line_files.h"
#include "command_guard.h"
#include "display_check.h"
#include "guarded_application.h"
#include "large_buffers.h"
#include "main_window.h"

#include <QDir>

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    // Before any thread: the selector's runs free large frame buffers that must leave the
    // process.
    framesifter::ReturnLargeBuffersToTheSystem();
    std::string error;
    if (!DisplayAvailable(argc, argv, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    GuardedApplication app(argc, argv);
    int status = 1;
    RunCommand(nullptr, [&] {
        SetUpApplication();
        auto window = std::make_unique<MainWindow>();
        app.setReportWindow(window.get());
        // The version dialog or the selector may still be shown; closing the main window
        // ends the program all the same.
        app.setQuitOnLastWindowClosed(false);
        EndProgramWhenClosed(*window);
        window->show();
        // "Open with" in a file manager starts the program with the files to show.
        window->openDroppedFiles(CommandLineFiles(app.arguments().mid(1), QDir::currentPath()));
        status = app.exec();
    });
    return status;
}
