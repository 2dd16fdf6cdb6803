#pragma once
// The guard every window command runs in: an exception ends the command, is shown in a
// message box, and never reaches Qt's event loop.

#include <exception>
#include <utility>

class QWidget;

// Shows an error that escaped a command; `what` null stands for an exception that carries
// no text. The program goes on.
void ReportCommandError(QWidget* parent, const char* what);

template <class F>
void RunCommand(QWidget* parent, F&& command) noexcept {
    try {
        std::forward<F>(command)();
    } catch (const std::exception& e) {
        ReportCommandError(parent, e.what());
    } catch (...) {
        ReportCommandError(parent, nullptr);
    }
}
