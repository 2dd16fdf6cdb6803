#pragma once
// The version dialog: a picture, the program's name, its version and OK. Modeless; OK hides it.

#include <QDialog>
#include <QImage>

class VersionDialog : public QDialog {
    Q_OBJECT
public:
    explicit VersionDialog(QWidget* parent = nullptr);

    // Shows the dialog, or brings it to the front when it is already shown.
    void showVersion();
};

// The 120 x 240 picture beside the texts.
QImage VersionPicture();
