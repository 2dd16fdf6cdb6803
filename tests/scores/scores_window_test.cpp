#include "frame_flags.h"
#include "language.h"
#include "scores_plot.h"
#include "scores_table.h"
#include "scores_window.h"
#include "score_csv.h"
#include "mounted_tmpfs.h"
#include "named_control.h"
#include "scratch_preferences.h"
#include "temp_dir.h"
#include "save_through.h"
#include "user_dialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QValueAxis>

#include <sys/mount.h>
#include <unistd.h>

#include <deque>
#include <cmath>
#include <filesystem>
#include <numeric>

using namespace framesifter;

namespace {

class SaveDialogs : public UserDialogs {
public:
    std::deque<SaveChoice> saves;
    QStringList errors;
    SaveDialogs() { SetDialogs(this); }
    ~SaveDialogs() override { SetDialogs(nullptr); }
    OpenChoice getOpenFiles(QWidget*, const QString&, const QStringList&, int,
                            const QString&) override {
        return {};
    }
    SaveChoice getSaveFile(QWidget*, const QString&, const QStringList&, int,
                           const QString&) override {
        if (saves.empty()) return {};
        SaveChoice c = saves.front();
        saves.pop_front();
        return c;
    }
    void showMessage(QWidget*, const QString&) override {}
    void showError(QWidget*, const QString& text) override { errors << text; }
    bool askYesNo(QWidget*, const QString&, bool) override { return false; }
};

// Twelve frames whose scores sort differently as numbers and as text.
ScoresData Twelve() {
    ScoresData d;
    const double scores[] = {9, 100, 20, 3, 100, 55, 7, 1000, 2, 30, 8, 100};
    for (int k = 0; k < 12; ++k) {
        d.files.push_back({"/c/f" + std::to_string(k + 1) + (k == 4 ? ",x\".fit" : ".fit"), 0});
        d.scores.push_back(scores[k]);
        d.passed.push_back(scores[k] >= 55);
    }
    d.threshold = 55;
    d.cut = 5;
    return d;
}

// A session whose run scores each frame exactly `scores[k]` over the default band, selected at
// level 5.
void Follow(SelectionSession& session, const std::vector<std::string>& files,
            const std::vector<double>& scores, const std::vector<std::uint8_t>& flags) {
    AnalysisResults run;
    std::string error;
    QVERIFY(CreateAnalysisResults(run, int(files.size()), error));
    std::vector<SelectionSession::Entry> entries;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const QString path = QString::fromStdString(files[k]);
        entries.push_back({path, {files[k], 0}});
        run.files.push_back(entries.back().frame);
        run.exactColumns[int(k)][std::size_t(Band().low)] = scores[k];
    }
    run.flags = flags;
    session.setEntries(entries);
    session.takeRun(run);
    QCOMPARE(session.select(PassRule{}), SelectionSession::SelectOutcome::Selected);
}

QTableView* Table(const ScoresWindow& w) { return Control<QTableView>(w, "scoresTable"); }
ScoresTableModel* Model(const ScoresWindow& w) {
    return qobject_cast<ScoresTableModel*>(Table(w)->model());
}

QString Slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<missing>");
}

}  // namespace

class ScoresWindowTest : public QObject {
    Q_OBJECT
private slots:
    void tableSortsNumbersAsNumbers();
    void tableShowsScoresOfAnySizeAsTheExportDoes();
    void clicksOnPointsReportTheFrame();
    void frameAxisLabelsNameWholeFrames();
    void ruleGroupEmitsTheChosenRule();
    void exportWritesThroughTheDialogs();
    void aFailedWriteLeavesTheOldFile();
};

