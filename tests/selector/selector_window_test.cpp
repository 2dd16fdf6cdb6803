// The selector window driven as a user would, with scripted dialogs and answers.

#include "batch_run.h"
#include "file_move.h"
#include "frame_flags.h"
#include "graph_canvas.h"
#include "mounted_tmpfs.h"
#include "named_control.h"
#include "scratch_preferences.h"
#include "scores_window.h"
#include "screen_centre.h"
#include "selector_fixtures.h"
#include "selector_window.h"
#include "temp_dir.h"
#include "up_down_spinner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QRadioButton>
#include <QStyleHints>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace framesifter;

namespace {

// Band scores grow with the stripes' amplitude: in file order 10, 40, 20, 30.
const int kAmplitudes[4] = {10, 40, 20, 30};

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

bool HasColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) return true;
    return false;
}

// The full paths the list's entries keep beside their names.
QStringList Paths(const QListWidget* list) {
    QStringList paths;
    for (int i = 0; i < list->count(); ++i)
        paths << list->item(i)->data(SelectorWindow::kPathRole).toString();
    return paths;
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Amplitude of the stripes seen in the last analysed profile (bins 29 and 30).
double SeenAmplitude(const AnalysisResults& results) {
    return (results.frameProfile[29] + results.frameProfile[30]) / std::sqrt(2.0);
}

// Frames at or after g_allowed wait before they are read, so that a test holds a run where
// it wants it; g_started counts the frames begun.
std::atomic<int> g_allowed{INT_MAX};
std::atomic<int> g_started{0};

void GatedRead(int index) {
    ++g_started;
    while (index >= g_allowed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Copies across file systems wait after block g_blocksAllowed until it is raised.
std::atomic<int> g_blocksCopied{0};
std::atomic<int> g_blocksAllowed{INT_MAX};

void GatedCopy(std::uint64_t) {
    const int block = ++g_blocksCopied;
    while (block > g_blocksAllowed.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The spinner moved to `level` by arrow clicks, as a user would.
void LevelTo(SelectorWindow& s, int level) {
    auto* spinner = Control<UpDownSpinner>(s, "passLevelSpinner");
    while (spinner->position() < level) spinner->step(true);
    while (spinner->position() > level) spinner->step(false);
}

// The graph's scale moved to `scale` by "+" and "-" presses.
void ScaleTo(SelectorWindow& s, double scale) {
    while (s.graphView().scale > scale) Control<QPushButton>(s, "scaleDownButton")->click();
    while (s.graphView().scale < scale) Control<QPushButton>(s, "scaleUpButton")->click();
}

bool AllWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) != 0xffffffu) return false;
    return true;
}

}  // namespace

class SelectorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { preferences_ = std::make_unique<ScratchPreferences>(); }
    void init();
    void cleanup();

    void layoutMatchesAndNothingIsClipped_data();
    void layoutMatchesAndNothingIsClipped();
    void openDialogMatchesExtensionsInAnyCase();
    void opening_data();
    void opening();
    void openedFilesAreListedInNaturalOrder();
    void aNewListStartsAtItsTop();
    void runAnalysesEveryFrameWithProgress();
    void runStopsAtATooSmallThirdFrame();
    void runStopsAtAnUnreadableFrame();
    void selectionAtSeveralLevels_data();
    void selectionAtSeveralLevels();
    void crossedMarkersPassEveryFrame();
    void flaggedFramesLeftOutOnRequest();
    void selectRefusedOnStaleResults_data();
    void selectRefusedOnStaleResults();
    void spinnerStaysWithinItsRange();
    void graphPressesAndScaleButtons();
    void completedRunFitsTheScaleAndLabelsTheMarkers();
    void listClicksDrawTheFrame();
    void failedClickLeavesEverythingAsItWas();
    void moveAnsweredNo();
    void moveNeverReplacesAndReportsWhatStayed();
    void moveReportsAGoodFolderFaultOnce();
    void moveAndUndoRefusedWhileGoodIsInUse();
    void closingHides();
    void handlerFailuresAreReported();
    void runLeavesTheWindowLiveAndCountsFrames();
    void stopButtonEndsTheRun();
    void doubleClickOnFftDoesNotStop();
    void badFramesLeftOut_data();
    void badFramesLeftOut();
    void mixedFramesAskedBeforeTheRun_data();
    void mixedFramesAskedBeforeTheRun();
    void closingOrDestroyingStopsARun();
    void moveRunsApartAndStopsOnClose();
    void undoShowsItsProgressOverTheAskerAndStops();
    void preferencesSurviveARestart();
    void keptValuesAreClampedOrIgnored_data();
    void keptValuesAreClampedOrIgnored();

private:
    // Each of the four, and 24 copies of it: a list names a frame once.
    static QStringList hundredFrames(const QStringList& four);
    QStringList writeFrames();  // the four stripe frames, two BMP and two FITS
    void openAndRun(const QStringList& files);
    void runFft();     // clicks FFT and waits for the run's end
    void moveFiles();  // clicks 移動 and waits for the move's end

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<SelectorWindow> selector_;
    QString startDir_;
    int doubleClick_ = 400;
    std::unique_ptr<ScratchPreferences> preferences_;
};

void SelectorWindowTest::init() {
    ScratchPreferences::clear();
    startDir_ = QDir::currentPath();
    dir_ = std::make_unique<TempDir>();
    dialogs_ = std::make_unique<ScriptedDialogs>();
    g_allowed = INT_MAX;
    g_started = 0;
    doubleClick_ = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    selector_ = std::make_unique<SelectorWindow>();
    selector_->setFrameReadHook(GatedRead);
    selector_->showSelector();
}

void SelectorWindowTest::cleanup() {
    g_allowed = INT_MAX;
    selector_.reset();
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(doubleClick_);
    dialogs_.reset();
    QDir::setCurrent(startDir_);
    dir_.reset();
}

QStringList SelectorWindowTest::writeFrames() {
    const QString d = QString::fromStdString(dir_->path().string());
    QStringList files = {WriteStripesBmp(d + "/f0.bmp", kAmplitudes[0]),
                         WriteStripesFits(d + "/f1.fit", kAmplitudes[1]),
                         WriteStripesBmp(d + "/f2.bmp", kAmplitudes[2]),
                         WriteStripesFits(d + "/f3.FIT", kAmplitudes[3])};
    for (const QString& f : files) Q_ASSERT(!f.isEmpty());
    return files;
}

void SelectorWindowTest::openAndRun(const QStringList& files) {
    dialogs_->chooseFiles(files);
    Control<QPushButton>(*selector_, "openButton")->click();
    runFft();
}

void SelectorWindowTest::moveFiles() {
    Control<QPushButton>(*selector_, "moveButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!selector_->busy(), 20000);
}

void SelectorWindowTest::runFft() {
    Control<QPushButton>(*selector_, "fftButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!selector_->busy(), 20000);
}

void SelectorWindowTest::layoutMatchesAndNothingIsClipped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, QRect r, const char* text) {
        QTest::newRow(name) << QString(name) << r << QString::fromUtf8(text);
    };
    row("fileList", QRect(8, 32, 153, 201), "");
    row("graphCanvas", QRect(169, 32, 256, 200), "");
    row("passedList", QRect(432, 32, 153, 169), "");
    row("progressBar", QRect(432, 216, 153, 9), "");
    row("imageGroup", QRect(16, 240, 145, 49), "画像");
    row("openButton", QRect(40, 18, 57, 20), "開く");
    row("graphGroup", QRect(168, 240, 257, 49), "グラフ");
    row("scaleUpButton", QRect(16, 20, 17, 17), "+");
    row("scaleDownButton", QRect(40, 20, 17, 17), "-");
    row("fftButton", QRect(80, 16, 57, 25), "FFT");
    row("centreModeButton", QRect(160, 12, 89, 17), "画像の中心");
    row("peakModeButton", QRect(160, 28, 89, 17), "ピーク位置");
    row("passGroup", QRect(432, 240, 153, 49), "合格基準");
    row("passLevel", QRect(16, 17, 17, 20), "10");
    row("passLevelSpinner", QRect(32, 17, 9, 20), "");
    row("selectButton", QRect(48, 17, 45, 20), "Select");
    row("moveButton", QRect(96, 17, 49, 20), "移動");
    row("fileCaption", QRect(64, 16, 0, 0), "ファイル");
    row("graphCaption", QRect(264, 16, 0, 0), "周波数特性");
    row("passedCaption", QRect(480, 16, 0, 0), "合格ファイル");
}

