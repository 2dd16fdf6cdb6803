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

    noticeGroup_ = new QGroupBox(this);
    noticeGroup_->setObjectName(QStringLiteral("noticeGroup"));
    noticeGroup_->setGeometry(0, 0, 257, 321);
    noticeText_ = new QPlainTextEdit(noticeGroup_);
    noticeText_->setObjectName(QStringLiteral("noticeText"));
    noticeText_->setGeometry(8, 24, 241, 233);
    noticeText_->setPlainText(QStringLiteral("Memo1"));
    closeButton_ = new QPushButton(noticeGroup_);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setGeometry(104, 288, 49, 25);
    connect(closeButton_, &QPushButton::clicked, this,
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
        noticeText_->setPlainText(QString::fromUtf8(file.read(1024 * 1024)));
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
    noticeGroup_->setTitle(tr("お知らせ"));
    closeButton_->setText(tr("閉じる"));
    if (noNotice_) noticeText_->setPlainText(tr("お知らせはありません。"));
}

void NoticeWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}
