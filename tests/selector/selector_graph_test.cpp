// The graph's drawing, checked on the picture's pixels.

#include "graph.h"
#include "analysis_results.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <set>

using namespace framesifter;

namespace {

// Columns of `image` that hold a pixel of `colour`.
std::set<int> ColumnsWith(const QImage& image, QRgb colour) {
    std::set<int> columns;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) {
                columns.insert(x);
                break;
            }
    return columns;
}

bool ColumnIs(const QImage& image, int x, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        if ((image.pixel(x, y) & 0xffffff) != (colour & 0xffffff)) return false;
    return true;
}

void Fill(double* curve, double v) {
    for (int b = 0; b < kProfileBins; ++b) curve[b] = v;
}

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

}  // namespace

class GraphTest : public QObject {
    Q_OBJECT
private slots:
    void rowOfValue_data();
    void rowOfValue();
    void markersOnlyWhenProfilesAreZero_data();
    void markersOnlyWhenProfilesAreZero();
    void curvesInTheirRowsAndColours();
    void laterCurvesLieOnTop_data();
    void laterCurvesLieOnTop();
    void segmentsJoinNeighbouringBins();
    void hugeValuesStayOffTheSurface_data();
    void hugeValuesStayOffTheSurface();
    void scaleStopsAtItsLimits();
    void pressesSetTheBand_data();
    void pressesSetTheBand();
    void fittingScale_data();
    void fittingScale();
    void markerLabelPlace_data();
    void markerLabelPlace();
};

void GraphTest::rowOfValue_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("row");
    QTest::newRow("zero lies below the last row") << 0.0 << 0.1 << 200;
    QTest::newRow("truncates toward zero") << 1005.0 << 0.1 << 99;
    QTest::newRow("negative value") << -3.0 << 0.1 << 200;
    QTest::newRow("just above the top") << 2010.0 << 0.1 << -1;
    QTest::newRow("largest scale") << 1.0 << 51.2 << 148;
    QTest::newRow("huge") << 1e300 << 51.2 << -100000;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 0.1 << -100000;
    QTest::newRow("no number") << std::nan("") << 0.1 << 100000;
}

void GraphTest::rowOfValue() {
    QFETCH(double, value);
    QFETCH(double, scale);
    QFETCH(int, row);
    QCOMPARE(GraphRow(value, scale), row);
}

void GraphTest::markersOnlyWhenProfilesAreZero_data() {
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("initial band") << 25 << 50;
    QTest::newRow("edges") << 0 << 127;
    QTest::newRow("crossed") << 60 << 10;
    QTest::newRow("same bin") << 40 << 40;
}

void GraphTest::markersOnlyWhenProfilesAreZero() {
    QFETCH(int, low);
    QFETCH(int, high);
    AnalysisResults state;
    GraphView view;
    view.band.low = low;
    view.band.high = high;
    for (GraphForm form : {GraphForm::Summary, GraphForm::Scale, GraphForm::Frame}) {
        QImage image = NewGraphImage();
        image.fill(Qt::yellow);  // the redraw must clear whatever was there
        DrawGraph(image, state, view, form);
        const std::set<int> expected = {2 * low, 2 * high};
        QCOMPARE(ColumnsWith(image, GraphMarkerColour()), expected);
        for (int x : expected) QVERIFY(ColumnIs(image, x, GraphMarkerColour()));
        QCOMPARE(ColumnsWith(image, qRgb(255, 255, 0)), std::set<int>());
        int white = 0;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y) white += At(image, x, y) == 0xffffff;
        QCOMPARE(white, image.width() * image.height() - int(expected.size()) * 200);
    }
}

void GraphTest::curvesInTheirRowsAndColours() {
    AnalysisResults state;
    GraphView view;
    Fill(state.mean, 1000);          // row 100
    Fill(state.largest, 500);        // row 150
    Fill(state.smallest, 1500);      // row 50
    Fill(state.frameProfile, 1800);  // row 20
    struct Case {
        GraphForm form;
        bool frameCurve;
    };
    for (const Case& c : {Case{GraphForm::Summary, false}, Case{GraphForm::Scale, true},
                          Case{GraphForm::Frame, true}}) {
        QImage image = NewGraphImage();
        DrawGraph(image, state, view, c.form);
        for (int x : {0, 11, 49, 101, 254, 255}) {
            if (x == 50 || x == 100) continue;
            QCOMPARE(At(image, x, 100), GraphAverageColour() & 0xffffff);
            QCOMPARE(At(image, x, 150), GraphLargestColour() & 0xffffff);
            QCOMPARE(At(image, x, 50), GraphSmallestColour() & 0xffffff);
            QCOMPARE(At(image, x, 20), c.frameCurve ? (GraphFrameColour() & 0xffffff) : 0xffffffu);
            QCOMPARE(At(image, x, 99), 0xffffffu);
            QCOMPARE(At(image, x, 101), 0xffffffu);
        }
        // The markers are drawn last, over the curves.
        QCOMPARE(At(image, 50, 100), 0u);
        QCOMPARE(At(image, 100, 50), 0u);
    }
}