void SelectorWindowTest::layoutMatchesAndNothingIsClipped() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    SelectorWindow& s = *selector_;
    QCOMPARE(s.size(), QSize(595, 297));
    QWidget* w = s.findChild<QWidget*>(name);
    QVERIFY(w);
    if (geometry.width() == 0) {
        QCOMPARE(w->pos(), geometry.topLeft());
        geometry = w->geometry();
    } else {
        QCOMPARE(w->geometry(), geometry);
    }
    // Every control lies inside its parent.
    QVERIFY(w->parentWidget()->rect().contains(w->geometry()));
    if (text.isEmpty()) return;
    const QFontMetrics fm(w->font());
    int room = geometry.width();
    if (qobject_cast<QPushButton*>(w)) room -= 4;        // the button's frame
    if (qobject_cast<QRadioButton*>(w)) room -= 13 + 4;  // indicator and gap
    if (auto* g = qobject_cast<QGroupBox*>(w)) room -= 16, text = g->title();
    if (qobject_cast<QLineEdit*>(w)) room -= 2;  // the frame's lines
    QVERIFY2(fm.horizontalAdvance(text) <= room, qPrintable(QString("%1: %2 px of text in %3 px")
                                                                .arg(name)
                                                                .arg(fm.horizontalAdvance(text))
                                                                .arg(room)));
    QVERIFY(fm.height() <= std::max(geometry.height(), 17));
    // The label "合格ファイル" must end before the count beside it.
    if (name == "passedCaption")
        QVERIFY(w->geometry().right() < Control<QLabel>(s, "passedCount")->x());
}

void SelectorWindowTest::openDialogMatchesExtensionsInAnyCase() {
    const QString d = QString::fromStdString(dir_->path().string());
    for (const char* name :
         {"a.bmp", "b.BMP", "c.fit", "d.FIT", "e.Fts", "f.fits", "g.jpg", "h.JPG", "i.jpeg",
          "j.JpEg", "k.png", "l.ser", "m.SER", "n.fit.gz", "o.FITS.GZ", "p.gz", "q.fts.gz"})
        QVERIFY(QFile(d + "/" + name).open(QIODevice::WriteOnly));
    const QStringList filters = SelectorWindow::openFilters();
    QCOMPARE(filters.size(), 5);
    const QString labels[5] = {
        "BMP (*.bmp)", "FITS (*.fit, *.fts, *.fits, *.fz, *.fit.gz, *.fts.gz, *.fits.gz)",
        "JPEG (*.jpg, *.jpeg)", "SER (*.ser)", "すべてのフレーム (BMP, FITS, JPEG, SER)"};
    const QStringList expected[5] = {
        {"a.bmp", "b.BMP"},
        {"c.fit", "d.FIT", "e.Fts", "f.fits", "n.fit.gz", "o.FITS.GZ", "q.fts.gz"},
        {"g.jpg", "h.JPG", "i.jpeg", "j.JpEg"},
        {"l.ser", "m.SER"},
        {"a.bmp", "b.BMP", "c.fit", "d.FIT", "e.Fts", "f.fits", "g.jpg", "h.JPG", "i.jpeg",
         "j.JpEg", "l.ser", "m.SER", "n.fit.gz", "o.FITS.GZ", "q.fts.gz"}};
    for (int i = 0; i < 5; ++i) {
        QFileDialog dialog(nullptr);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters[i]);
        dialog.setDirectory(d);
        dialog.show();
        auto* view = dialog.findChild<QListView*>("listView");
        QVERIFY(view);
        auto listed = [&] {
            QStringList names;
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                names << view->model()->index(r, 0, view->rootIndex()).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(listed(), expected[i]);
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        QVERIFY(types);
        QCOMPARE(types->currentText(), labels[i]);
    }
}

void SelectorWindowTest::opening_data() {
    QTest::addColumn<int>("count");  // -1: cancelled
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("fileCount");
    QTest::addColumn<int>("messages");
    QTest::newRow("4000 accepted") << 4000 << 4000 << "4000" << 0;
    QTest::newRow("4001 refused") << 4001 << 0 << "0" << 1;
    QTest::newRow("cancelled") << -1 << 3 << "3" << 0;
    QTest::newRow("one") << 1 << 1 << "1" << 0;
}

void SelectorWindowTest::opening() {
    QFETCH(int, count);
    QFETCH(int, listed);
    QFETCH(QString, fileCount);
    QFETCH(int, messages);
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    // A first opening of three frames and a selection, so there is something to lose.
    openAndRun(writeFrames().mid(0, 3));
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString("1"));

    const QString chosen = d + "/chosen";
    if (count < 0) {
        dialogs_->cancel();
    } else {
        QStringList files;
        for (int i = 0; i < count; ++i)
            files << QString("%1/frame%2.bmp").arg(chosen).arg(i, 4, 10, QChar('0'));
        dialogs_->chooseFiles(files);
    }
    Control<QPushButton>(s, "openButton")->click();
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), listed);
    QCOMPARE(int(Paths(Control<QListWidget>(s, "fileList")).size()), listed);
    QCOMPARE(Control<QLabel>(s, "fileCount")->text(), fileCount);
    QCOMPARE(dialogs_->messages.size(), messages);
    if (messages)
        QCOMPARE(dialogs_->messages.first(), QString("ファイル数を4000個以下にしてください"));
    // An accepted choice, refused or not, empties the pass list, and its count says so.
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), count < 0 ? 1 : 0);
    QCOMPARE(int(Paths(Control<QListWidget>(s, "passedList")).size()), count < 0 ? 1 : 0);
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString(count < 0 ? "1" : "0"));
    // The process's folder stays; the undo chooser, with no move yet, opens where files were
    // last chosen.
    QCOMPARE(QDir::currentPath(), startDir_);
    s.undoMoves();
    QCOMPARE(dialogs_->lastFolder, count < 0 ? d : chosen);
    if (count > 0 && listed > 0) {
        QCOMPARE(Control<QListWidget>(s, "fileList")->item(listed - 1)->text(),
                 QString("frame%1.bmp").arg(listed - 1, 4, 10, QChar('0')));
        QCOMPARE(Paths(Control<QListWidget>(s, "fileList")).at(listed - 1),
                 QString("%1/frame%2.bmp").arg(chosen).arg(listed - 1, 4, 10, QChar('0')));
    }
    QCOMPARE(dialogs_->lastFilters, SelectorWindow::openFilters());
}

void SelectorWindowTest::openedFilesAreListedInNaturalOrder() {
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    const QStringList chosen = {"frame_10.bmp", "Frame_3.bmp", "frame_2.bmp", "frame_1.bmp"};
    QStringList files;
    for (const QString& name : chosen) files << d + "/" + name;
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    const QStringList listed = {"frame_1.bmp", "frame_2.bmp", "Frame_3.bmp", "frame_10.bmp"};
    QCOMPARE(Texts(Control<QListWidget>(s, "fileList")), listed);
    QStringList paths;
    for (const QString& name : listed) paths << d + "/" + name;
    QCOMPARE(Paths(Control<QListWidget>(s, "fileList")), paths);  // each path stays with its name
}

void SelectorWindowTest::aNewListStartsAtItsTop() {
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    auto* list = Control<QListWidget>(s, "fileList");
    for (const char* prefix : {"a", "b"}) {
        QStringList files;
        for (int k = 1; k <= 80; ++k) files << QString("%1/%2_%3.bmp").arg(d).arg(prefix).arg(k);
        dialogs_->chooseFiles(files);
        Control<QPushButton>(s, "openButton")->click();
        QCOMPARE(list->count(), 80);
        QCOMPARE(list->verticalScrollBar()->value(), 0);
        list->scrollToBottom();
        QVERIFY(list->verticalScrollBar()->value() > 0);
    }
}