void ScoresWindowTest::tableSortsNumbersAsNumbers() {
    ScoresWindow w;
    w.setData(Twelve());
    const struct {
        int column;
        Qt::SortOrder order;
        std::vector<int> firstFiles;  // 0-based list indices of the first rows
    } cases[] = {
        {ScoresTableModel::Score, Qt::AscendingOrder, {8, 3, 6, 10, 0, 2}},
        {ScoresTableModel::Score, Qt::DescendingOrder, {7, 1, 4, 11, 5}},
        {ScoresTableModel::Rank, Qt::AscendingOrder, {7, 1, 4, 11, 5, 9}},
        {ScoresTableModel::Position, Qt::DescendingOrder, {11, 10, 9}},
        {ScoresTableModel::Passed, Qt::DescendingOrder, {1, 4, 5, 7, 11, 0}},
        {ScoresTableModel::File, Qt::AscendingOrder, {0, 1, 2, 3, 4, 5}},
        {ScoresTableModel::File, Qt::DescendingOrder, {11, 10, 9, 8}},
    };
    for (const auto& c : cases) {
        Table(w)->sortByColumn(c.column, c.order);
        for (std::size_t r = 0; r < c.firstFiles.size(); ++r)
            QCOMPARE(Model(w)->fileAt(int(r)), c.firstFiles[r]);
    }
    // Shown from 1: the frame listed first is number 1, the best is rank 1.
    Table(w)->sortByColumn(ScoresTableModel::Position, Qt::AscendingOrder);
    QCOMPARE(Model(w)->index(0, ScoresTableModel::Position).data().toInt(), 1);
    QCOMPARE(Model(w)->index(7, ScoresTableModel::Rank).data().toInt(), 1);
    QCOMPARE(Model(w)->index(4, ScoresTableModel::File).data().toString(), QString("f5,x\".fit"));
}

void ScoresWindowTest::tableShowsScoresOfAnySizeAsTheExportDoes() {
    // Frames of floating-point values score fractions, or more than a long long holds.
    ScoresData d;
    d.scores = {1e19, 0.25, 1.7e308, 3, 1e-300, 0.1 + 0.2};
    for (std::size_t k = 0; k < d.scores.size(); ++k) {
        d.files.push_back({"/c/f" + std::to_string(k) + ".fit", 0});
        d.passed.push_back(0);
    }
    ScoresWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setData(d);
    Table(w)->sortByColumn(ScoresTableModel::Position, Qt::AscendingOrder);
    // At the window's first size, the wider column leaves every column in view, whichever
    // language sets the captions' widths.
    for (Language language : {Language::English, Language::Japanese}) {
        std::string error;
        QVERIFY2(SetLanguage(language, error), error.c_str());
        QCoreApplication::processEvents();
        QVERIFY(Table(w)->horizontalHeader()->length() <= Table(w)->viewport()->width());
    }
    const QStringList rows =
        QString::fromStdString(framesifter::ScoresCsv(d.files, d.scores, d.passed)).split('\n');
    for (int k = 0; k < int(d.scores.size()); ++k) {
        const QString shown = Model(w)->index(k, ScoresTableModel::Score).data().toString();
        QCOMPARE(shown.toDouble(), rows[k + 1].section(',', 1, 1).toDouble());
        QVERIFY2(shown.size() <= 24, qPrintable(shown));  // readable, and in its column:
        QVERIFY(Table(w)->columnWidth(ScoresTableModel::Score) >
                Table(w)->fontMetrics().horizontalAdvance(shown));
    }
}

void ScoresWindowTest::clicksOnPointsReportTheFrame() {
    ScoresWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setData(Twelve());
    QCoreApplication::processEvents();
    QSignalSpy clicked(&w, &ScoresWindow::frameClicked);
    QSignalSpy opened(&w, &ScoresWindow::frameOpened);
    for (ScoresPlot* plot :
         {Control<ScoresPlot>(w, "listPlot"), Control<ScoresPlot>(w, "rankPlot")}) {
        for (int k : {0, 3, 7, 11}) {
            clicked.clear();
            opened.clear();
            QTest::mouseClick(plot->viewport(), Qt::LeftButton, {}, plot->positionOf(k));
            QCOMPARE(clicked.count(), 1);
            QCOMPARE(clicked[0][0].toInt(), k);
            QTest::mouseDClick(plot->viewport(), Qt::LeftButton, {}, plot->positionOf(k));
            QCOMPARE(opened.count(), 1);
            QCOMPARE(opened[0][0].toInt(), k);
        }
    }
    // Far from every point: nothing.
    clicked.clear();
    ScoresPlot* listPlot = Control<ScoresPlot>(w, "listPlot");
    const QPoint empty = listPlot->positionOf(7) + QPoint(0, 40);
    QTest::mouseClick(listPlot->viewport(), Qt::LeftButton, {}, empty);
    QCOMPARE(clicked.count(), 0);
}

