#pragma once
// The graph control: keeps its picture between redraws, labels the band markers with their
// bins, and reports mouse presses in picture coordinates.

#include <QImage>
#include <QWidget>

class GraphCanvas : public QWidget {
    Q_OBJECT
public:
    explicit GraphCanvas(QWidget* parent = nullptr);
    // The drawing surface; call update() after drawing into it.
    QImage& picture() { return picture_; }
    const QImage& picture() const { return picture_; }

    // The markers' bins, written at the top beside the markers over the picture; kept
    // apart from the picture so that it holds curves and markers only.
    void showMarkerLabels(int lowBin, int highBin);
    void hideMarkerLabels();
    bool markerLabelsShown() const { return labelled_; }

signals:
    void pressed(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool labelled_ = false;
    int lowBin_ = 0;
    int highBin_ = 0;
};
