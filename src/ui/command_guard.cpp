#include "command_guard.h"

#include "user_dialogs.h"

#include <QCoreApplication>
#include <QString>

void ReportCommandError(QWidget* parent, const char* what) {
    try {
        Dialogs().showError(parent, what ? QString::fromLocal8Bit(what)
                                         : QCoreApplication::translate(
                                               "CommandGuard", "予期しないエラーが発生しました"));
    } catch (...) {
        // Nothing left to report with.
    }
}
