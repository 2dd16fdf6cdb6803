#pragma once
// A picture control: draws its picture scaled to the control's size (nearest pixel, so a
// zoomed-in picture shows its pixels), painting only the exposed part.

#include <QImage>
#include <QWidget>

class ImageView : public QWidget {
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;  // as opened, saved as it is
    QImage display_;  // the same in a format that paints fast
};