void SelectorWindowTest::runAnalysesEveryFrameWithProgress() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    QList<int> positions;
    connect(Control<QProgressBar>(s, "progressBar"), &QProgressBar::valueChanged, this,
            [&](int v) { positions << v; });
    Control<QProgressBar>(s, "progressBar")->setValue(9);
    positions.clear();
    runFft();
    // The bar follows the run upwards and goes back to 0 at its end.
    QVERIFY(!positions.isEmpty());
    QCOMPARE(positions.last(), 0);
    QVERIFY(std::is_sorted(positions.begin(), positions.end() - 1));
    QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());
    // Each frame's column holds its stripes, BMP and FITS alike.
    for (int k = 0; k < 4; ++k) {
        const double seen = (s.session().results().profileTable[29][k] +
                             s.session().results().profileTable[30][k]) /
                            std::sqrt(2.0);
        QVERIFY2(std::abs(seen - kAmplitudes[k]) < 1.5,
                 qPrintable(QString("file %1: %2").arg(k).arg(seen)));
        QCOMPARE(s.session().results().profileTable[0][k], 141);  // 100 * sqrt(2)
    }
    // Largest and smallest totals: the strongest and the weakest stripes.
    QVERIFY(std::abs(s.session().results().largest[30] - 40 / std::sqrt(2.0)) < 1);
    QVERIFY(std::abs(s.session().results().smallest[30] - 10 / std::sqrt(2.0)) < 1);
    // The summary form: three curves, no frame curve.
    const QImage& g = Control<GraphCanvas>(s, "graphCanvas")->picture();
    QVERIFY(HasColour(g, GraphAverageColour()));
    QVERIFY(HasColour(g, GraphLargestColour()));
    QVERIFY(HasColour(g, GraphSmallestColour()));
    QVERIFY(!HasColour(g, GraphFrameColour()));
    // Three frames: 0, 33, 66.
    dialogs_->chooseFiles(files.mid(0, 3));
    Control<QPushButton>(s, "openButton")->click();
    positions.clear();
    Control<QProgressBar>(s, "progressBar")->setValue(5);
    positions.clear();
    runFft();
    QCOMPARE(positions.last(), 0);
    QVERIFY(std::all_of(positions.begin(), positions.end(), [](int v) { return v <= 66; }));
}

void SelectorWindowTest::runStopsAtATooSmallThirdFrame() {
    SelectorWindow& s = *selector_;
    QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    files[2] = WriteStripesBmp(d + "/f2small.bmp", 20, 200, 300);
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    const QImage before = Control<GraphCanvas>(s, "graphCanvas")->picture();
    runFft();  // the question is answered No
    QCOMPARE(dialogs_->questions.size(), 1);
    QVERIFY(dialogs_->questions[0].startsWith("画像サイズは256x256以上にしてください"));
    QVERIFY(dialogs_->questions[0].contains(files[2] + " (200 x 300)"));
    QVERIFY(dialogs_->questions[0].endsWith("\n\nこのファイルを除いて続けますか？"));
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(Control<QProgressBar>(s, "progressBar")->value(), 0);
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture(), before);  // not redrawn
    QVERIFY(s.session().results().files.empty());
    // A stopped run cannot be selected from.
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(dialogs_->messages.last(), QString("先にFFTを実行してください"));
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);
}

void SelectorWindowTest::runStopsAtAnUnreadableFrame() {
    SelectorWindow& s = *selector_;
    QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    files[1] = d + "/f1broken.bmp";
    QFile f(files[1]);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("BM not really a bitmap");
    f.close();
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    runFft();
    QCOMPARE(dialogs_->questions.size(), 1);
    QVERIFY(dialogs_->questions[0].startsWith("ファイルを読み込めません: " + files[1]));
    QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());
    QCOMPARE(Control<QProgressBar>(s, "progressBar")->value(), 0);
    QVERIFY(s.session().results().files.empty());
}

void SelectorWindowTest::selectionAtSeveralLevels_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("passed");
    // Scores follow the amplitudes 10, 40, 20, 30 of f0..f3.
    QTest::newRow("0: every file") << 0 << QStringList{"f0.bmp", "f1.fit", "f2.bmp", "f3.FIT"};
    QTest::newRow("3") << 3 << QStringList{"f1.fit", "f2.bmp", "f3.FIT"};
    QTest::newRow("5") << 5 << QStringList{"f1.fit", "f3.FIT"};
    QTest::newRow("8") << 8 << QStringList{"f1.fit"};
    QTest::newRow("10: the best only") << 10 << QStringList{"f1.fit"};
}

void SelectorWindowTest::selectionAtSeveralLevels() {
    QFETCH(int, level);
    QFETCH(QStringList, passed);
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    openAndRun(files);
    Control<QProgressBar>(s, "progressBar")->setValue(40);
    LevelTo(s, level);
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString::number(level));
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), passed);
    QStringList paths;
    for (const QString& name : passed) paths << files[name[1].digitValue()];
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")), paths);  // full paths
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString::number(passed.size()));
    QCOMPARE(Control<QProgressBar>(s, "progressBar")->value(), 0);
    QVERIFY(dialogs_->messages.isEmpty());
}

void SelectorWindowTest::crossedMarkersPassEveryFrame() {
    // Crossed markers score the band between them, as the same markers uncrossed do.
    SelectorWindow& s = *selector_;
    openAndRun(writeFrames());
    Control<UpDownSpinner>(s, "passLevelSpinner")->setPosition(10);
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::LeftButton, {},
                      QPoint(121, 10));  // low bin 60
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::RightButton, {},
                      QPoint(20, 190));  // high bin 10
    QCOMPARE(s.graphView().band.low, 60);
    QCOMPARE(s.graphView().band.high, 10);
    Control<QPushButton>(s, "selectButton")->click();
    const QStringList crossed = Texts(Control<QListWidget>(s, "passedList"));
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::RightButton, {},
                      QPoint(121, 190));
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(crossed, Texts(Control<QListWidget>(s, "passedList")));
    QVERIFY(crossed.size() < 4);
}

void SelectorWindowTest::flaggedFramesLeftOutOnRequest() {
    // Two bitmaps and two FITS frames: the FITS ones differ from the first kind met.
    SelectorWindow& s = *selector_;
    openAndRun(writeFrames());
    const std::vector<std::uint8_t> odd = {0, kFlagOdd, 0, kFlagOdd};
    QCOMPARE(s.scoresWindow()->data().flags, odd);
    Control<UpDownSpinner>(s, "passLevelSpinner")->setPosition(0);
    const struct {
        bool exclude;
        QStringList passed;
    } cases[] = {{false, {"f0.bmp", "f1.fit", "f2.bmp", "f3.FIT"}}, {true, {"f0.bmp", "f2.bmp"}}};
    for (const auto& c : cases) {
        Control<QCheckBox>(*s.scoresWindow(), "excludeFlaggedBox")->setChecked(c.exclude);
        Control<QPushButton>(s, "selectButton")->click();
        QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), c.passed);
        Control<QPushButton>(*s.scoresWindow(), "applyRuleButton")
            ->click();  // the level rule, as Select
        QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), c.passed);
    }
    // A band chosen in the scores window clears the passes in both windows at once.
    QVERIFY(Control<QListWidget>(s, "passedList")->count() > 0);
    emit s.scoresWindow()->bandChosen({s.graphView().band.low + 1, s.graphView().band.high});
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString("0"));
    const std::vector<char> passed = s.scoresWindow()->data().passed;
    QCOMPARE(std::count(passed.begin(), passed.end(), 1), 0);
    QCOMPARE(s.scoresWindow()->data().threshold, s.session().threshold());
}

void SelectorWindowTest::selectRefusedOnStaleResults_data() {
    QTest::addColumn<int>("situation");
    QTest::newRow("no run yet") << 0;
    QTest::newRow("other files opened since") << 1;
    QTest::newRow("same names in another folder") << 2;
    QTest::newRow("window mode switched since") << 3;
}

