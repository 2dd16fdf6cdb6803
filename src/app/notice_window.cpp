#include "notice_window.h"

#include "command_guard.h"
#include "screen_centre.h"

#include <QFile>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>

NoticeWindow::NoticeWindow(double version, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("UpDate"));
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    noticeGroup = new QGroupBox(this);
    noticeGroup->setGeometry(0, 0, 257, 321);
    noticeText = new QPlainTextEdit(noticeGroup);
    noticeText->setGeometry(8, 24, 241, 233);
    noticeText->setPlainText(QStringLiteral("Memo1"));
    closeButton = new QPushButton(noticeGroup);
    closeButton->setGeometry(104, 288, 49, 25);
    connect(closeButton, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { hide(); }); });
    setFixedSize(257, 321);
    retranslate();

    checkNotice(version);
}

bool NoticeWindow::checkNotice(double version) {
    if (!(version > 1.06)) return false;
    QFile file(QStringLiteral("update.fft"));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // A notice is a few lines of text; more than 1 MiB is not one.
        noticeText->setPlainText(QString::fromUtf8(file.read(1024 * 1024)));
        noNotice_ = false;
    } else {
        noNotice_ = true;
        retranslate();
    }
    CentreOnScreen(*this);
    show();
    raise();
    return true;
}

void NoticeWindow::retranslate() {
    noticeGroup->setTitle(tr("お知らせ"));
    closeButton->setText(tr("閉じる"));
    if (noNotice_) noticeText->setPlainText(tr("お知らせはありません。"));
}

void NoticeWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}
