#pragma once
// The notice window: news read from "update.fft", shown only for a version above 1.06.
// The program's version number is 0, so it is created hidden and stays hidden.

#include <QWidget>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class NoticeWindow : public QWidget {
    Q_OBJECT
public:
    // `version` is the number from the settings file's "V" line (always 0).
    explicit NoticeWindow(double version = 0.0, QWidget* parent = nullptr);

    // For a version above 1.06: fills the notice text from "update.fft" in the current
    // directory (or says that there is no notice) and shows the window. Returns whether it
    // was shown.
    bool checkNotice(double version);

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();

    QGroupBox* noticeGroup_ = nullptr;
    QPlainTextEdit* noticeText_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    bool noNotice_ = false;  // the text says there is none, in the current language
};