void GraphTest::laterCurvesLieOnTop_data() {
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("withFrame");
    QTest::addColumn<uint>("top");
    QTest::newRow("summary: smallest last")
        << int(GraphForm::Summary) << true << uint(GraphSmallestColour() & 0xffffff);
    QTest::newRow("scale: smallest last")
        << int(GraphForm::Scale) << true << uint(GraphSmallestColour() & 0xffffff);
    QTest::newRow("frame: the frame last")
        << int(GraphForm::Frame) << true << uint(GraphFrameColour() & 0xffffff);
    QTest::newRow("frame without smallest")
        << int(GraphForm::Frame) << false << uint(GraphFrameColour() & 0xffffff);
    QTest::newRow("summary without smallest")
        << int(GraphForm::Summary) << false << uint(GraphLargestColour() & 0xffffff);
    QTest::newRow("scale without smallest")
        << int(GraphForm::Scale) << false << uint(GraphLargestColour() & 0xffffff);
}

void GraphTest::laterCurvesLieOnTop() {
    QFETCH(int, form);
    QFETCH(bool, withFrame);
    QFETCH(uint, top);
    AnalysisResults state;
    GraphView view;
    Fill(state.mean, 700);
    Fill(state.largest, 700);
    Fill(state.smallest, withFrame ? 700 : 0);
    Fill(state.frameProfile, 700);
    QImage image = NewGraphImage();
    DrawGraph(image, state, view, GraphForm(form));
    QCOMPARE(uint(At(image, 10, 130)), top);
}

void GraphTest::segmentsJoinNeighbouringBins() {
    AnalysisResults state;
    GraphView view;
    view.band.low = 100;
    view.band.high = 110;
    state.mean[10] = 1000;  // a spike at x = 20, row 100
    QImage image = NewGraphImage();
    DrawGraph(image, state, view, GraphForm::Summary);
    const QRgb green = GraphAverageColour() & 0xffffff;
    QCOMPARE(At(image, 20, 100), green);
    // The segments from (18, 200) and to (22, 200) climb through every row of columns 18..22.
    for (int y = 101; y < 200; ++y) {
        bool left = false, right = false;
        for (int x = 18; x <= 20; ++x) left |= At(image, x, y) == green;
        for (int x = 20; x <= 22; ++x) right |= At(image, x, y) == green;
        QVERIFY2(left && right, qPrintable(QString("row %1").arg(y)));
    }
    const std::set<int> columns = ColumnsWith(image, green);
    QVERIFY(*columns.begin() == 18 && *columns.rbegin() <= 22);
    for (int y = 0; y < 100; ++y) QCOMPARE(At(image, 20, y), 0xffffffu);
}

void GraphTest::hugeValuesStayOffTheSurface_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("crossesTop");
    QTest::newRow("1e300") << 1e300 << true;
    QTest::newRow("beyond int range") << 1e12 << true;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << true;
    QTest::newRow("minus 1e300") << -1e300 << false;
    QTest::newRow("no number") << std::nan("") << false;
}

void GraphTest::hugeValuesStayOffTheSurface() {
    QFETCH(double, value);
    QFETCH(bool, crossesTop);
    AnalysisResults state;
    GraphView view;
    view.scale = 51.2;
    view.band.low = 100;
    view.band.high = 110;
    Fill(state.largest, 1.0);  // row 148
    state.largest[40] = value;
    QImage image = NewGraphImage();
    DrawGraph(image, state, view, GraphForm::Summary);
    const QRgb red = GraphLargestColour() & 0xffffff;
    // Away from bin 40 the curve lies in its row; nothing wraps round elsewhere.
    for (int x = 0; x < 256; ++x) {
        if (x >= 78 && x <= 82) continue;
        for (int y = 0; y < 200; ++y) {
            const bool expectRed = y == 148 && x != 200 && x != 220;
            QCOMPARE(At(image, x, y) == red, expectRed);
        }
    }
    // A value far above runs off the top edge near x = 80.
    bool top = false;
    for (int x = 78; x <= 82; ++x) top |= At(image, x, 0) == red;
    QCOMPARE(top, crossesTop);
}