void SelectorWindowTest::selectRefusedOnStaleResults() {
    QFETCH(int, situation);
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    if (situation == 0) {
        dialogs_->chooseFiles(files);
        Control<QPushButton>(s, "openButton")->click();
    } else {
        openAndRun(files);
        Control<QPushButton>(s, "selectButton")->click();
        QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 2);
        if (situation == 3) {
            Control<QRadioButton>(s, "peakModeButton")->click();
        } else {
            QStringList other = files.mid(1);
            if (situation == 2) {
                const QString d = QString::fromStdString(dir_->path().string());
                QVERIFY(QDir(d).mkdir("other"));
                other.clear();
                for (const QString& f : files) {
                    other << d + "/other/" + QFileInfo(f).fileName();
                    QVERIFY(QFile::copy(f, other.last()));
                }
            }
            dialogs_->chooseFiles(other);
            Control<QPushButton>(s, "openButton")->click();
        }
    }
    // The passes and scores went with the change, in both windows.
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString("0"));
    QVERIFY(s.scoresWindow()->data().files.empty());
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(dialogs_->messages, QStringList{"先にFFTを実行してください"});
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);
    // After a run over exactly these files, the selection goes ahead.
    runFft();
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(Control<QListWidget>(s, "passedList")->count() > 0);
}

void SelectorWindowTest::spinnerStaysWithinItsRange() {
    SelectorWindow& s = *selector_;
    QCOMPARE(Control<UpDownSpinner>(s, "passLevelSpinner")->position(), 5);
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("5"));
    const QPoint up(4, 3), down(4, 16);
    for (int i = 0; i < 10; ++i)
        QTest::mouseClick(Control<UpDownSpinner>(s, "passLevelSpinner"), Qt::LeftButton, {}, up);
    QCOMPARE(Control<UpDownSpinner>(s, "passLevelSpinner")->position(), 10);
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("10"));
    for (int i = 0; i < 13; ++i)
        QTest::mouseClick(Control<UpDownSpinner>(s, "passLevelSpinner"), Qt::LeftButton, {}, down);
    QCOMPARE(Control<UpDownSpinner>(s, "passLevelSpinner")->position(), 0);
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("0"));
    Control<UpDownSpinner>(s, "passLevelSpinner")->setFocus();
    QTest::keyClick(Control<UpDownSpinner>(s, "passLevelSpinner"), Qt::Key_Up);
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("1"));
    // The field always shows the spinner's value.
    Control<QLineEdit>(s, "passLevel")->setText("7");
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("1"));
}

void SelectorWindowTest::graphPressesAndScaleButtons() {
    SelectorWindow& s = *selector_;
    openAndRun(writeFrames());
    auto black = [&](int x) {
        for (int y = 0; y < 200; ++y)
            if ((Control<GraphCanvas>(s, "graphCanvas")->picture().pixel(x, y) & 0xffffff) != 0)
                return false;
        return true;
    };
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::LeftButton, {}, QPoint(101, 50));
    QCOMPARE(s.graphView().band.low, 50);
    QVERIFY(black(100));
    QVERIFY(!black(50));
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::RightButton, {}, QPoint(0, 50));
    QCOMPARE(s.graphView().band.high, 0);
    QVERIFY(black(0));
    QVERIFY(!black(100) || s.graphView().band.low == 50);

    // From the initial scale, "+" nine times to 51.2; the tenth press neither changes nor
    // redraws.
    ScaleTo(s, 0.1);
    for (int i = 0; i < 9; ++i) Control<QPushButton>(s, "scaleUpButton")->click();
    QCOMPARE(s.graphView().scale, 51.2);
    Control<GraphCanvas>(s, "graphCanvas")->picture().setPixel(200, 100, qRgb(1, 2, 3));
    Control<QPushButton>(s, "scaleUpButton")->click();
    QCOMPARE(s.graphView().scale, 51.2);
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture().pixel(200, 100) & 0xffffff,
             0x010203u);
    for (int i = 0; i < 12; ++i) Control<QPushButton>(s, "scaleDownButton")->click();
    QCOMPARE(s.graphView().scale, 0.0125);
    Control<GraphCanvas>(s, "graphCanvas")->picture().setPixel(200, 100, qRgb(1, 2, 3));
    Control<QPushButton>(s, "scaleDownButton")->click();
    QCOMPARE(s.graphView().scale, 0.0125);
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture().pixel(200, 100) & 0xffffff,
             0x010203u);
    // The scale form draws the last frame's profile too.
    std::fill_n(s.session().frameProfile(), kProfileBins, 1000.0);
    for (int i = 0; i < 3; ++i) Control<QPushButton>(s, "scaleUpButton")->click();
    QVERIFY(HasColour(Control<GraphCanvas>(s, "graphCanvas")->picture(), GraphFrameColour()));
    // A middle press changes nothing.
    Control<GraphCanvas>(s, "graphCanvas")->picture().setPixel(200, 100, qRgb(1, 2, 3));
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::MiddleButton, {}, QPoint(30, 50));
    QCOMPARE(s.graphView().band.low, 50);
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture().pixel(200, 100) & 0xffffff,
             0x010203u);
    // A press redraws the summary form: the frame curve goes.
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::LeftButton, {}, QPoint(60, 50));
    QVERIFY(!HasColour(Control<GraphCanvas>(s, "graphCanvas")->picture(), GraphFrameColour()));
}

void SelectorWindowTest::completedRunFitsTheScaleAndLabelsTheMarkers() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    ScaleTo(s, 0.0125);
    openAndRun(files);
    // The strongest bin over the band and beyond is the largest curve's stripe bin.
    const double tallest = s.session().results().largest[30];
    QVERIFY(tallest > 20 && tallest < 40);
    QCOMPARE(s.graphView().scale, 6.4);
    QVERIFY(6.4 * s.session().results().mean[25] <= 200 && 12.8 * tallest > 200);
    // "+" and "-" work from there; a run that stops leaves the scale alone.
    Control<QPushButton>(s, "scaleUpButton")->click();
    QCOMPARE(s.graphView().scale, 12.8);
    runFft();
    QCOMPARE(s.graphView().scale, 6.4);
    Control<QPushButton>(s, "scaleDownButton")->click();
    dialogs_->chooseFiles(QStringList{files[0], files[1] + ".missing"});
    Control<QPushButton>(s, "openButton")->click();
    runFft();
    QCOMPARE(dialogs_->questions.size(), 1);
    QCOMPARE(s.graphView().scale, 3.2);

    // The labels lie over the picture at the top, beside each marker, and nowhere else.
    openAndRun(files);
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::RightButton, {},
                      QPoint(180, 150));  // high bin 90
    auto darkIn = [&](const QImage& shot, QRect r) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(shot.pixel(x, y)) < 128) return true;
        return false;
    };
    const QImage picture = Control<GraphCanvas>(s, "graphCanvas")->picture();
    const QImage shot = Control<GraphCanvas>(s, "graphCanvas")->grab().toImage();
    QVERIFY(darkIn(shot, QRect(52, 0, 14, 10)));    // "25" right of x = 50
    QVERIFY(darkIn(shot, QRect(182, 0, 14, 10)));   // "90" right of x = 180
    QVERIFY(!darkIn(shot, QRect(100, 0, 60, 10)));  // nothing between them
    QVERIFY(!darkIn(picture, QRect(52, 0, 14, 10)));
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture(), picture);
    // A graph cleared on showing has no markers to label.
    dialogs_->chooseFiles(files.mid(1));
    Control<QPushButton>(s, "openButton")->click();
    s.showSelector();
    const QImage cleared = Control<GraphCanvas>(s, "graphCanvas")->grab().toImage();
    QVERIFY(!darkIn(cleared, cleared.rect()));
}

