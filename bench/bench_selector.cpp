// The selector window's FFT run against the same run without a window: the files are opened
// through the open button, FFT is clicked, and the time runs until the window is idle again
// with the graph and the scores window drawn from the result. The yardstick is what
// `framesifter-cli select` does for the same list (the signature pass and RunBatch, one
// thread per processor for both), called in this process with a warm page cache; `--cli PATH` times
// the command itself too. Runs alternate between the two; medians are printed.
//
//   bench_selector [--runs R] [--no-scores] [--seen] [--cli PATH] FILE...
//
// A SER video given as one FILE is expanded to its frames, as the window does. Runs offscreen
// unless a platform is set. Also counts what the GUI thread did during each window run: the
// progress bar's value changes and the paint events of the selector and scores windows.
// `--seen` also times how late the window sees the run's end, through a frame-read hook; a
// hook makes the run hand every frame over on its own, so the other figures then suffer.

#include "batch_run.h"
#include "frame_flags.h"
#include "frame_formats.h"
#include "frame_ref.h"
#include "frame_signature.h"
#include "large_buffers.h"
#include "scores_window.h"
#include "selector_window.h"
#include "user_dialogs.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace framesifter;

namespace {

// The open dialog returns the given files; every question is answered yes.
class BenchDialogs : public UserDialogs {
public:
    QStringList files;
    OpenChoice getOpenFiles(QWidget*, const QString&, const QStringList&, int,
                            const QString&) override {
        OpenChoice c;
        c.accepted = true;
        c.files = files;
        return c;
    }
    SaveChoice getSaveFile(QWidget*, const QString&, const QStringList&, int,
                           const QString&) override {
        return {};
    }
    void showMessage(QWidget*, const QString& text) override {
        std::fprintf(stderr, "bench_selector: message: %s\n", qPrintable(text));
    }
    void showError(QWidget*, const QString& text) override {
        std::fprintf(stderr, "bench_selector: error: %s\n", qPrintable(text));
    }
    bool askYesNo(QWidget*, const QString&, bool) override { return true; }
};

// Counts paint events of a window and its children, and a progress bar's changes.
class Counter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    void watch(QWidget* top) {
        top->installEventFilter(this);
        for (QWidget* w : top->findChildren<QWidget*>()) w->installEventFilter(this);
    }
};

template <class T>
T* Named(const QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control) {
        std::fprintf(stderr, "bench_selector: the selector window has no %s\n", name);
        std::exit(2);
    }
    return control;
}

// Processor time in ms of the whole process or of the calling thread.
double CpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct WindowRun {
    double idle = 0;  // ms from the click to the event loop idle again
    double cpu = 0;   // ms of processor time, all threads
    double gui = 0;   // ms of processor time of the GUI thread
    // The GUI thread's part: the click itself (before the run's thread starts), the run's
    // end (from the poll that sees it to idle, wall ms), and what is between (processor ms).
    double click = 0;
    double end = 0;
    double between = 0;
    double seen = 0;  // wall ms from the last frame's read to the poll that sees the end
    int bar = 0;      // progress bar value changes
    int paints = 0;
};

WindowRun TimeWindowRun(SelectorWindow& selector, Counter& counter, bool seen) {
    auto* fft = Named<QPushButton>(selector, "fftButton");
    auto* bar = Named<QProgressBar>(selector, "progressBar");
    QApplication::processEvents();
    WindowRun run;
    QEventLoop loop;
    QElapsedTimer timer;
    bool ended = false;
    double endWall = 0, endGui = 0;  // when the bar went back to 0
    const auto finished =
        QObject::connect(&selector, &SelectorWindow::workFinished, [&] { ended = true; });
    // The loop is about to wait for events: everything the run's end caused has been done.
    const auto idle = QObject::connect(QAbstractEventDispatcher::instance(),
                                       &QAbstractEventDispatcher::aboutToBlock, [&] {
                                           if (!ended || run.idle > 0) return;
                                           run.idle = double(timer.nsecsElapsed()) / 1e6;
                                           loop.quit();
                                       });
    const auto changes = QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        ++run.bar;
        if (value == 0 && endWall == 0) {
            endWall = double(timer.nsecsElapsed()) / 1e6;
            endGui = CpuMs(RUSAGE_THREAD);
        }
    });
    // The hook runs on the reading threads before each read; the last frame's is kept.
    std::atomic<qint64> lastRead{0};
    const int last = int(selector.session().frames().size()) - 1;
    if (seen)
        selector.setFrameReadHook([&lastRead, &timer, last](int index) {
            if (index == last) lastRead = timer.nsecsElapsed();
        });
    counter.paints = 0;
    const double cpu = CpuMs(RUSAGE_SELF), gui = CpuMs(RUSAGE_THREAD);
    timer.start();
    fft->click();
    const double clicked = CpuMs(RUSAGE_THREAD);
    loop.exec();
    run.cpu = CpuMs(RUSAGE_SELF) - cpu;
    run.gui = CpuMs(RUSAGE_THREAD) - gui;
    run.click = clicked - gui;
    run.end = endWall > 0 ? run.idle - endWall : 0;
    run.between = endWall > 0 ? endGui - clicked : 0;
    run.seen = endWall > 0 && lastRead > 0 ? endWall - double(lastRead) / 1e6 : 0;
    selector.setFrameReadHook({});
    run.paints = counter.paints;
    QObject::disconnect(finished);
    QObject::disconnect(idle);
    QObject::disconnect(changes);
    if (selector.session().results().files.size() != selector.session().frames().size()) {
        std::fprintf(stderr, "bench_selector: the window's run did not complete\n");
        std::exit(1);
    }
    return run;
}