void ScoresWindowTest::frameAxisLabelsNameWholeFrames() {
    // Labels print whole numbers: a tick between two frames would name the wrong one. One
    // plot, its frames growing and shrinking.
    ScoresPlot plot;
    for (int frames : {3, 100000, 1, 4000, 0, 12, 30, 100}) {
        std::vector<int> x(static_cast<std::size_t>(frames));
        std::iota(x.begin(), x.end(), 1);
        plot.setPoints(x, std::vector<double>(x.size(), 1.5), {}, 1, false);
        auto* axis = qobject_cast<QValueAxis*>(plot.chart()->axes(Qt::Horizontal).first());
        std::vector<double> ticks;
        if (axis->tickType() == QValueAxis::TicksFixed) {
            for (int i = 0; i < axis->tickCount(); ++i)
                ticks.push_back(axis->min() +
                                i * (axis->max() - axis->min()) / (axis->tickCount() - 1));
        } else {
            const double step = axis->tickInterval();
            QVERIFY(step > 0);
            for (double t = axis->tickAnchor() +
                            std::ceil((axis->min() - axis->tickAnchor()) / step) * step;
                 t <= axis->max(); t += step)
                ticks.push_back(t);
        }
        QVERIFY2(!ticks.empty() && ticks.size() <= 10, qPrintable(QString::number(frames)));
        for (double t : ticks) QVERIFY2(t == std::round(t), qPrintable(QString::number(frames)));
    }
}

void ScoresWindowTest::ruleGroupEmitsTheChosenRule() {
    ScoresWindow w;
    w.setData(Twelve());
    QSignalSpy applied(&w, &ScoresWindow::ruleApplied);
    QPushButton* apply = Control<QPushButton>(w, "applyRuleButton");
    const struct {
        const char* button;
        const char* text;
        bool enabled;
        PassRule::Kind kind;
        long long value;  // best, or the percent's scaled digits
    } cases[] = {
        {"levelRuleButton", "abc", true, PassRule::Kind::Level, 0},
        {"bestRuleButton", "25", true, PassRule::Kind::Best, 25},
        {"bestRuleButton", "0", false, PassRule::Kind::Best, 0},
        {"bestRuleButton", "2.5", false, PassRule::Kind::Best, 0},
        {"percentRuleButton", "0.1", true, PassRule::Kind::BestPercent, 1},
        {"percentRuleButton", "0,5", true, PassRule::Kind::BestPercent, 5},  // a decimal comma
        {"percentRuleButton", "100.5", false, PassRule::Kind::BestPercent, 0},
        {"percentRuleButton", "x", false, PassRule::Kind::BestPercent, 0},
    };
    for (const auto& c : cases) {
        Control<QRadioButton>(w, c.button)->click();
        Control<QLineEdit>(w, "ruleNumber")->setText(QString::fromLatin1(c.text));
        QCOMPARE(apply->isEnabled(), c.enabled);
        // A greyed 適用 is explained, and only then.
        QLabel* problem = Control<QLabel>(w, "ruleProblem");
        QCOMPARE(problem->isVisibleTo(&w), !c.enabled);
        if (!c.enabled) QVERIFY(!problem->text().isEmpty());
        if (!c.enabled) continue;
        applied.clear();
        apply->click();
        QCOMPARE(applied.count(), 1);
        const auto rule = applied[0][0].value<PassRule>();
        QCOMPARE(int(rule.kind), int(c.kind));
        if (c.kind == PassRule::Kind::Best) QCOMPARE(rule.best, int(c.value));
        if (c.kind == PassRule::Kind::BestPercent)
            QCOMPARE((long long)rule.percent.scaled, c.value);
    }
}

