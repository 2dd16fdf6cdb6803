#include "user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

int NameFilterIndex(const QStringList& filters, const QString& selected) {
    for (int i = 0; i < filters.size(); ++i) {
        const QString& f = filters[i];
        if (f == selected) return i;
        // With HideNameFilterDetails the dialog reports only the label before the patterns.
        const int open = f.lastIndexOf(QLatin1Char('('));
        if (open > 0 && f.endsWith(QLatin1Char(')')) &&
            f.left(open).trimmed() == selected.trimmed())
            return i;
    }
    return 0;
}

namespace {

class QtUserDialogs : public UserDialogs {
public:
    OpenChoice getOpenFiles(QWidget* parent, const QString& title, const QStringList& filters,
                            int initialFilter, const QString& folder) override {
        QFileDialog dialog(parent, title, folder);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(filters);
        if (initialFilter >= 0 && initialFilter < filters.size())
            dialog.selectNameFilter(filters[initialFilter]);
        OpenChoice choice;
        if (dialog.exec() != QDialog::Accepted) return choice;
        choice.accepted = true;
        choice.files = dialog.selectedFiles();
        choice.filterIndex = NameFilterIndex(filters, dialog.selectedNameFilter());
        return choice;
    }
    SaveChoice getSaveFile(QWidget* parent, const QString& title, const QStringList& filters,
                           int initialFilter, const QString& folder) override {
        QFileDialog dialog(parent, title, folder);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        // The program asks the overwrite question itself, after fixing the extension.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(filters);
        if (initialFilter >= 0 && initialFilter < filters.size())
            dialog.selectNameFilter(filters[initialFilter]);
        SaveChoice choice;
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return choice;
        choice.accepted = true;
        choice.file = dialog.selectedFiles().first();
        choice.filterIndex = NameFilterIndex(filters, dialog.selectedNameFilter());
        return choice;
    }
    QString getExistingFolder(QWidget* parent, const QString& title,
                              const QString& folder) override {
        QFileDialog dialog(parent, title, folder);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
    void showMessage(QWidget* parent, const QString& text) override {
        QMessageBox::information(parent, QStringLiteral("FrameSifter"), text);
    }
    void showError(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("FrameSifter"), text);
    }
    bool askYesNo(QWidget* parent, const QString& text, bool yesIsDefault) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("FrameSifter"), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

QtUserDialogs realDialogs;
UserDialogs* current = nullptr;

}  // namespace

UserDialogs& Dialogs() { return current ? *current : realDialogs; }
void SetDialogs(UserDialogs* dialogs) { current = dialogs; }
