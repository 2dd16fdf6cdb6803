// The score chosen in the scores window, over frames of floating-point values: every view
// of the selection and every command on it follow the one choice.

#include "demo_frames.h"
#include "fits_library_writer.h"
#include "frame_scores.h"
#include "named_control.h"
#include "scratch_preferences.h"
#include "score_csv.h"
#include "scores_plot.h"
#include "scores_table.h"
#include "scores_window.h"
#include "selector_fixtures.h"
#include "selector_window.h"
#include "temp_dir.h"
#include "up_down_spinner.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>

namespace {

// Cloud dims some frames: the band score follows their light, the normalised one their detail,
// so the two rank them differently.
const double kTransparency[] = {1.0, 0.45, 0.8, 0.3, 0.95, 0.6, 0.85, 0.4};
constexpr int kFrames = 8;

// Demo frames as a camera writing floating-point FITS scaled 0..1 leaves them.
QStringList WriteFloatFrames(const QString& dir) {
    const DemoScene scene(256, 256, kDemoSeed);
    std::vector<float> intensity;
    Written form;
    form.bitpix = -32;
    QStringList files;
    for (int k = 0; k < kFrames; ++k) {
        scene.renderFrame(k, intensity);
        files << dir + QStringLiteral("/f%1.fit").arg(k);
        const auto value = [&](int x, int y, int) {
            return std::clamp(
                double(intensity[std::size_t(y) * 256 + std::size_t(x)]) * kTransparency[k], 0.0,
                1.0);
        };
        if (!WriteWithLibrary(files.last().toStdString(), form, 256, 256, value)) return {};
    }
    return files;
}

class ExportDialogs : public ScriptedDialogs {
public:
    QString target;
    SaveChoice getSaveFile(QWidget*, const QString&, const QStringList&, int,
                           const QString&) override {
        return {true, target, 0};
    }
};

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

// The names of the frames `passes` picks from `scores`, in list order.
QStringList Passing(const std::vector<double>& scores, const std::function<bool(int)>& passes) {
    QStringList names;
    for (int k = 0; k < int(scores.size()); ++k)
        if (passes(k)) names << QStringLiteral("f%1.fit").arg(k);
    return names;
}

// Each row of a CSV without its header, split into fields (no field here is quoted).
std::vector<QStringList> CsvRows(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    std::vector<QStringList> rows;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i) rows.push_back(lines[i].split(','));
    return rows;
}

}  // namespace

class ScoreChoiceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { preferences_ = std::make_unique<ScratchPreferences>(); }
    void init();
    void cleanup();

    void theChosenScoreDrivesEveryView();

private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ExportDialogs> dialogs_;
    std::unique_ptr<SelectorWindow> selector_;
    std::unique_ptr<ScratchPreferences> preferences_;
};

void ScoreChoiceTest::init() {
    ScratchPreferences::clear();
    dir_ = std::make_unique<TempDir>();
    dialogs_ = std::make_unique<ExportDialogs>();
    selector_ = std::make_unique<SelectorWindow>();
}

void ScoreChoiceTest::cleanup() {
    selector_.reset();
    dialogs_.reset();
    dir_.reset();
}

