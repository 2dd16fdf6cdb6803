#pragma once
// The application object: an exception escaping an event handler becomes a message box
// instead of going through Qt.

#include <QApplication>
#include <QPointer>
#include <QWidget>

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The window such a message box belongs to (the main window once it exists).
    void setReportWindow(QWidget* window) { reportWindow_ = window; }

private:
    QPointer<QWidget> reportWindow_;
};
