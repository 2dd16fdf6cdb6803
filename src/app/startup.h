#pragma once
// Start-up of the program and the guard that keeps exceptions away from Qt.

#include <QApplication>
#include <QStringList>

#include <exception>
#include <utility>

class QWidget;

// Shows an error that escaped a command; the program goes on.
void ReportCommandError(QWidget* parent, const char* what);

// Runs one user command; an exception ends the command and is shown in a message box.
template <class F>
void RunCommand(QWidget* parent, F&& command) noexcept {
    try {
        std::forward<F>(command)();
    } catch (const std::exception& e) {
        ReportCommandError(parent, e.what());
    } catch (...) {
        ReportCommandError(parent, "unknown error");
    }
}

// Creates the main window, the version dialog, the selector window and the notice window,
// in that order, all hidden. `order`, when given, receives the class names as created.
// Throws on failure.
void CreateWindows(QStringList* order = nullptr);
// Destroys what CreateWindows made (for tests; the program ends instead).
void DestroyWindows();

// An application object that turns an exception escaping an event handler into a message
// box instead of letting it through Qt.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Gives the application font a Japanese fallback so that Japanese texts never show boxes.
void SetApplicationFonts();