void SelectorWindowTest::listClicksDrawTheFrame() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    openAndRun(files);
    QVERIFY(!HasColour(Control<GraphCanvas>(s, "graphCanvas")->picture(), GraphFrameColour()));
    const std::vector<int> table0(s.session().results().profileTable[30],
                                  s.session().results().profileTable[30] + 4);

    // Mouse on the file list.
    QListWidget* list = Control<QListWidget>(s, "fileList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[2]) < 1.5);
    QVERIFY(HasColour(Control<GraphCanvas>(s, "graphCanvas")->picture(), GraphFrameColour()));
    // A click on the entry already selected analyses it again.
    std::fill_n(s.session().frameProfile(), kProfileBins, 0.0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[2]) < 1.5);
    // Keyboard.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 3);
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[3]) < 1.5);
    // Clicks leave the run's results alone.
    QCOMPARE(std::vector<int>(s.session().results().profileTable[30],
                              s.session().results().profileTable[30] + 4),
             table0);
    QVERIFY(s.session().results().files.size() == 4);

    // The pass list, before and after a move.
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), (QStringList{"f1.fit", "f3.FIT"}));
    Control<QListWidget>(s, "passedList")->setCurrentRow(0);
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[1]) < 1.5);
    dialogs_->answers.push_back(true);
    moveFiles();
    const QString good = QString::fromStdString(dir_->path().string()) + "/Good/f3.FIT";
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")).at(1), good);
    QVERIFY(QFile::exists(good));
    Control<QListWidget>(s, "passedList")->setCurrentRow(1);
    QVERIFY(dialogs_->errors.isEmpty());
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[3]) < 1.5);

    // After a restart the undo chooser opens at that Good folder, while it is there.
    const QString folder = QString::fromStdString(dir_->path().string());
    for (bool there : {true, false}) {
        if (!there) QVERIFY(QDir(folder + "/Good").removeRecursively());
        selector_ = std::make_unique<SelectorWindow>();
        selector_->undoMoves();  // no folder chosen: nothing is undone
        QCOMPARE(dialogs_->lastFolder, there ? folder + "/Good" : QDir::currentPath());
    }
}

void SelectorWindowTest::failedClickLeavesEverythingAsItWas() {
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    QStringList files = writeFrames();
    files << WriteStripesBmp(d + "/f4small.bmp", 20, 300, 255) << d + "/f5gone.bmp";
    dialogs_->chooseFiles(files);
    Control<QPushButton>(s, "openButton")->click();
    // A click before any run builds the tables and draws the frame on its own.
    Control<QListWidget>(s, "fileList")->setCurrentRow(1);
    QVERIFY(std::abs(SeenAmplitude(s.session().results()) - kAmplitudes[1]) < 1.5);
    const QImage shown = Control<GraphCanvas>(s, "graphCanvas")->picture();
    std::vector<double> profile(s.session().frameProfile(),
                                s.session().frameProfile() + kProfileBins);
    for (int row : {4, 5}) {
        Control<QListWidget>(s, "fileList")->setCurrentRow(row);
        QCOMPARE(dialogs_->errors.size(), row - 3);
        QVERIFY(dialogs_->errors.last().contains(files[row]));
        QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture(), shown);
        QCOMPARE(std::vector<double>(s.session().frameProfile(),
                                     s.session().frameProfile() + kProfileBins),
                 profile);
    }
}

void SelectorWindowTest::moveAnsweredNo() {
    SelectorWindow& s = *selector_;
    // An empty pass list asks nothing and says why.
    moveFiles();
    QVERIFY(dialogs_->questions.isEmpty());
    QCOMPARE(dialogs_->messages, QStringList{"移動するファイルがありません"});
    const QStringList files = writeFrames();
    openAndRun(files);
    Control<QPushButton>(s, "selectButton")->click();
    dialogs_->answers.push_back(false);
    moveFiles();
    QCOMPARE(dialogs_->questions, QStringList{"2 個のファイルを Good に移動しますか？"});
    QVERIFY(!QFileInfo::exists(QString::fromStdString(dir_->file("Good"))));
    for (const QString& f : files) QVERIFY(QFile::exists(f));
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), 4);
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 2);
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")), (QStringList{files[1], files[3]}));
}

void SelectorWindowTest::moveNeverReplacesAndReportsWhatStayed() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    QVERIFY(QDir(d).mkdir("Good"));
    {
        QFile existing(d + "/Good/f1.fit");
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("already here");
    }
    const QByteArray f1 = Contents(files[1]);
    openAndRun(files);
    Control<QPushButton>(s, "selectButton")->click();
    // The main window's dialogs may have moved the current directory meanwhile.
    QVERIFY(QDir::setCurrent(startDir_));
    dialogs_->answers.push_back(true);
    moveFiles();

    QCOMPARE(Contents(d + "/Good/f1.fit"), QByteArray("already here"));
    QCOMPARE(Contents(files[1]), f1);
    QVERIFY(!QFile::exists(files[3]));
    QVERIFY(QFile::exists(d + "/Good/f3.FIT"));
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")),
             (QStringList{files[1], d + "/Good/f3.FIT"}));
    QCOMPARE(Texts(Control<QListWidget>(s, "passedList")), (QStringList{"f1.fit", "f3.FIT"}));
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].startsWith("移動できなかったファイルがあります"));
    QVERIFY(dialogs_->errors[0].contains(files[1]));
    QVERIFY(!dialogs_->errors[0].contains("f3.FIT"));
    // The moved file left the list; the others keep their scores, the one that stayed too.
    QCOMPARE(Paths(Control<QListWidget>(s, "fileList")),
             (QStringList{files[0], files[1], files[2]}));
    QCOMPARE(Control<QLabel>(s, "fileCount")->text(), QString("3"));
    QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString("2"));
    QVERIFY(s.session().resultsMatch());
    QCOMPARE(s.session().passedFlags(), (std::vector<char>{0, 1, 0}));

    // Once the way is clear, a second press moves what stayed, and only that.
    QVERIFY(QFile::remove(d + "/Good/f1.fit"));
    dialogs_->answers.push_back(true);
    moveFiles();
    QCOMPARE(dialogs_->errors.size(), 1);
    QCOMPARE(Contents(d + "/Good/f1.fit"), f1);
    QVERIFY(QFile::exists(d + "/Good/f3.FIT"));
    QVERIFY(!QFileInfo::exists(d + "/Good/Good"));
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")),
             (QStringList{d + "/Good/f1.fit", d + "/Good/f3.FIT"}));
    // The questions counted only what was left to move; with nothing left there is none.
    QCOMPARE(dialogs_->questions, (QStringList{"2 個のファイルを Good に移動しますか？",
                                               "1 個のファイルを Good に移動しますか？"}));
    dialogs_->answers.push_back(true);
    moveFiles();
    QCOMPARE(dialogs_->questions.size(), 2);
    QCOMPARE(dialogs_->messages, QStringList{"移動するファイルがありません"});
    QCOMPARE(dialogs_->answers.size(), 1u);
}

void SelectorWindowTest::moveReportsAGoodFolderFaultOnce() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    {
        QFile plain(d + "/Good");
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }
    openAndRun(files);
    Control<QPushButton>(s, "selectButton")->click();
    QVERIFY(QDir::setCurrent(startDir_));
    dialogs_->answers.push_back(true);
    moveFiles();
    QCOMPARE(dialogs_->errors.size(), 1);
    QCOMPARE(dialogs_->errors[0].count("フォルダーではありません"), 1);
    QVERIFY(dialogs_->errors[0].contains("(2 個のファイル)"));
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")), (QStringList{files[1], files[3]}));
}

void SelectorWindowTest::moveAndUndoRefusedWhileGoodIsInUse() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    QVERIFY(QDir(d).mkdir("Good"));
    // Another move or undo at work holds Good.
    const int held = ::open(QFile::encodeName(d + "/Good").constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    openAndRun(files);
    Control<QPushButton>(s, "selectButton")->click();
    dialogs_->answers.push_back(true);
    moveFiles();
    dialogs_->folders.push_back(d + "/Good");
    s.undoMoves();
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    ::close(held);
    QCOMPARE(dialogs_->errors,
             (QStringList{"移動できなかったファイルがあります\n" + d +
                              "/Good は別の移動か元に戻す処理が使用中です (2 個のファイル)",
                          d + "/Good は別の移動か元に戻す処理が使用中です\n"
                              "それが終わってから、もう一度お試しください"}));
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")), (QStringList{files[1], files[3]}));
    QVERIFY(QDir(d + "/Good").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

void SelectorWindowTest::closingHides() {
    SelectorWindow& s = *selector_;
    const QStringList files = writeFrames();
    openAndRun(files);
    Control<QListWidget>(s, "fileList")
        ->setCurrentRow(1);  // the frame form, as a user would leave it
    const QImage drawn = Control<GraphCanvas>(s, "graphCanvas")->picture();
    s.close();
    QVERIFY(!s.isVisible());
    s.showSelector();
    QVERIFY(s.isVisible());
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), 4);
    // The results still belong to the listed files: the graph stays.
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture(), drawn);
    s.showSelector();
    QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture(), drawn);
    // Other files listed: the graph is white at once, and stays so when shown again.
    dialogs_->chooseFiles(files.mid(1));
    Control<QPushButton>(s, "openButton")->click();
    QVERIFY(AllWhite(Control<GraphCanvas>(s, "graphCanvas")->picture()));
    s.showSelector();
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 256; ++x)
            QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")->picture().pixel(x, y) & 0xffffff,
                     0xffffffu);
}