void ScoreChoiceTest::theChosenScoreDrivesEveryView() {
    const QString d = QString::fromStdString(dir_->path().string());
    const QStringList files = WriteFloatFrames(d);
    QCOMPARE(files.size(), kFrames);
    SelectorWindow& s = *selector_;
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    Control<QPushButton>(s, "fftButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QVERIFY(s.session().resultsMatch());
    ScoresWindow& w = *s.scoresWindow();
    // Values of 0..1 still suggest a band.
    QVERIFY(s.session().suggestion().found);
    QVERIFY(Control<QPushButton>(w, "useSuggestionButton")->isEnabled());
    QVERIFY(!Control<QLabel>(w, "suggestionLabel")->text().endsWith(QStringLiteral("なし")));

    auto* choice = Control<QComboBox>(w, "scoreKindBox");
    auto* table = Control<QTableView>(w, "scoresTable");
    table->sortByColumn(ScoresTableModel::Position, Qt::AscendingOrder);
    dialogs_->target = d + "/scores.csv";
    const struct {
        const char* name;
        bool bySession;  // set on the session, as another window would, else chosen here
        ScoreKind kind;
        int level;
    } cases[] = {
        {"normalised chosen", false, ScoreKind::Normalised, 5},
        {"band chosen again", false, ScoreKind::Band, 7},
        {"normalised set elsewhere", true, ScoreKind::Normalised, 3},
    };
    QStringList bestOfBand, bestOfNormalised;
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        // Passes of the other kind, which the change clears.
        Control<QPushButton>(s, "selectButton")->click();
        QVERIFY2(Control<QListWidget>(s, "passedList")->count() > 0, qPrintable(name));
        auto* spinner = Control<UpDownSpinner>(s, "passLevelSpinner");
        while (spinner->position() != c.level) spinner->step(spinner->position() < c.level);
        if (c.bySession)
            s.session().setScoreKind(c.kind);
        else
            choice->setCurrentIndex(choice->findData(int(c.kind)));
        QCOMPARE(s.session().scoreKind(), c.kind);
        QCOMPARE(choice->currentData().toInt(), int(c.kind));
        QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);

        const std::vector<double> expected =
            FrameScores(s.session().results(), kFrames, s.session().band(), c.kind);
        const auto [low, high] = std::minmax_element(expected.begin(), expected.end());
        const double threshold = ((10 - c.level) * *low + c.level * *high) * 0.1;
        QCOMPARE(s.session().threshold(), threshold);
        QCOMPARE(w.data().threshold, threshold);
        QCOMPARE(Control<ScoresPlot>(w, "listPlot")->scores(), expected);
        std::vector<double> best = expected;
        std::sort(best.begin(), best.end(), std::greater<>());
        // The rank plot holds the same scores, each at its rank.
        std::vector<double> ranked = Control<ScoresPlot>(w, "rankPlot")->scores();
        std::sort(ranked.begin(), ranked.end(), std::greater<>());
        QCOMPARE(ranked, best);

        // The table shows what the export writes, decimals and all.
        Control<QPushButton>(w, "exportCsvButton")->click();
        const std::vector<QStringList> rows = CsvRows(dialogs_->target);
        QCOMPARE(int(rows.size()), kFrames);
        for (int k = 0; k < kFrames; ++k) {
            const QString shown =
                table->model()->index(k, ScoresTableModel::Score).data().toString();
            QCOMPARE(shown, rows[std::size_t(k)][1]);
            QVERIFY2(shown.contains('.'), qPrintable(name + ": " + shown));
            QCOMPARE(shown.toDouble(), expected[std::size_t(k)]);
        }

        Control<QPushButton>(s, "selectButton")->click();
        QCOMPARE(Texts(Control<QListWidget>(s, "passedList")),
                 Passing(expected, [&](int k) { return expected[std::size_t(k)] >= threshold; }));
        Control<QRadioButton>(w, "bestRuleButton")->click();
        Control<QLineEdit>(w, "ruleNumber")->setText("4");
        Control<QPushButton>(w, "applyRuleButton")->click();
        const QStringList best4 =
            Passing(expected, [&](int k) { return expected[std::size_t(k)] >= best[3]; });
        QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), best4);
        (c.kind == ScoreKind::Band ? bestOfBand : bestOfNormalised) = best4;
        Control<QRadioButton>(w, "levelRuleButton")->click();
    }
    // Otherwise a selection by the wrong kind would go unseen.
    QVERIFY(bestOfBand != bestOfNormalised);

    // The last choice is the next window's.
    selector_ = std::make_unique<SelectorWindow>();
    QCOMPARE(selector_->session().scoreKind(), ScoreKind::Normalised);
    auto* next = Control<QComboBox>(*selector_->scoresWindow(), "scoreKindBox");
    QCOMPARE(next->currentData().toInt(), int(ScoreKind::Normalised));
    QCOMPARE(next->currentText(), QStringLiteral("正規化"));
    QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScoreChoiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "score_choice_test.moc"
