// SER videos in the selector: listed as their frames, and their passed frames written into
// Good as a new video while the video itself stays.

#include "named_control.h"
#include "scratch_preferences.h"
#include "selector_fixtures.h"
#include "selector_window.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace framesifter;
using ser_test_files::SerBytes;
using ser_test_files::SerLayout;

namespace {

QStringList Column(const QListWidget* list, int role) {
    QStringList values;
    for (int i = 0; i < list->count(); ++i) values << list->item(i)->data(role).toString();
    return values;
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Band scores grow with the amplitude: frames 2 and 4 of the video pass at level 5.
const int kVideoAmplitudes[4] = {10, 40, 20, 45};
const int kFrameBytes = 256 * 256;

SerLayout StripeVideo() {
    SerLayout layout;
    layout.width = layout.height = 256;
    layout.count = 4;
    layout.trailer = true;  // times 1000 + frame
    return layout;
}

}  // namespace

class SelectorVideoTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { preferences_ = std::make_unique<ScratchPreferences>(); }
    void init();
    void cleanup();
    void videosListTheirFrames_data();
    void videosListTheirFrames();
    void passedFramesGoIntoANewVideo_data();
    void passedFramesGoIntoANewVideo();

private:
    QString folder() const { return QString::fromStdString(dir_->path().string()); }
    void waitForWork() { QTRY_VERIFY_WITH_TIMEOUT(!selector_->busy(), 20000); }

    std::unique_ptr<ScratchPreferences> preferences_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<SelectorWindow> selector_;
    QString startDir_;
};

void SelectorVideoTest::init() {
    ScratchPreferences::clear();
    startDir_ = QDir::currentPath();
    dir_ = std::make_unique<TempDir>();
    dialogs_ = std::make_unique<ScriptedDialogs>();
    selector_ = std::make_unique<SelectorWindow>();
    selector_->showSelector();
}

void SelectorVideoTest::cleanup() {
    selector_.reset();
    dialogs_.reset();
    QDir::setCurrent(startDir_);
    dir_.reset();
}

void SelectorVideoTest::videosListTheirFrames_data() {
    QTest::addColumn<QList<int>>("videoFrames");  // v1.ser, v2.ser, ...; 0: a broken video
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("alsoChosen");  // a name the dialog gives besides
    QTest::newRow("frame order past 9") << QList<int>{12} << 13 << ""
                                        << "";
    QTest::newRow("100000 entries") << QList<int>{60000, 39999} << 100000 << ""
                                    << "";
    QTest::newRow("one entry more") << QList<int>{60000, 40000} << 0
                                    << "フレーム数を100000個以下にしてください\n%1/v2.ser "
                                       "(40000 フレーム)"
                                    << "";
    QTest::newRow("unreadable video")
        << QList<int>{3, 0} << 0 << "ファイルを読み込めません: %1/v2.ser"
        << "";
    QTest::newRow("a frame besides its video")
        << QList<int>{3} << 0 << "同じフレームが2回選ばれています\n%1/v1.ser\n%1/v1.ser#2"
        << "v1.ser#2";
}

