#pragma once
// An image window: one per opened file, inside the main window's MDI area.

#include <QImage>
#include <QMdiSubWindow>
#include <QWidget>

// A picture control: draws its picture scaled to the control's size (nearest pixel, so a
// zoomed-in picture shows its pixels), painting only the exposed part.
class TImageView : public QWidget {
public:
    explicit TImageView(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;   // as opened, saved as it is
    QImage display_;   // the same in a format that paints fast
};

class TChild : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TChild(QWidget* parent = nullptr);

    // Shows `picture` at 100 % with `caption`, and sets the per-window values.
    void Fill(const QImage& picture, const QString& caption);

    // One zoom step in or out, computed from the 100 % size. Returns false (and changes
    // nothing) at the largest step, or when the shown picture would fall below one pixel;
    // otherwise `text` receives the new zoom text.
    bool ZoomIn(QString& text);
    bool ZoomOut(QString& text);
    // The zoom text derived from the shown width, for when the window becomes active;
    // empty for a window without a picture.
    QString FormActivate();

    // The 100 % picture (what a save writes).
    const QImage& Picture() const { return Image->picture(); }
    QSize ShownSize() const { return Image->size(); }

    TImageView* ImageZm = nullptr;  // hidden copy at 100 %
    TImageView* Image = nullptr;    // the shown, scaled picture
    int DemX = 0;
    int DemY = 0;
    int ColN = 0;
    int ZomN = 0;
    QString UndoFlg;

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    bool ZoomTo(int exponent, QString& text);
    void SetShownSize(int width, int height);
    QWidget* client_ = nullptr;
};