void SelectorWindowTest::handlerFailuresAreReported() {
    SelectorWindow& s = *selector_;
    openAndRun(writeFrames());
    dialogs_->failOpen = true;
    Control<QPushButton>(s, "openButton")->click();  // must not throw into the event loop
    QCOMPARE(dialogs_->errors, QStringList{"scripted failure"});
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), 4);
}

QStringList SelectorWindowTest::hundredFrames(const QStringList& four) {
    QStringList files = four;
    for (int i = 1; i < 25; ++i)
        for (const QString& f : four) {
            const QFileInfo info(f);
            files << info.path() + QString("/c%1_").arg(i) + info.fileName();
            if (!QFile::copy(f, files.back())) qFatal("cannot copy %s", qPrintable(f));
        }
    return files;
}

void SelectorWindowTest::runLeavesTheWindowLiveAndCountsFrames() {
    SelectorWindow& s = *selector_;
    const QStringList four = writeFrames();
    openAndRun(four);
    QVERIFY(!AllWhite(Control<GraphCanvas>(s, "graphCanvas")->picture()));
    dialogs_->chooseFiles(hundredFrames(four));
    Control<QPushButton>(s, "openButton")->click();
    // No entry carries a mark to clear: the run changes none of them.
    QSignalSpy entryChanges(Control<QListWidget>(s, "fileList")->model(),
                            &QAbstractItemModel::dataChanged);
    g_allowed = 10;
    Control<QPushButton>(s, "fftButton")->click();
    QCOMPARE(entryChanges.count(), 0);
    // The click returned with the run under way; the event loop goes on meanwhile.
    QVERIFY(s.busy());
    QCOMPARE(Control<QPushButton>(s, "fftButton")->text(), QString("中止"));
    QVERIFY(AllWhite(
        Control<GraphCanvas>(s, "graphCanvas")->picture()));  // the last list's curves are gone
    QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("10 / 100"));
    QVERIFY(Control<QLabel>(s, "workCount")->isVisible());
    QTRY_COMPARE(Control<QProgressBar>(s, "progressBar")->value(), 10);
    for (QWidget* w : std::initializer_list<QWidget*>{
             Control<QPushButton>(s, "openButton"), Control<QRadioButton>(s, "centreModeButton"),
             Control<QRadioButton>(s, "peakModeButton"), Control<QPushButton>(s, "selectButton"),
             Control<QPushButton>(s, "moveButton"), Control<QPushButton>(s, "scaleUpButton"),
             Control<QPushButton>(s, "scaleDownButton"), Control<QListWidget>(s, "fileList")})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(Control<QPushButton>(s, "fftButton")->isEnabled() &&
            Control<UpDownSpinner>(s, "passLevelSpinner")->isEnabled());
    QTest::mouseClick(Control<UpDownSpinner>(s, "passLevelSpinner"), Qt::LeftButton, {},
                      QPoint(4, 3));
    QCOMPARE(Control<QLineEdit>(s, "passLevel")->text(), QString("6"));
    // The window's results stay those of the last completed run until this one ends.
    QCOMPARE(int(s.session().results().files.size()), 4);

    g_allowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QCOMPARE(Control<QPushButton>(s, "fftButton")->text(), QString("FFT"));
    QVERIFY(Control<QPushButton>(s, "openButton")->isEnabled() &&
            Control<QListWidget>(s, "fileList")->isEnabled() &&
            Control<QPushButton>(s, "selectButton")->isEnabled());
    QVERIFY(!Control<QLabel>(s, "workCount")->isVisible());
    QCOMPARE(int(s.session().results().files.size()), 100);
    QVERIFY(HasColour(Control<GraphCanvas>(s, "graphCanvas")->picture(), GraphAverageColour()));
}

void SelectorWindowTest::stopButtonEndsTheRun() {
    SelectorWindow& s = *selector_;
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(0);
    const QStringList four = writeFrames();
    openAndRun(four);
    dialogs_->chooseFiles(hundredFrames(four));
    Control<QPushButton>(s, "openButton")->click();
    g_allowed = 3;
    g_started = 0;
    Control<QPushButton>(s, "fftButton")->click();
    QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("3 / 100"));
    Control<QPushButton>(s, "fftButton")->click();
    g_allowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QVERIFY(g_started < 30);
    QCOMPARE(Control<QPushButton>(s, "fftButton")->text(), QString("FFT"));
    QCOMPARE(Control<QProgressBar>(s, "progressBar")->value(), 0);
    QVERIFY(AllWhite(Control<GraphCanvas>(s, "graphCanvas")->picture()));
    QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(dialogs_->messages, QStringList{"先にFFTを実行してください"});
    QCOMPARE(Control<QListWidget>(s, "passedList")->count(), 0);
}

void SelectorWindowTest::doubleClickOnFftDoesNotStop() {
    SelectorWindow& s = *selector_;
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(60000);
    dialogs_->chooseFiles(hundredFrames(writeFrames()));
    Control<QPushButton>(s, "openButton")->click();
    g_allowed = 0;
    Control<QPushButton>(s, "fftButton")->click();
    Control<QPushButton>(s, "fftButton")->click();
    QVERIFY(s.busy());
    g_allowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QCOMPARE(int(s.session().results().files.size()), 100);
}

void SelectorWindowTest::badFramesLeftOut_data() {
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("junk");  // unreadable files after the four frames and a small one
    QTest::newRow("no: the run stops") << false << 1;
    QTest::newRow("yes: left out, one report") << true << 1;
    QTest::newRow("yes: a long report is cut") << true << 22;
}

void SelectorWindowTest::badFramesLeftOut() {
    QFETCH(bool, answer);
    QFETCH(int, junk);
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    QStringList files = writeFrames();
    files.insert(1, WriteStripesBmp(d + "/f0small.bmp", 20, 300, 200));
    for (int j = 0; j < junk; ++j) {
        files << d + QString("/junk%1.fit").arg(j);
        QFile f(files.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'x'));
    }
    dialogs_->answers.push_back(answer);
    openAndRun(files);
    QCOMPARE(dialogs_->questions.size(), 1);  // asked once, at the first bad frame
    QVERIFY(dialogs_->questions[0].contains(files[1] + " (300 x 200)"));
    QVERIFY(dialogs_->questions[0].endsWith("このファイルを除いて続けますか？"));
    QCOMPARE(Texts(Control<QListWidget>(s, "fileList")).size(), files.size());
    if (!answer) {
        QVERIFY(dialogs_->messages.isEmpty());
        QVERIFY(s.session().results().files.empty());
        return;
    }
    QCOMPARE(dialogs_->messages.size(), 1);
    const QStringList lines = dialogs_->messages[0].split('\n');
    QCOMPARE(lines.size(), 1 + std::min(1 + junk, 20) + (junk + 1 > 20 ? 1 : 0));
    QVERIFY(lines[1].startsWith(files[1]));
    if (junk + 1 > 20) QCOMPARE(lines.last(), QString("ほか %1 個").arg(junk + 1 - 20));
    // Left-out entries keep their names and say why; the others are unmarked.
    for (int row = 0; row < Control<QListWidget>(s, "fileList")->count(); ++row) {
        const QListWidgetItem* item = Control<QListWidget>(s, "fileList")->item(row);
        const bool bad = row == 1 || row >= 5;
        QCOMPARE(item->text(), QFileInfo(files[row]).fileName());
        QCOMPARE(item->data(SelectorWindow::kLeftOutRole).isValid(), bad);
        QCOMPARE(!item->toolTip().isEmpty(), bad);
    }
    QVERIFY(Control<QListWidget>(s, "fileList")->item(1)->toolTip().contains("300 x 200"));
    // Even at level 0 only analysed frames pass.
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(Control<UpDownSpinner>(s, "passLevelSpinner"), Qt::LeftButton, {},
                          QPoint(4, 16));
    Control<QPushButton>(s, "selectButton")->click();
    QCOMPARE(Texts(Control<QListWidget>(s, "passedList")),
             (QStringList{"f0.bmp", "f1.fit", "f2.bmp", "f3.FIT"}));

    // The bad files made good: the next run leaves nothing out, and no entry keeps a mark.
    for (int row = 0; row < files.size(); ++row) {
        if (row != 1 && row < 5) continue;
        QVERIFY(QFile::remove(files[row]));
        QVERIFY(QFile::copy(files[row == 1 ? 0 : 2], files[row]));
    }
    runFft();
    QCOMPARE(int(s.session().results().leftOut.size()), 0);
    for (int row = 0; row < Control<QListWidget>(s, "fileList")->count(); ++row) {
        const QListWidgetItem* item = Control<QListWidget>(s, "fileList")->item(row);
        QVERIFY(!item->data(SelectorWindow::kLeftOutRole).isValid() && item->toolTip().isEmpty());
    }
}

