#pragma once
// One scores plot: every frame a light marker (drawn in one pass, not one item per point),
// passed and not passed in two series, and a marker line (the threshold or the cut). A click
// reports the frame nearest the pointer. Frame axis labels name whole frames (FrameTicks);
// a plot without frames says so instead of showing a scale.

#include <QBrush>
#include <QChartView>
#include <QString>

#include <vector>

class QGraphicsSimpleTextItem;
class QLineSeries;
class QValueAxis;

class ScoresPlot : public QChartView {
    Q_OBJECT
public:
    explicit ScoresPlot(QWidget* parent = nullptr);

    // The plot's own captions (the series and the score axis) in the current language, and
    // those its window gives.
    void setTexts(const QString& title, const QString& xCaption, const QString& lineName);

    // Frame k sits at (x[k], score[k]); x values are distinct and from 1, with gaps where
    // frames are not shown.
    // lineAtX: the marker line is vertical at x = line, else horizontal at y = line.
    void setPoints(const std::vector<int>& x, const std::vector<double>& scores,
                   const std::vector<char>& passed, double line, bool lineAtX);
    // The frame (0-based) whose point is within a few pixels of `pos`, or -1.
    int frameAt(const QPoint& pos) const;
    // Where frame k is drawn, in widget coordinates.
    QPoint positionOf(int k) const;
    // The scores given to setPoints, one per frame.
    const std::vector<double>& scores() const { return y_; }
    // Dots drawn, after frames sharing a dot's cell are merged.
    int shownPoints() const { return shownPoints_; }
    // The word shown instead of a scale, empty while there are frames.
    QString emptyText() const;

signals:
    void frameClicked(int index);
    void frameDoubleClicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void showPoints();
    // The word an empty plot shows, in the middle of the plot area.
    void placeNoFramesText();

    QLineSeries* passed_;
    QLineSeries* failed_;
    QLineSeries* line_;
    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    QGraphicsSimpleTextItem* noFrames_;
    QBrush labelsBrush_;
    std::vector<int> x_;
    std::vector<double> y_;
    std::vector<int> atX_;  // x - 1 -> frame
    std::vector<char> passedFlags_;
    QSize drawnFor_;  // the plot area the dots were merged for
    int shownPoints_ = 0;
    bool settingPoints_ = false;
};
