#pragma once
// Scripted file dialogs and message boxes: tests queue the user's choices and answers,
// and read back what the program asked and said.

#include "user_dialogs.h"

#include <QList>
#include <QStringList>

class FakeDialogs : public UserDialogs {
public:
    FakeDialogs() { SetDialogs(this); }
    ~FakeDialogs() override { SetDialogs(nullptr); }

    QList<OpenChoice> openChoices;
    QList<SaveChoice> saveChoices;
    QList<bool> answers;  // askYesNo answers, in order; an empty queue answers No
    QStringList folders;  // getExistingFolder choices, in order; an empty queue cancels

    int openCalls = 0;
    int saveCalls = 0;
    QString lastTitle;
    QStringList lastFilters;
    int lastInitialFilter = -1;
    QString lastFolder;
    QStringList messages;
    QStringList errors;
    QStringList questions;
    QList<bool> questionDefaults;

    OpenChoice getOpenFiles(QWidget*, const QString& title, const QStringList& filters,
                            int initialFilter, const QString& folder) override {
        ++openCalls;
        lastTitle = title;
        lastFilters = filters;
        lastInitialFilter = initialFilter;
        lastFolder = folder;
        return openChoices.isEmpty() ? OpenChoice{} : openChoices.takeFirst();
    }
    SaveChoice getSaveFile(QWidget*, const QString& title, const QStringList& filters,
                           int initialFilter, const QString& folder) override {
        ++saveCalls;
        lastTitle = title;
        lastFilters = filters;
        lastInitialFilter = initialFilter;
        lastFolder = folder;
        return saveChoices.isEmpty() ? SaveChoice{} : saveChoices.takeFirst();
    }
    QString getExistingFolder(QWidget*, const QString& title, const QString& folder) override {
        lastTitle = title;
        lastFolder = folder;
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    void showMessage(QWidget*, const QString& text) override { messages << text; }
    void showError(QWidget*, const QString& text) override { errors << text; }
    bool askYesNo(QWidget*, const QString& text, bool yesIsDefault) override {
        questions << text;
        questionDefaults << yesIsDefault;
        return answers.isEmpty() ? false : answers.takeFirst();
    }

    void chooseOpen(const QStringList& files, int filter) {
        openChoices << OpenChoice{true, files, filter};
    }
    void chooseSave(const QString& file, int filter) {
        saveChoices << SaveChoice{true, file, filter};
    }
};
