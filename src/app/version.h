#pragma once
// The version dialog: a picture, the program's name, its version and OK. Modeless; OK hides it.

#include <QDialog>
#include <QImage>

class QLabel;
class QPushButton;

class TVersion : public QDialog {
    Q_OBJECT
public:
    explicit TVersion(QWidget* parent = nullptr);

    // Shows the dialog, or brings it to the front when it is already shown.
    void ShowVersion();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr;

public slots:
    void Button1Click();
};

// The 120 x 240 picture beside the texts.
QImage VersionPicture();

extern TVersion* Version;