void SelectorVideoTest::videosListTheirFrames() {
    QFETCH(QList<int>, videoFrames);
    QFETCH(int, listed);
    QFETCH(QString, message);
    QFETCH(QString, alsoChosen);
    const QString d = folder();
    // Listing reads the header alone: frames of one pixel are enough.
    SerLayout layout;
    layout.width = layout.height = 1;
    QStringList chosen, names, paths;
    for (int v = 0; v < videoFrames.size(); ++v) {
        const QString name = QString("v%1.ser").arg(v + 1);
        layout.count = videoFrames[v];
        std::vector<std::uint8_t> bytes = SerBytes(layout, [](int, int, int, int) { return 0; });
        if (layout.count == 0) bytes.resize(20);
        dir_->write(name.toStdString(), bytes);
        chosen << d + "/" + name;
        for (int f = 1; f <= layout.count; ++f) {
            names << QString("%1 #%2").arg(name).arg(f);
            paths << QString("%1/%2#%3").arg(d, name).arg(f);
        }
    }
    chosen.prepend(d + "/a.bmp");  // listed before the videos by its name, though chosen last
    names.prepend("a.bmp");
    paths.prepend(d + "/a.bmp");
    std::rotate(chosen.begin(), chosen.begin() + 1, chosen.end());
    if (!alsoChosen.isEmpty()) chosen << d + "/" + alsoChosen;

    SelectorWindow& s = *selector_;
    dialogs_->chooseFiles(chosen, 3);
    Control<QPushButton>(s, "openButton")->click();
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), listed);
    QCOMPARE(Control<QLabel>(s, "fileCount")->text(), QString::number(listed));
    if (message.isEmpty()) {
        QVERIFY(dialogs_->messages.isEmpty());
        QCOMPARE(Column(Control<QListWidget>(s, "fileList"), Qt::DisplayRole), names);
        QCOMPARE(Column(Control<QListWidget>(s, "fileList"), SelectorWindow::kPathRole), paths);
    } else {
        QCOMPARE(dialogs_->messages.size(), 1);
        QVERIFY2(dialogs_->messages[0].startsWith(message.arg(d)),
                 qPrintable(dialogs_->messages[0]));
    }
}

void SelectorVideoTest::passedFramesGoIntoANewVideo_data() {
    QTest::addColumn<bool>("goodVideoExists");
    QTest::newRow("written") << false;
    QTest::newRow("never replaced") << true;
}