void SelectorWindowTest::closingOrDestroyingStopsARun() {
    SelectorWindow& s = *selector_;
    dialogs_->chooseFiles(hundredFrames(writeFrames()));
    Control<QPushButton>(s, "openButton")->click();
    g_allowed = 2;
    g_started = 0;
    Control<QPushButton>(s, "fftButton")->click();
    QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("2 / 100"));
    s.close();
    QVERIFY(!s.isVisible());
    g_allowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QVERIFY(g_started < 30);
    QVERIFY(s.session().results().files.empty());

    // Destroyed mid-run (the program quits): the thread is stopped and joined at once.
    s.showSelector();
    g_allowed = 2;
    g_started = 0;
    Control<QPushButton>(s, "fftButton")->click();
    QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("2 / 100"));
    g_allowed = INT_MAX;
    selector_.reset();
    QVERIFY(g_started < 30);
    QCoreApplication::processEvents();
}

namespace {

// Passes for files no run could read: a completed run made up here, scoring them all alike.
void PassEveryFile(SelectionSession& session, const QStringList& paths) {
    std::vector<SelectionSession::Entry> entries;
    AnalysisResults run;
    std::string error;
    QVERIFY(CreateAnalysisResults(run, int(paths.size()), error));
    for (const QString& path : paths) {
        entries.push_back(
            {QFileInfo(path).fileName(), ParseFrameRef(QFile::encodeName(path).toStdString())});
        run.files.push_back(entries.back().frame);
    }
    run.mode = session.mode();
    session.setEntries(entries);
    session.takeRun(run);
    session.setLevel(0);
    QCOMPARE(session.select(PassRule{}), SelectionSession::SelectOutcome::Selected);
}

// a.fit, b.fit and c.fit of `bytes` in d/other (another file system), whose Good is d/good:
// a move or an undo copies them block by block.
QStringList FilesWithGoodOnAnotherDisk(const QString& d, const QByteArray& bytes) {
    QStringList sources;
    [&] {
        QVERIFY(QDir(d).mkdir("good"));
        QVERIFY(QFile::link(d + "/good", d + "/other/Good"));
        for (const char* name : {"a.fit", "b.fit", "c.fit"}) {
            sources << d + "/other/" + name;
            QFile f(sources.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), qint64(bytes.size()));
        }
    }();
    return sources;
}

}  // namespace

void SelectorWindowTest::moveRunsApartAndStopsOnClose() {
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    MountedTmpfs other((d + "/other").toStdString(), "size=4m");
    if (!other.mounted()) QSKIP("mounting a tmpfs needs root");
    const QByteArray bytes(300000, 'f');  // five copy blocks
    const QStringList sources = FilesWithGoodOnAnotherDisk(d, bytes);
    if (QTest::currentTestFailed()) return;
    PassEveryFile(s.session(), sources);
    s.setMoveCopyHook(GatedCopy);
    g_blocksCopied = 0;
    g_blocksAllowed = 5;  // the first file, then the second file's first block
    dialogs_->answers.push_back(true);
    Control<QPushButton>(s, "moveButton")->click();
    QVERIFY(s.busy());
    QVERIFY(QApplication::overrideCursor() &&
            QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("1 / 3"));
    QTRY_VERIFY(Control<QProgressBar>(s, "progressBar")->value() > 0);
    QVERIFY(!Control<QPushButton>(s, "fftButton")->isEnabled() &&
            !Control<QPushButton>(s, "moveButton")->isEnabled() &&
            !Control<QPushButton>(s, "openButton")->isEnabled());
    QVERIFY(Control<UpDownSpinner>(s, "passLevelSpinner")->isEnabled());
    // A new score kind would clear the passes the move is working through.
    auto* scoreKind = Control<QComboBox>(*s.scoresWindow(), "scoreKindBox");
    QVERIFY(!scoreKind->isEnabled());

    s.close();
    g_blocksAllowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QVERIFY(!QApplication::overrideCursor());
    // The first moved; the second's copy was cut and removed; the third was never begun.
    QCOMPARE(QDir(d + "/good").entryList(QDir::Files | QDir::Hidden), QStringList{"a.fit"});
    QVERIFY(!QFile::exists(sources[0]));
    QCOMPARE(Contents(sources[1]), bytes);
    QCOMPARE(Contents(sources[2]), bytes);
    QCOMPARE(Paths(Control<QListWidget>(s, "passedList")),
             (QStringList{d + "/other/Good/a.fit", sources[1], sources[2]}));
    QVERIFY(scoreKind->isEnabled());
    QVERIFY(dialogs_->errors.isEmpty());
}

void SelectorWindowTest::undoShowsItsProgressOverTheAskerAndStops() {
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    MountedTmpfs other((d + "/other").toStdString(), "size=4m");
    if (!other.mounted()) QSKIP("mounting a tmpfs needs root");
    const QByteArray bytes(300000, 'f');  // five copy blocks
    const QStringList sources = FilesWithGoodOnAnotherDisk(d, bytes);
    if (QTest::currentTestFailed()) return;
    PassEveryFile(s.session(), sources);
    dialogs_->answers.push_back(true);
    Control<QPushButton>(s, "moveButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    dialogs_->messages.clear();

    // Started from the main window's menu with the selector hidden: the box is the asker's.
    s.hide();
    QWidget asker;
    asker.show();
    s.setMoveCopyHook(GatedCopy);
    g_blocksCopied = 0;
    g_blocksAllowed = 6;  // c back, then b's second block waits
    dialogs_->folders.push_back(d + "/other/Good");
    s.undoMoves(&asker);
    QCOMPARE(dialogs_->lastParent, &asker);
    QProgressDialog* box = nullptr;
    QTRY_VERIFY((box = asker.findChild<QProgressDialog*>("undoProgress")) && box->isVisible());
    QTRY_VERIFY(box->labelText().endsWith("1 / 3"));
    box->findChild<QPushButton*>()->click();
    g_blocksAllowed = INT_MAX;
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    QVERIFY(!asker.findChild<QProgressDialog*>("undoProgress"));
    QCOMPARE(dialogs_->messages, QStringList{"1 個のファイルを元の場所に戻しました\n"
                                             "中止しました: 2 個のファイルはまだ Good にあります"
                                             "（もう一度 元に戻す で続きを戻せます）"});
    QCOMPARE(dialogs_->lastParent, &asker);
    QCOMPARE(Contents(sources[2]), bytes);
    QVERIFY(!QFile::exists(sources[1]) && !QFile::exists(sources[0]));
    QCOMPARE(QDir(d + "/good").entryList(QDir::Files), (QStringList{"a.fit", "b.fit"}));

    // The next undo goes on where the stop left off.
    dialogs_->folders.push_back(d + "/other/Good");
    s.undoMoves(&asker);
    QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
    for (const QString& source : sources) QCOMPARE(Contents(source), bytes);
    QVERIFY(QDir(d + "/good").entryList(QDir::Files).isEmpty());
}

void SelectorWindowTest::preferencesSurviveARestart() {
    SelectorWindow& s = *selector_;
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::LeftButton, {}, QPoint(21, 50));
    QTest::mouseClick(Control<GraphCanvas>(s, "graphCanvas"), Qt::RightButton, {}, QPoint(254, 50));
    Control<UpDownSpinner>(s, "passLevelSpinner")->step(true);
    Control<UpDownSpinner>(s, "passLevelSpinner")->step(true);
    Control<QRadioButton>(s, "peakModeButton")->click();
    // Kept as they change: no hide before the restart.
    selector_ = std::make_unique<SelectorWindow>();
    QCOMPARE(selector_->graphView().band.low, 10);
    QCOMPARE(selector_->graphView().band.high, 127);
    QCOMPARE(Control<UpDownSpinner>(*selector_, "passLevelSpinner")->position(), 7);
    QCOMPARE(Control<QLineEdit>(*selector_, "passLevel")->text(), QString("7"));
    QVERIFY(Control<QRadioButton>(*selector_, "peakModeButton")->isChecked());
    QVERIFY(!Control<QRadioButton>(*selector_, "centreModeButton")->isChecked());

    // The place is kept when the window hides.
    selector_->showSelector();
    selector_->move(30, 40);
    selector_->close();
    Control<QRadioButton>(*selector_, "centreModeButton")->click();
    selector_ = std::make_unique<SelectorWindow>();
    QCOMPARE(selector_->pos(), QPoint(30, 40));
    QVERIFY(Control<QRadioButton>(*selector_, "centreModeButton")->isChecked());
}