struct DirectRun {
    double wall = 0;
    double cpu = 0;
};

// What the command-line tool does before its output: the signatures, then the run.
DirectRun TimeDirectRun(const std::vector<FrameRef>& frames, WindowMode mode) {
    const double cpu = CpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    std::vector<EntrySignature> signatures;
    (void)ReadSignatures(frames, signatures, {});
    const MixedFrames odd = FindOddFrames(signatures);
    AnalysisResults results;
    std::string error;
    if (!CreateAnalysisResults(results, int(frames.size()), error)) {
        std::fprintf(stderr, "bench_selector: %s\n", error.c_str());
        std::exit(1);
    }
    const BatchResult run = RunBatch(results, frames, mode, nullptr);
    if (run.status != BatchStatus::Completed) {
        std::fprintf(stderr, "bench_selector: the direct run did not complete\n");
        std::exit(1);
    }
    MarkOddFrames(results.flags, odd);
    return {double(timer.nsecsElapsed()) / 1e6, CpuMs(RUSAGE_SELF) - cpu};
}

double TimeCli(const QString& cli, const QStringList& files) {
    QStringList args = QStringList{QStringLiteral("select")} + files;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(cli, args);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "bench_selector: %s failed\n", qPrintable(cli));
        std::exit(1);
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    // As the program and the command-line tool set it.
    ReturnLargeBuffersToTheSystem();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps its band and place in the preferences: never the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    int runs = 5;
    bool scores = true, seen = false;
    QString cli;
    BenchDialogs dialogs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--no-scores")
            scores = false;
        else if (a == "--seen")
            seen = true;
        else if (a == "--cli" && i + 1 < argc)
            cli = QString::fromLocal8Bit(argv[++i]);
        else
            dialogs.files << QString::fromLocal8Bit(argv[i]);
    }
    if (dialogs.files.isEmpty()) {
        std::fprintf(stderr,
                     "usage: bench_selector [--runs R] [--no-scores] [--seen] [--cli PATH] "
                     "FILE...\n");
        return 2;
    }
    SetDialogs(&dialogs);
    SelectorWindow selector;
    selector.showSelector();
    if (scores) selector.showScores();
    Named<QPushButton>(selector, "openButton")->click();
    const std::vector<FrameRef> frames = selector.session().frames();
    if (frames.empty()) return 1;
    Counter counter;
    counter.watch(&selector);
    counter.watch(selector.scoresWindow());

    std::printf("%zu frames, scores window %s\n", frames.size(), scores ? "shown" : "hidden");
    std::printf(
        "window: click to idle (wall ms); direct: signatures and RunBatch (wall ms);\n"
        "cpu: processor ms of each; gui: the GUI thread's processor ms, of which click\n"
        "and between (the looks); seen (--seen): wall ms from the last frame's read to the look\n"
        "that sees the end; end: from that look to idle\n");
    std::printf("%6s %9s %9s %6s %9s %9s %6s %7s %7s %7s %7s %7s %5s %6s\n", "run", "window",
                "direct", "ratio", "cpu win", "cpu dir", "ratio", "gui", "click", "between", "seen",
                "end", "bar", "paints");
    std::vector<double> window, direct, windowCpu, directCpu, gui, command;
    for (int r = 0; r < runs; ++r) {
        const WindowRun w = TimeWindowRun(selector, counter, seen);
        const DirectRun d = TimeDirectRun(frames, selector.session().mode());
        window.push_back(w.idle);
        direct.push_back(d.wall);
        windowCpu.push_back(w.cpu);
        directCpu.push_back(d.cpu);
        gui.push_back(w.gui);
        std::printf(
            "%6d %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f %7.1f %7.1f %7.1f %7.1f %7.1f %5d %6d\n",
            r + 1, w.idle, d.wall, w.idle / d.wall, w.cpu, d.cpu, w.cpu / d.cpu, w.gui, w.click,
            w.between, w.seen, w.end, w.bar, w.paints);
        if (!cli.isEmpty()) command.push_back(TimeCli(cli, dialogs.files));
    }
    std::printf("median %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f %7.1f\n", Median(window),
                Median(direct), Median(window) / Median(direct), Median(windowCpu),
                Median(directCpu), Median(windowCpu) / Median(directCpu), Median(gui));
    if (!cli.isEmpty())
        std::printf("framesifter-cli select: median %.1f ms; window / cli %.2f\n", Median(command),
                    Median(window) / Median(command));
    SetDialogs(nullptr);
    return 0;
}