void ScoresWindowTest::exportWritesThroughTheDialogs() {
    TempDir dir;
    SaveDialogs dialogs;
    ScoresWindow w;
    SelectionSession session;
    Follow(session, {"/c/a.fit", "/c/b,c.fit", "/c/d.fit"}, {12.7, 40, 40},
           {0, kFlagSaturated | kFlagDuplicate, 0});
    w.follow(&session);
    QCOMPARE(w.data().passed, (std::vector<char>{0, 1, 1}));
    const QString target = QString::fromStdString(dir.file("scores.csv"));
    // Flagged frames keep their rows; left out, they lose their rank and the others close up.
    const struct {
        bool exclude;
        const char* csv;
        const char* flagsShown;
        const char* rankShown;
    } cases[] = {
        {false,
         "file,score,passed,rank,flags\n/c/a.fit,12.7,0,3,\n\"/c/b,c.fit\",40,1,1,saturated;"
         "duplicate\n/c/d.fit,40,1,2,\n",
         "飽和 重複", "1"},
        {true,
         "file,score,passed,rank,flags\n/c/a.fit,12.7,0,2,\n\"/c/b,c.fit\",40,1,,saturated;"
         "duplicate\n/c/d.fit,40,1,1,\n",
         "飽和 重複", ""},
    };
    for (const auto& c : cases) {
        Control<QCheckBox>(w, "excludeFlaggedBox")->setChecked(c.exclude);
        QCOMPARE(session.excludeFlagged(), c.exclude);
        QCOMPARE(int(w.data().unranked.size()), c.exclude ? 1 : 0);
        QCOMPARE(Control<ScoresPlot>(w, "rankPlot")->shownPoints() <= (c.exclude ? 2 : 3), true);
        QFile::remove(target);
        dialogs.saves.push_back({true, target, 0});
        Control<QPushButton>(w, "exportCsvButton")->click();
        QCOMPARE(Slurp(target), QString::fromUtf8(c.csv));
        const QModelIndex flags = Model(w)->index(1, ScoresTableModel::Flags);
        QCOMPARE(flags.data().toString(), QString::fromUtf8(c.flagsShown));
        QCOMPARE(Model(w)->index(1, ScoresTableModel::Rank).data().toString(),
                 QString::fromUtf8(c.rankShown));
    }
    QCOMPARE(
        Model(w)->headerData(ScoresTableModel::Flags, Qt::Horizontal, Qt::DisplayRole).toString(),
        QString::fromUtf8("注意"));
    QVERIFY(dialogs.errors.isEmpty());

    // Cancelled: nothing written; into a missing folder: an error and no file.
    QFile::remove(target);
    dialogs.saves.push_back({});
    Control<QPushButton>(w, "exportCsvButton")->click();
    QVERIFY(!QFile::exists(target));
    const QString nowhere = QString::fromStdString(dir.file("missing/scores.csv"));
    dialogs.saves.push_back({true, nowhere, 0});
    Control<QPushButton>(w, "exportCsvButton")->click();
    QCOMPARE(dialogs.errors.size(), 1);
    QVERIFY(dialogs.errors[0].contains(nowhere));
    QVERIFY(!QFile::exists(nowhere));
}

void ScoresWindowTest::aFailedWriteLeavesTheOldFile() {
    TempDir dir;
    const std::string mountPoint = dir.file("small");
    MountedTmpfs small(mountPoint, "size=64k");
    if (!small.mounted()) QSKIP("mounting a small file system needs root");
    const QString target = QString::fromStdString(mountPoint + "/scores.csv");
    std::string error;
    QVERIFY(SaveWholeFile(target, "old contents\n", error));
    QVERIFY(!SaveWholeFile(target, QByteArray(512 * 1024, 'x'), error));
    QVERIFY(!error.empty());
    QCOMPARE(Slurp(target), QString("old contents\n"));
    QCOMPARE(std::distance(std::filesystem::directory_iterator(mountPoint),
                           std::filesystem::directory_iterator()),
             1);  // no temporary file left behind
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScratchPreferences preferences;  // the export keeps its folder
    ScoresWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scores_window_test.moc"
