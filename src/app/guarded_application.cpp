#include "guarded_application.h"

#include "command_guard.h"

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunCommand(reportWindow_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
