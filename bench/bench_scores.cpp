// The scores window with 4000 and 100,000 synthetic frames: how long a new set of scores
// takes to reach the plots and the table, and a repaint, a sort and a click after it.
// Runs offscreen unless a platform is set: bench_scores [--shot FILE.png]

#include "scores_plot.h"
#include "scores_table.h"
#include "scores_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

// A capture whose seeing drifts slowly, with frame-to-frame scatter; the best 25 % pass.
ScoresData Synthetic(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 1);
    ScoresData data;
    for (int k = 0; k < count; ++k) {
        data.files.push_back({"/data/capture/frame_" + std::to_string(k + 1) + ".fit", 0});
        const double t = double(k) / count;
        data.scores.push_back(std::round(50000 + 12000 * std::sin(6.3 * t) + 6000 * noise(random)));
    }
    std::vector<double> sorted = data.scores;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    data.cut = std::max(1, count / 4);
    data.threshold = sorted[std::size_t(data.cut) - 1];
    for (double s : data.scores) data.passed.push_back(s >= data.threshold);
    return data;
}

double Milliseconds(QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e6; }

// The window's controls are its own; the benchmark finds them by name, as the tests do.
template <class T>
T* Named(const QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control) {
        std::fprintf(stderr, "bench_scores: the scores window has no %s\n", name);
        std::exit(2);
    }
    return control;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString shot = argc > 2 && QString(argv[1]) == "--shot" ? argv[2] : QString();
    ScoresWindow window;
    auto* table = Named<QTableView>(window, "scoresTable");
    auto* listPlot = Named<ScoresPlot>(window, "listPlot");
    auto* rankPlot = Named<ScoresPlot>(window, "rankPlot");
    window.show();
    app.processEvents();
    std::printf("%8s %12s %16s %10s %12s %10s\n", "frames", "setData ms", "setData+paint ms",
                "repaint ms", "sort score ms", "click ms");
    std::printf("  (then the dots drawn on the list plot and the rank plot)\n");
    for (int count : {4000, 100000}) {
        for (int run = 0; run < 3; ++run) {
            const ScoresData data = Synthetic(count, unsigned(run + 1));
            QElapsedTimer timer;
            timer.start();
            window.setData(data);
            const double set = Milliseconds(timer);
            window.grab();  // paints both plots and the table's visible rows
            const double painted = Milliseconds(timer);
            timer.restart();
            window.grab();
            const double repaint = Milliseconds(timer);
            timer.restart();
            table->sortByColumn(ScoresTableModel::Score, Qt::DescendingOrder);
            const double sort = Milliseconds(timer);
            table->sortByColumn(ScoresTableModel::Position, Qt::AscendingOrder);
            timer.restart();
            const int k = listPlot->frameAt(listPlot->positionOf(count / 2));
            const double click = Milliseconds(timer);
            std::printf("%8d %12.1f %16.1f %10.1f %12.1f %10.3f %6d %6d%s\n", count, set, painted,
                        repaint, sort, click, listPlot->shownPoints(), rankPlot->shownPoints(),
                        k < 0 ? " (no frame found)" : "");
        }
    }
    if (!shot.isEmpty()) {
        window.setData(Synthetic(4000, 1));
        window.grab().save(shot);
    }
    return 0;
}
