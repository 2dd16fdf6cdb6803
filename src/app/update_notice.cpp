#include "update_notice.h"

#include "startup.h"

#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

TUpDate* UpDate = nullptr;

TUpDate::TUpDate(double version, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("UpDate"));
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    GroupBox1 = new QGroupBox(QStringLiteral("お知らせ"), this);
    GroupBox1->setGeometry(0, 0, 257, 321);
    Memo1 = new QPlainTextEdit(GroupBox1);
    Memo1->setGeometry(8, 24, 241, 233);
    Memo1->setPlainText(QStringLiteral("Memo1"));
    Button1 = new QPushButton(QStringLiteral("閉じる"), GroupBox1);
    Button1->setGeometry(104, 288, 49, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { Button1Click(); }); });
    setFixedSize(257, 321);

    CheckNotice(version);
}

bool TUpDate::CheckNotice(double version) {
    if (!(version > 1.06)) return false;
    QFile file(QStringLiteral("update.fft"));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // A notice is a few lines of text; more than 1 MiB is not one.
        Memo1->setPlainText(QString::fromUtf8(file.read(1024 * 1024)));
    } else {
        Memo1->setPlainText(QStringLiteral("お知らせはありません。"));
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.width() / 2 - width() / 2, s.height() / 2 - height() / 2);
    }
    show();
    raise();
    return true;
}

void TUpDate::Button1Click() { hide(); }
