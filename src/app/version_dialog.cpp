#include "version_dialog.h"

#include "command_guard.h"
#include "screen_centre.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include <cmath>

QImage VersionPicture() {
    QImage image(120, 240, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0.0, QColor(4, 6, 24));
    sky.setColorAt(0.7, QColor(16, 30, 70));
    sky.setColorAt(1.0, QColor(40, 56, 96));
    p.fillRect(image.rect(), sky);

    // A fixed scatter of stars (a small linear congruential sequence, the same every time).
    unsigned seed = 20061;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int i = 0; i < 70; ++i) {
        const int x = int(next() % 120), y = int(next() % 170);
        const int level = 130 + int(next() % 126);
        p.setPen(QColor(level, level, std::min(255, level + 20)));
        p.drawPoint(x, y);
    }
    // A ringed planet.
    p.setPen(Qt::NoPen);
    QRadialGradient body(62, 72, 20, 56, 66);
    body.setColorAt(0.0, QColor(250, 226, 170));
    body.setColorAt(1.0, QColor(150, 110, 60));
    p.setBrush(body);
    p.drawEllipse(QPointF(60, 70), 16, 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 210, 160), 2.2));
    p.save();
    p.translate(60, 70);
    p.rotate(-18);
    p.drawEllipse(QPointF(0, 0), 31, 8);
    p.restore();
    // A frequency curve along the bottom: what the selector looks at.
    QPainterPath curve;
    for (int x = 0; x <= 120; ++x) {
        const double y =
            228 - 48 * std::exp(-x / 26.0) - 4 * std::sin(x / 5.0) * std::exp(-x / 60.0);
        if (x == 0)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.setPen(QPen(QColor(120, 230, 160), 1.6));
    p.drawPath(curve);
    p.setPen(QPen(QColor(255, 90, 90), 1.0, Qt::DashLine));
    p.drawLine(30, 176, 30, 236);
    p.drawLine(74, 176, 74, 236);
    p.end();
    return image;
}

VersionDialog::VersionDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Version"));
    setModal(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(pal);
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("versionPicture"));
    picture->setPixmap(QPixmap::fromImage(VersionPicture()));
    picture->setGeometry(0, 0, 120, 240);

    auto* nameLabel = new QLabel(QStringLiteral("FrameSifter "), this);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    QFont big = font();
    big.setPixelSize(24);
    nameLabel->setFont(big);
    nameLabel->move(160, 24);
    nameLabel->adjustSize();

    auto* versionLabel = new QLabel(QStringLiteral("Version 1.08B "), this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->move(192, 56);
    versionLabel->adjustSize();

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(200, 192, 57, 25);
    connect(okButton, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { hide(); }); });

    // Sized to the controls, centred on the screen.
    const QRect controls = childrenRect();
    setFixedSize(controls.right() + 1, controls.bottom() + 1);
    CentreOnScreen(*this);
}

void VersionDialog::showVersion() {
    show();
    raise();
    activateWindow();
}
