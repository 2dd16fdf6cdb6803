#pragma once
// Every file dialog and message box of the program goes through this interface, so that
// tests can script the user's choices and answers instead of waiting on a modal box.

#include <QString>
#include <QStringList>

class QWidget;

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    struct OpenChoice {
        bool accepted = false;
        QStringList files;    // full paths, in the dialog's order
        int filterIndex = 0;  // 0-based entry of `filters` that was chosen
    };
    struct SaveChoice {
        bool accepted = false;
        QString file;
        int filterIndex = 0;
    };

    // filters: entries such as "BMP (*.bmp)"; initialFilter: 0-based entry shown first;
    // folder: the folder the dialog opens in.
    virtual OpenChoice getOpenFiles(QWidget* parent, const QString& title,
                                    const QStringList& filters, int initialFilter,
                                    const QString& folder) = 0;
    virtual SaveChoice getSaveFile(QWidget* parent, const QString& title,
                                   const QStringList& filters, int initialFilter,
                                   const QString& folder) = 0;
    // A folder chooser opening in `folder`; the chosen folder, or empty when cancelled.
    // Scripted dialogs that leave it out cancel.
    virtual QString getExistingFolder(QWidget* parent, const QString& title,
                                      const QString& folder) {
        (void)parent, (void)title, (void)folder;
        return QString();
    }
    // A plain message with an OK button.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // An error report (unreadable file, failed write): OK button, warning icon.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A Yes/No question; `yesIsDefault` chooses the default button. Escape answers No.
    virtual bool askYesNo(QWidget* parent, const QString& text, bool yesIsDefault) = 0;
};

// The 0-based entry of `filters` that a file dialog reports as chosen, whether it reports
// the whole entry or only its label; 0 when nothing matches.
int NameFilterIndex(const QStringList& filters, const QString& selected);

// The dialogs in use: the real Qt ones unless a test installed its own.
UserDialogs& Dialogs();
// Installs `dialogs` (not owned); nullptr restores the real ones.
void SetDialogs(UserDialogs* dialogs);
