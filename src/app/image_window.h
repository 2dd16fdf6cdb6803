#pragma once
// An image window: one per opened file, inside the main window's MDI area.

#include "frame_list.h"
#include "frame_ref.h"
#include "viewer_rules.h"

#include <QImage>
#include <QMdiSubWindow>

#include <optional>
#include <vector>

class ImageView;
class QAction;

class ImageWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit ImageWindow(QWidget* parent = nullptr);

    // Shows `picture` at 100 % with `caption`, and sets the per-window values.
    void fill(const QImage& picture, const QString& caption);

    // One zoom step in or out, computed from the 100 % size. Returns false (and changes
    // nothing) at the largest step, or when the shown picture would fall below one pixel;
    // otherwise `text` receives the new zoom text.
    bool zoomIn(QString& text);
    bool zoomOut(QString& text);
    // The zoom text derived from the shown width, for when the window becomes active;
    // empty for a window without a picture.
    QString activationZoomText() const;

    // Shows the largest power-of-two zoom at which the picture fits in `room` whole (never
    // above 100 %); `text` receives the zoom text.
    void showWhole(QSize room, QString& text);
    // The 100 % size times 2 to `exponent`; false (nothing changes) below one pixel.
    bool zoomTo(int exponent, QString& text);

    // A window opened from a frame list steps through it: Page Down / Page Up ask for the
    // next / previous frame, and Delete, in a window of one of the selection's lists, asks to
    // take the shown frame out of the pass list.
    void setFrameList(framesifter::FrameList list, int index);
    // The list stepped through (empty for a window of one picture), and the shown frame's
    // place in it, -1 while none is shown.
    const framesifter::FrameList& frameList() const { return list_; }
    const std::vector<framesifter::FrameRef>& frames() const { return list_.frames; }
    int frameIndex() const { return frameIndex_; }
    void setFrameIndex(int index) { frameIndex_ = index; }
    // Takes the shown frame out of the list into `frame`; no frame is shown then. False when
    // none was shown.
    bool takeShownFrame(framesifter::FrameRef& frame);

    // The grey scale of the list's run: its frames are shown on it, unless the user chooses
    // to stretch each frame to its own values (a checkable item of the window's menus, offered
    // only while there is such a scale).
    void setRunScale(const std::optional<ValueScale>& scale);
    // The scale to show frames on; null for each frame's own.
    const ValueScale* shownScale() const;
    const std::optional<ValueScale>& runScale() const { return runScale_; }

    // The 100 % picture (what a save writes).
    const QImage& picture() const;
    QSize shownSize() const;
    // The shown size is the 100 % size times 2 to this power.
    int zoomExponent() const { return zoomExponent_; }

signals:
    void frameStepRequested(ImageWindow* window, int delta);
    void frameDropRequested(ImageWindow* window);
    // The choice between the run's scale and each frame's own changed.
    void scaleChoiceChanged(ImageWindow* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setShownSize(int width, int height);

    QWidget* client_ = nullptr;
    // A hidden copy at 100 %, sized as filled: the base of every zoom step.
    ImageView* fullSizeView_ = nullptr;
    ImageView* shownView_ = nullptr;  // the shown, scaled picture
    int zoomExponent_ = 0;
    framesifter::FrameList list_;
    int frameIndex_ = -1;
    std::optional<ValueScale> runScale_;
    QAction* stretchEach_ = nullptr;
};