void SelectorWindowTest::keptValuesAreClampedOrIgnored_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("peak");
    QTest::addColumn<bool>("placed");  // at (x, y) stored, else centred as without preferences
    QTest::addColumn<bool>("normalised");
    auto row = [](const char* name, QVariantMap stored, int low, int high, int level, bool peak,
                  bool placed = false, bool normalised = false) {
        QTest::newRow(name) << stored << low << high << level << peak << placed << normalised;
    };
    row("nothing kept", {}, 25, 50, 5, false);
    row("level 99", {{"selector/passLevel", "99"}}, 25, 50, 10, false);
    row("level -3", {{"selector/passLevel", "-3"}}, 25, 50, 0, false);
    row("level not a number", {{"selector/passLevel", "abc"}}, 25, 50, 5, false);
    row("band -5", {{"selector/bandLow", "-5"}, {"selector/bandHigh", "-5"}}, 0, 0, 5, false);
    row("band past the graph", {{"selector/bandHigh", "1000000000000"}}, 25, 127, 5, false);
    row("crossed band", {{"selector/bandLow", "90"}, {"selector/bandHigh", "3"}}, 90, 3, 5, false);
    row("mode x", {{"selector/windowMode", "x"}}, 25, 50, 5, false);
    row("mode peak", {{"selector/windowMode", "peak"}}, 25, 50, 5, true);
    row("place on screen", {{"selector/x", "12"}, {"selector/y", "7"}}, 25, 50, 5, false, true);
    row("place partly off", {{"selector/x", "-300"}, {"selector/y", "7"}}, 25, 50, 5, false, true);
    row("place off every screen", {{"selector/x", "5000"}, {"selector/y", "5000"}}, 25, 50, 5,
        false);
    row("place half kept", {{"selector/x", "12"}}, 25, 50, 5, false);
    row("place not numbers", {{"selector/x", "left"}, {"selector/y", "top"}}, 25, 50, 5, false);
    row("score normalised", {{"selector/scoreKind", "normalised"}}, 25, 50, 5, false, false, true);
    row("score unknown", {{"selector/scoreKind", "sharpness"}}, 25, 50, 5, false);
}

void SelectorWindowTest::keptValuesAreClampedOrIgnored() {
    QFETCH(QVariantMap, stored);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, level);
    QFETCH(bool, peak);
    QFETCH(bool, placed);
    QFETCH(bool, normalised);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        ScratchPreferences::put(it.key(), it.value());
    selector_ = std::make_unique<SelectorWindow>();
    QCOMPARE(selector_->graphView().band.low, low);
    QCOMPARE(selector_->graphView().band.high, high);
    QCOMPARE(Control<UpDownSpinner>(*selector_, "passLevelSpinner")->position(), level);
    QCOMPARE(Control<QLineEdit>(*selector_, "passLevel")->text(), QString::number(level));
    QCOMPARE(Control<QRadioButton>(*selector_, "peakModeButton")->isChecked(), peak);
    QCOMPARE(Control<QRadioButton>(*selector_, "centreModeButton")->isChecked(), !peak);
    const ScoreKind kind = normalised ? ScoreKind::Normalised : ScoreKind::Band;
    QCOMPARE(selector_->session().scoreKind(), kind);
    QCOMPARE(Control<QComboBox>(*selector_->scoresWindow(), "scoreKindBox")->currentData().toInt(),
             int(kind));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint expected = placed
                                ? QPoint(stored["selector/x"].toInt(), stored["selector/y"].toInt())
                                : CentredCorner(area, selector_->size());
    QCOMPARE(selector_->pos(), expected);
}

void SelectorWindowTest::mixedFramesAskedBeforeTheRun_data() {
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("extra");  // tiny FITS frames and one fewer tiny BMP frames added
    QTest::newRow("yes: the run goes on") << true << 0;
    QTest::newRow("no: stopped before any frame") << false << 0;
    QTest::newRow("no: a long list is cut") << false << 23;
}

void SelectorWindowTest::mixedFramesAskedBeforeTheRun() {
    QFETCH(bool, answer);
    QFETCH(int, extra);
    SelectorWindow& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    // Two BMP and two FITS frames: on the tie the BMP met first is the majority. With the
    // tiny frames, those make the majority and all the others differ.
    QStringList files = writeFrames();
    for (int k = 0; k < extra; ++k) {
        files << WriteStripesFits(d + QString("/t%1.fits").arg(k), 1, 8, 8);
        if (k > 0) files << WriteStripesBmp(d + QString("/t%1.bmp").arg(k), 1, 8, 8);
    }
    dialogs_->mixedAnswer = answer;
    openAndRun(files);
    QCOMPARE(dialogs_->mixedQuestions.size(), 1);
    QVERIFY(dialogs_->questions.isEmpty());
    const QStringList lines = dialogs_->mixedQuestions[0].split('\n');
    if (extra == 0) {
        QCOMPARE(
            lines,
            QStringList({"他と異なるフレームがあります (2 個)", "f1.fit: 256 x 256 16 ビット FITS",
                         "f3.FIT: 256 x 256 16 ビット FITS",
                         "多くのフレーム: 256 x 256 24 ビット カラー BMP", "", "続けますか？"}));
    } else {
        QCOMPARE(lines.size(), 1 + 20 + 1 + 3);
        QCOMPARE(lines[0], QString("他と異なるフレームがあります (26 個)"));
        QCOMPARE(lines[1], QString("f0.bmp: 256 x 256 24 ビット カラー BMP"));
        QCOMPARE(lines[21], QString("ほか 6 個"));
        QCOMPARE(lines[22], QString("多くのフレーム: 8 x 8 16 ビット FITS"));
    }
    QCOMPARE(Control<QProgressBar>(s, "progressBar")->value(), 0);
    QCOMPARE(Control<QPushButton>(s, "fftButton")->text(), QString("FFT"));
    if (!answer) {
        QCOMPARE(g_started.load(), 0);
        QVERIFY(s.session().results().files.empty());
        QVERIFY(AllWhite(Control<GraphCanvas>(s, "graphCanvas")->picture()));
        QVERIFY(dialogs_->messages.isEmpty());
        return;
    }
    QCOMPARE(int(s.session().results().files.size()), 4);
    // Frames all alike ask nothing.
    openAndRun(files.mid(0, 1) + files.mid(2, 1));
    QCOMPARE(dialogs_->mixedQuestions.size(), 1);
    QCOMPARE(int(s.session().results().files.size()), 2);
}

QTEST_MAIN(SelectorWindowTest)
#include "selector_window_test.moc"
