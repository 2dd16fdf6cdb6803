#include "image_window.h"

#include "image_view.h"
#include "viewer_rules.h"

#include <QAction>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>

#include <cmath>
#include <utility>

using namespace framesifter;

ImageWindow::ImageWindow(QWidget* parent) : QMdiSubWindow(parent) {
    // Closing disposes of the window and both pictures.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Child"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    client_ = new QWidget;
    client_->setAutoFillBackground(true);
    client_->setBackgroundRole(QPalette::Button);
    fullSizeView_ = new ImageView(client_);
    fullSizeView_->setObjectName(QStringLiteral("fullSizeView"));
    fullSizeView_->hide();
    shownView_ = new ImageView(client_);
    shownView_->setObjectName(QStringLiteral("shownView"));
    shownView_->setGeometry(0, 0, 0, 0);
    setWidget(client_);

    stretchEach_ = new QAction(this);
    stretchEach_->setObjectName(QStringLiteral("stretchEachFrame"));
    stretchEach_->setCheckable(true);
    stretchEach_->setVisible(false);
    stretchEach_->setText(tr("フレームごとに伸ばす"));
    connect(stretchEach_, &QAction::toggled, this, [this] { emit scaleChoiceChanged(this); });
    client_->setContextMenuPolicy(Qt::ActionsContextMenu);
    client_->addAction(stretchEach_);

    // The window menu's close command has Ctrl+W; the system menu's own copy of it would
    // make the key ambiguous, and then neither would run.
    if (QMenu* menu = systemMenu())
        for (QAction* action : menu->actions()) {
            QList<QKeySequence> keys = action->shortcuts();
            if (keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_W)) > 0) action->setShortcuts(keys);
        }
    if (QMenu* menu = systemMenu()) {
        menu->addSeparator();
        menu->addAction(stretchEach_);
    }
}

const QImage& ImageWindow::picture() const { return shownView_->picture(); }
QSize ImageWindow::shownSize() const { return shownView_->size(); }

void ImageWindow::fill(const QImage& picture, const QString& caption) {
    shownView_->setPicture(picture);
    setShownSize(picture.width(), picture.height());
    setWindowTitle(caption);
    zoomExponent_ = 0;
    fullSizeView_->setPicture(picture);
    fullSizeView_->resize(picture.size());
}

void ImageWindow::setShownSize(int width, int height) {
    shownView_->setGeometry(0, 0, width, height);
    // The window's frame (borders and title bar) around the client area.
    if (QLayout* l = layout()) l->activate();
    const QSize frame = size() - client_->size();
    const QSize wanted(width + frame.width(), height + frame.height());
    resize(wanted.expandedTo(minimumSizeHint()));
}

bool ImageWindow::zoomTo(int exponent, QString& text) {
    const int w0 = fullSizeView_->width();
    const int h0 = fullSizeView_->height();
    if (w0 <= 0 || h0 <= 0) return false;
    const double z = std::pow(2.0, exponent);
    const int w = int(w0 * z);
    const int h = int(h0 * z);
    if (w < 1 || h < 1) return false;
    setShownSize(w, h);
    text = ZoomText(z);
    zoomExponent_ = exponent;
    return true;
}

bool ImageWindow::zoomIn(QString& text) {
    const int m = zoomExponent_ + 1;
    if (m >= 4) return false;
    return zoomTo(m, text);
}

bool ImageWindow::zoomOut(QString& text) { return zoomTo(zoomExponent_ - 1, text); }

QString ImageWindow::activationZoomText() const {
    const int w0 = fullSizeView_->width();
    const int wc = shownView_->width();
    if (w0 <= 0 || wc <= 0 || shownView_->picture().isNull()) return QString();
    const double r = double(wc) / w0;
    const double l = std::log(r) / std::log(2.0);
    const int k = wc >= w0 ? int(l + 0.5) : int(l - 0.5);
    return ZoomText(std::pow(2.0, k));
}

void ImageWindow::showWhole(QSize room, QString& text) {
    if (QLayout* l = layout()) l->activate();
    const QSize frame = size() - client_->size();
    const int exponent = WholeViewExponent(fullSizeView_->size(), room - frame);
    if (!zoomTo(exponent, text)) text = ZoomText(1.0);
}

void ImageWindow::setFrameList(framesifter::FrameList list, int index) {
    list_ = std::move(list);
    frameIndex_ = index;
}

void ImageWindow::setRunScale(const std::optional<ValueScale>& scale) {
    runScale_ = scale;
    stretchEach_->setVisible(scale.has_value());
}

const ValueScale* ImageWindow::shownScale() const {
    return runScale_ && !stretchEach_->isChecked() ? &*runScale_ : nullptr;
}

void ImageWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) stretchEach_->setText(tr("フレームごとに伸ばす"));
    QMdiSubWindow::changeEvent(event);
}

bool ImageWindow::takeShownFrame(framesifter::FrameRef& frame) {
    if (frameIndex_ < 0 || std::size_t(frameIndex_) >= list_.frames.size()) return false;
    frame = list_.frames[std::size_t(frameIndex_)];
    list_.frames.erase(list_.frames.begin() + frameIndex_);
    if (std::size_t(frameIndex_) < list_.ids.size())
        list_.ids.erase(list_.ids.begin() + frameIndex_);
    frameIndex_ = -1;
    return true;
}

void ImageWindow::keyPressEvent(QKeyEvent* event) {
    if (!list_.frames.empty() && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_PageDown:
            emit frameStepRequested(this, 1);
            return;
        case Qt::Key_PageUp:
            emit frameStepRequested(this, -1);
            return;
        case Qt::Key_Delete:
            if (list_.kind != framesifter::FrameListKind::Own) {
                emit frameDropRequested(this);
                return;
            }
            break;
        default:
            break;
        }
    }
    QMdiSubWindow::keyPressEvent(event);
}