void GraphTest::scaleStopsAtItsLimits() {
    AnalysisResults state;
    GraphView view;
    for (int i = 0; i < 9; ++i) QVERIFY(EnlargeGraph(view));
    QCOMPARE(view.scale, 51.2);
    QVERIFY(!EnlargeGraph(view));
    QCOMPARE(view.scale, 51.2);
    for (int i = 0; i < 12; ++i) QVERIFY(ShrinkGraph(view));
    QCOMPARE(view.scale, 0.0125);
    QVERIFY(!ShrinkGraph(view));
    QCOMPARE(view.scale, 0.0125);
}

void GraphTest::pressesSetTheBand_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("left at 101") << int(Qt::LeftButton) << 101 << true << 50 << 50;
    QTest::newRow("right at 0") << int(Qt::RightButton) << 0 << true << 25 << 0;
    QTest::newRow("right at 20, crossed") << int(Qt::RightButton) << 20 << true << 25 << 10;
    QTest::newRow("left at the last column") << int(Qt::LeftButton) << 255 << true << 127 << 50;
    QTest::newRow("middle does nothing") << int(Qt::MiddleButton) << 30 << false << 25 << 50;
    QTest::newRow("left beyond the edge") << int(Qt::LeftButton) << 300 << true << 127 << 50;
    QTest::newRow("left before the edge") << int(Qt::LeftButton) << -5 << true << 0 << 50;
}

void GraphTest::pressesSetTheBand() {
    QFETCH(int, button);
    QFETCH(int, x);
    QFETCH(bool, handled);
    QFETCH(int, low);
    QFETCH(int, high);
    AnalysisResults state;
    GraphView view;
    QCOMPARE(ApplyGraphPress(view, Qt::MouseButton(button), x), handled);
    QCOMPARE(view.band.low, low);
    QCOMPARE(view.band.high, high);
}

void GraphTest::fittingScale_data() {
    QTest::addColumn<int>("curve");  // 0 mean, 1 largest, 2 smallest
    QTest::addColumn<int>("bin");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("fromBin");
    QTest::addColumn<double>("scale");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("nothing drawn: the largest") << 0 << 40 << 0.0 << 25 << 51.2;
    QTest::newRow("exactly the top counts as inside") << 1 << 40 << 125.0 << 25 << 1.6;
    QTest::newRow("just above the top") << 1 << 40 << 125.5 << 25 << 0.8;
    QTest::newRow("the smallest curve counts") << 2 << 127 << 2000.0 << 25 << 0.1;
    QTest::newRow("left of the marker ignored") << 0 << 24 << 1e9 << 25 << 51.2;
    QTest::newRow("at the marker counted") << 0 << 25 << 16000.0 << 25 << 0.0125;
    QTest::newRow("beyond the right edge ignored") << 0 << 128 << 1e9 << 25 << 51.2;
    QTest::newRow("none fits: the smallest") << 1 << 60 << 1e9 << 25 << 0.0125;
    QTest::newRow("infinite: the smallest") << 1 << 60 << inf << 25 << 0.0125;
    QTest::newRow("no number is never drawn") << 1 << 60 << std::nan("") << 25 << 51.2;
    QTest::newRow("negative lies below") << 0 << 60 << -1e9 << 25 << 51.2;
    QTest::newRow("marker beyond the edge") << 0 << 127 << 3.0 << 300 << 51.2;
}

void GraphTest::fittingScale() {
    QFETCH(int, curve);
    QFETCH(int, bin);
    QFETCH(double, value);
    QFETCH(int, fromBin);
    QFETCH(double, scale);
    AnalysisResults state;
    double* curves[3] = {state.mean, state.largest, state.smallest};
    for (double* c : curves) Fill(c, 1.0);  // fits at every scale of the ladder
    curves[curve][bin] = value;
    QCOMPARE(FittingGraphScale(state, fromBin), scale);
}

void GraphTest::markerLabelPlace_data() {
    QTest::addColumn<int>("marker");
    QTest::addColumn<int>("other");
    QTest::addColumn<int>("left");
    QTest::newRow("right of the marker") << 50 << 100 << 52;
    QTest::newRow("other marker to the left") << 100 << 50 << 102;
    QTest::newRow("other marker in the way") << 50 << 60 << 38;
    QTest::newRow("other marker just clear") << 50 << 65 << 52;
    QTest::newRow("at the right edge") << 254 << 0 << 242;
    QTest::newRow("crowded at the left edge") << 4 << 10 << 0;
}

void GraphTest::markerLabelPlace() {
    QFETCH(int, marker);
    QFETCH(int, other);
    QFETCH(int, left);
    QCOMPARE(MarkerLabelLeft(marker, other, 10), left);
}

QTEST_GUILESS_MAIN(GraphTest)
#include "selector_graph_test.moc"
