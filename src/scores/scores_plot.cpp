#include "scores_plot.h"

#include "plot_ticks.h"

#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr int kPickRadius = 6;  // pixels
const QColor kPassedColour(0, 110, 220);
const QColor kFailedColour(150, 150, 150);

QImage Dot(const QColor& colour) {
    QImage dot(5, 5, QImage::Format_ARGB32_Premultiplied);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(0.5, 0.5, 4, 4));
    return dot;
}

// A line series drawing only its points: its light markers are painted in one pass, where
// a scatter series builds one graphics item per point (seconds for 100,000 points).
QLineSeries* NewDots(const QString& name, const QColor& colour) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setColor(colour);
    series->setPen(Qt::NoPen);
    series->setMarkerSize(5);
    series->setPointsVisible(true);
    series->setLightMarker(Dot(colour));
    return series;
}

// Whole numbers while they are short and apart; scores of tiny or huge values in the
// shortest form that tells them apart.
QString ScoreLabelFormat(double low, double high) {
    const bool plain = high - low >= 10 && std::fmax(std::fabs(low), std::fabs(high)) < 1e12;
    return plain ? QStringLiteral("%.0f") : QStringLiteral("%.6g");
}

}  // namespace

ScoresPlot::ScoresPlot(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    failed_ = NewDots(QString(), kFailedColour);
    passed_ = NewDots(QString(), kPassedColour);
    line_ = new QLineSeries;
    QPen pen(QColor(220, 40, 40));
    pen.setWidth(2);
    pen.setStyle(Qt::DashLine);
    line_->setPen(pen);
    xAxis_ = new QValueAxis;
    xAxis_->setLabelFormat(QStringLiteral("%d"));
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(0);
    xAxis_->setTickInterval(1);
    yAxis_ = new QValueAxis;
    yAxis_->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(xAxis_, Qt::AlignBottom);
    chart->addAxis(yAxis_, Qt::AlignLeft);
    // Added in drawing order: the passed points over the line and the other points, so that a
    // few passes among many frames stay in sight.
    for (QLineSeries* s : {line_, failed_, passed_}) {
        chart->addSeries(s);
        s->attachAxis(xAxis_);
        s->attachAxis(yAxis_);
    }
    setChart(chart);
    for (QLineSeries* s : {failed_, passed_})
        for (QLegendMarker* marker : chart->legend()->markers(s)) {
            marker->setShape(QLegend::MarkerShapeCircle);
            marker->setBrush(s == passed_ ? kPassedColour : kFailedColour);
            marker->setPen(Qt::NoPen);
        }
    connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        placeNoFramesText();
        if (!settingPoints_ && area.size().toSize() != drawnFor_) showPoints();
    });
    labelsBrush_ = xAxis_->labelsBrush();
    noFrames_ = new QGraphicsSimpleTextItem(chart);
    noFrames_->setFont(chart->titleFont());
    noFrames_->setBrush(QColor(110, 110, 110));
    noFrames_->hide();
    setRenderHint(QPainter::Antialiasing, false);
    setMinimumSize(360, 220);
}

void ScoresPlot::setTexts(const QString& title, const QString& xCaption, const QString& lineName) {
    chart()->setTitle(title);
    xAxis_->setTitleText(xCaption);
    line_->setName(lineName);
    failed_->setName(tr("不合格"));
    passed_->setName(tr("合格"));
    yAxis_->setTitleText(tr("スコア"));
    noFrames_->setText(tr("フレームなし"));
    placeNoFramesText();
}

void ScoresPlot::placeNoFramesText() {
    const QRectF area = chart()->plotArea();
    const QRectF text = noFrames_->boundingRect();
    noFrames_->setPos(area.center() - text.center());
}