void SelectorVideoTest::passedFramesGoIntoANewVideo() {
    QFETCH(bool, goodVideoExists);
    const QString d = folder();
    const std::vector<std::uint8_t> video = SerBytes(StripeVideo(), [](int f, int x, int, int) {
        return std::uint16_t(StripeValue(x, kVideoAmplitudes[f], 30));
    });
    const QString clip = QString::fromStdString(dir_->write("clip.ser", video));
    const QString still = WriteStripesBmp(d + "/still.bmp", 50);
    QVERIFY(!still.isEmpty());
    if (goodVideoExists) {
        QVERIFY(QDir(d).mkdir("Good"));
        dir_->write("Good/clip.ser", std::string("already here"));
    }

    SelectorWindow& s = *selector_;
    dialogs_->chooseFiles({still, clip}, 3);
    Control<QPushButton>(s, "openButton")->click();
    Control<QPushButton>(s, "fftButton")->click();
    waitForWork();
    Control<QPushButton>(s, "selectButton")->click();
    const QStringList passed = {"clip.ser #2", "clip.ser #4", "still.bmp"};
    QCOMPARE(Column(Control<QListWidget>(s, "passedList"), Qt::DisplayRole), passed);
    dialogs_->answers.push_back(true);
    Control<QPushButton>(s, "moveButton")->click();
    waitForWork();

    QCOMPARE(dialogs_->questions,
             QStringList{"1 個のファイルを Good に移動し、\n動画のフレーム 2 個を Good "
                         "の同じ名前の動画に書き出しますか？\n（元の動画はそのまま残ります）"});
    QCOMPARE(Contents(clip),
             QByteArray(reinterpret_cast<const char*>(video.data()), int(video.size())));
    QVERIFY(QFile::exists(d + "/Good/still.bmp"));
    QCOMPARE(Column(Control<QListWidget>(s, "passedList"), Qt::DisplayRole), passed);
    if (goodVideoExists) {
        QCOMPARE(Contents(d + "/Good/clip.ser"), QByteArray("already here"));
        QCOMPARE(dialogs_->errors.size(), 1);
        QVERIFY(dialogs_->errors[0].contains(d + "/Good/clip.ser"));
        QCOMPARE(Column(Control<QListWidget>(s, "passedList"), SelectorWindow::kPathRole),
                 (QStringList{clip + "#2", clip + "#4", d + "/Good/still.bmp"}));
        // Undo brings the still back and leaves the video that was in Good before.
        dialogs_->folders.push_back(d + "/Good");
        s.undoMoves();
        QVERIFY(s.busy());  // the undo runs on its own thread
        waitForWork();
        QCOMPARE(dialogs_->messages.last(), QString("1 個のファイルを元の場所に戻しました"));
        QCOMPARE(Contents(d + "/Good/clip.ser"), QByteArray("already here"));
        QVERIFY(QFile::exists(still));
        return;
    }
    QVERIFY(dialogs_->errors.isEmpty());
    // The header but the count, frames 2 and 4 byte for byte, and their times.
    SerLayout two = StripeVideo();
    two.count = 2;
    std::vector<std::uint8_t> expected = ser_test_files::SerHeaderBytes(two);
    for (int f : {1, 3}) {
        const auto* frame = video.data() + 178 + std::size_t(f) * kFrameBytes;
        expected.insert(expected.end(), frame, frame + kFrameBytes);
    }
    for (std::uint64_t t : {1001, 1003}) ser_test_files::PutLe(expected, t, 8);
    QCOMPARE(Contents(d + "/Good/clip.ser"),
             QByteArray(reinterpret_cast<const char*>(expected.data()), int(expected.size())));
    // The video's frames were copied: they stay listed, with their scores, and their passes
    // point at them in the video, which is where it was; the still left the list.
    QCOMPARE(Column(Control<QListWidget>(s, "passedList"), SelectorWindow::kPathRole),
             (QStringList{clip + "#2", clip + "#4", d + "/Good/still.bmp"}));
    QCOMPARE(Control<QListWidget>(s, "fileList")->count(), int(StripeVideo().count));
    QVERIFY(Column(Control<QListWidget>(s, "fileList"), Qt::DisplayRole).startsWith("clip.ser #1"));
    QVERIFY(s.session().resultsMatch());
    // The entry reads its frame from the video.
    Control<QListWidget>(s, "passedList")->setCurrentRow(1);
    QVERIFY(dialogs_->errors.isEmpty());
    const double seen =
        (s.session().results().frameProfile[29] + s.session().results().frameProfile[30]) /
        std::sqrt(2.0);
    QVERIFY2(std::abs(seen - kVideoAmplitudes[3]) < 1, qPrintable(QString::number(seen)));
    // Moved once, never written again.
    Control<QPushButton>(s, "moveButton")->click();
    waitForWork();
    QCOMPARE(dialogs_->messages, QStringList{"移動するファイルがありません"});

    // Undo, in the last move's Good: the video written there goes, the still comes back,
    // and the entries show their origins again, ready to move once more. Then nothing is
    // left to undo.
    dialogs_->folders = {d + "/Good", d + "/Good"};
    s.undoMoves();
    waitForWork();
    QCOMPARE(dialogs_->lastFolder, d + "/Good");
    QVERIFY(dialogs_->errors.isEmpty());
    QVERIFY(!QFile::exists(d + "/Good/clip.ser"));
    QVERIFY(QFile::exists(still));
    QCOMPARE(Contents(clip),
             QByteArray(reinterpret_cast<const char*>(video.data()), int(video.size())));
    QCOMPARE(Column(Control<QListWidget>(s, "passedList"), SelectorWindow::kPathRole),
             (QStringList{clip + "#2", clip + "#4", still}));
    s.undoMoves();
    waitForWork();
    QCOMPARE(dialogs_->messages,
             (QStringList{"移動するファイルがありません",
                          "1 個のファイルを元の場所に戻しました\nGood に書き出した動画 1 "
                          "個を削除しました",
                          "このフォルダーには移動の記録がありません"}));
}

QTEST_MAIN(SelectorVideoTest)
#include "selector_video_test.moc"