void ScoresPlot::setPoints(const std::vector<int>& x, const std::vector<double>& scores,
                           const std::vector<char>& passed, double line, bool lineAtX) {
    const std::size_t n = std::min(x.size(), scores.size());
    // New ranges move the plot area; the dots are merged once, for the final one.
    settingPoints_ = true;
    x_.assign(x.begin(), x.begin() + long(n));
    y_.assign(scores.begin(), scores.begin() + long(n));
    const int widest = n ? std::max(int(n), *std::max_element(x_.begin(), x_.end())) : 0;
    atX_.assign(std::size_t(widest), -1);
    passedFlags_.assign(n, 0);
    double low = n ? y_[0] : 0, high = n ? y_[0] : 1;
    for (std::size_t k = 0; k < n; ++k) {
        passedFlags_[k] = k < passed.size() && passed[k];
        if (x_[k] >= 1) atX_[std::size_t(x_[k]) - 1] = int(k);
        low = std::min(low, y_[k]);
        high = std::max(high, y_[k]);
    }
    if (!lineAtX) {
        low = std::min(low, line);
        high = std::max(high, line);
    }
    const double left = 0.5, right = std::max(widest, 1) + 0.5;
    // Never the smaller step over the wider range, even for a moment: the axis lays out a
    // label per tick at once.
    const double step = FrameTickStep(widest);
    // Without frames the plot says so, and shows no scale.
    const bool empty = n == 0;
    // Labels made clear rather than hidden: hidden ones would take the titles' room away.
    for (QValueAxis* axis : {xAxis_, yAxis_}) {
        axis->setLabelsBrush(empty ? QBrush(Qt::transparent) : labelsBrush_);
        axis->setGridLineVisible(!empty);
    }
    if (step < xAxis_->tickInterval()) {
        xAxis_->setRange(left, right);
        xAxis_->setTickInterval(step);
    } else {
        xAxis_->setTickInterval(step);
        xAxis_->setRange(left, right);
    }
    yAxis_->setLabelFormat(ScoreLabelFormat(low, high));
    // Scores reach the largest doubles, and the axis multiplies its span by the tick number:
    // a span beyond kWidest gets no margin, no rounding out and a tick at either end alone,
    // any of which would pass the largest double.
    constexpr double kWidest = 1e307;
    const double margin = high > low ? high * 0.05 - low * 0.05 : 1;
    const bool wide = !(high - low + 2 * margin < kWidest);
    yAxis_->setTickCount(wide ? 2 : 5);
    yAxis_->setRange(wide ? low : low - margin, wide ? high : high + margin);
    if (!wide) yAxis_->applyNiceNumbers();
    settingPoints_ = false;
    showPoints();
    if (empty)
        line_->clear();
    else if (lineAtX)
        line_->replace({QPointF(line, yAxis_->min()), QPointF(line, yAxis_->max())});
    else
        line_->replace({QPointF(left, line), QPointF(right, line)});
    noFrames_->setVisible(empty);
    placeNoFramesText();
}

void ScoresPlot::showPoints() {
    // One dot per cell of kCell x kCell pixels and series: a dot covers its cell anyway, and
    // the chart's cost per point is what would make 100,000 frames slow.
    constexpr int kCell = 2;
    QRectF area = chart()->plotArea();
    if (area.width() < 10 || area.height() < 10) area = QRectF(0, 0, 1000, 500);
    drawnFor_ = area.size().toSize();
    const int columns = int(area.width()) / kCell + 1, rows = int(area.height()) / kCell + 1;
    const double x0 = xAxis_->min(), y0 = yAxis_->min();
    const double fx = area.width() / kCell / (xAxis_->max() - x0);
    const double fy = area.height() / kCell / (yAxis_->max() - y0);
    std::vector<char> taken(std::size_t(columns) * std::size_t(rows) * 2, 0);
    QList<QPointF> good, bad;
    for (std::size_t k = 0; k < x_.size(); ++k) {
        const int c = std::clamp(int((x_[k] - x0) * fx), 0, columns - 1);
        const int r = std::clamp(int((y_[k] - y0) * fy), 0, rows - 1);
        char& cell = taken[(std::size_t(r) * std::size_t(columns) + std::size_t(c)) * 2 +
                           std::size_t(passedFlags_[k])];
        if (cell) continue;
        cell = 1;
        (passedFlags_[k] ? good : bad).append(QPointF(x_[k], y_[k]));
    }
    passed_->replace(good);
    failed_->replace(bad);
    shownPoints_ = int(good.size() + bad.size());
}

QPoint ScoresPlot::positionOf(int k) const {
    if (k < 0 || std::size_t(k) >= x_.size()) return {};
    const QPointF scene = chart()->mapToPosition(QPointF(x_[std::size_t(k)], y_[std::size_t(k)]));
    return mapFromScene(chart()->mapToScene(scene));
}

int ScoresPlot::frameAt(const QPoint& pos) const {
    if (x_.empty()) return -1;
    // The plot's scale from two mapped points; then each candidate costs a few multiplications.
    const QPointF origin = chart()->mapToPosition(QPointF(0, 0));
    const QPointF unit = chart()->mapToPosition(QPointF(1, 1));
    const double sx = unit.x() - origin.x(), sy = unit.y() - origin.y();
    if (sx <= 0) return -1;
    const QPointF at = chart()->mapFromScene(mapToScene(pos));
    const double valueX = (at.x() - origin.x()) / sx;
    const int first = std::max(1, int(std::floor(valueX - kPickRadius / sx)));
    const int last = std::min(int(atX_.size()), int(std::ceil(valueX + kPickRadius / sx)));
    int best = -1;
    double bestDistance = double(kPickRadius * kPickRadius);
    for (int x = first; x <= last; ++x) {
        const int k = atX_[std::size_t(x) - 1];
        if (k < 0) continue;
        const double dx = origin.x() + x * sx - at.x();
        const double dy = origin.y() + y_[std::size_t(k)] * sy - at.y();
        const double d = dx * dx + dy * dy;
        if (d <= bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

void ScoresPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int k = frameAt(event->position().toPoint());
        if (k >= 0) emit frameClicked(k);
    }
    QChartView::mousePressEvent(event);
}

void ScoresPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int k = frameAt(event->position().toPoint());
        if (k >= 0) emit frameDoubleClicked(k);
    }
    QChartView::mouseDoubleClickEvent(event);
}

QString ScoresPlot::emptyText() const {
    return noFrames_->isVisible() ? noFrames_->text() : QString();
}
