// The selector window driven as a user would, with scripted dialogs and answers.

#include "selector_fixtures.h"
#include "selector_window.h"
#include "temp_dir.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

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

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Amplitude of the stripes seen in the last analysed profile (bins 29 and 30).
double SeenAmplitude(const AnalysisResults& results) {
    return (results.frameProfile[29] + results.frameProfile[30]) / std::sqrt(2.0);
}

}  // namespace

class SelectorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layoutMatchesAndNothingIsClipped_data();
    void layoutMatchesAndNothingIsClipped();
    void openDialogMatchesExtensionsInAnyCase();
    void opening_data();
    void opening();
    void runAnalysesEveryFrameWithProgress();
    void runStopsAtATooSmallThirdFrame();
    void runStopsAtAnUnreadableFrame();
    void selectionAtSeveralLevels_data();
    void selectionAtSeveralLevels();
    void crossedMarkersPassEveryFrame();
    void selectRefusedOnStaleResults_data();
    void selectRefusedOnStaleResults();
    void spinnerStaysWithinItsRange();
    void graphPressesAndScaleButtons();
    void listClicksDrawTheFrame();
    void failedClickLeavesEverythingAsItWas();
    void moveAnsweredNo();
    void moveNeverReplacesAndReportsWhatStayed();
    void moveReportsAGoodFolderFaultOnce();
    void closingHides();
    void handlerFailuresAreReported();

private:
    QStringList writeFrames();   // the four stripe frames, two BMP and two FITS
    void openAndRun(const QStringList& files);

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<TSelector> selector_;
    QString startDir_;
};

void SelectorWindowTest::init() {
    startDir_ = QDir::currentPath();
    dir_ = std::make_unique<TempDir>();
    dialogs_ = std::make_unique<ScriptedDialogs>();
    selector_ = std::make_unique<TSelector>();
    selector_->ShowSelector();
}

void SelectorWindowTest::cleanup() {
    selector_.reset();
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
    selector_->BitBtn1->click();
    selector_->Button1->click();
}

void SelectorWindowTest::layoutMatchesAndNothingIsClipped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, QRect r, const char* text) {
        QTest::newRow(name) << QString(name) << r << QString::fromUtf8(text);
    };
    row("ListBox1", QRect(8, 32, 153, 201), "");
    row("Image1", QRect(169, 32, 256, 200), "");
    row("ListBox2", QRect(432, 32, 153, 169), "");
    row("ProgressBar1", QRect(432, 216, 153, 9), "");
    row("GroupBox3", QRect(16, 240, 145, 49), "画像");
    row("BitBtn1", QRect(40, 18, 57, 20), "開く");
    row("GroupBox2", QRect(168, 240, 257, 49), "グラフ");
    row("Button3", QRect(16, 20, 17, 17), "+");
    row("Button4", QRect(40, 20, 17, 17), "-");
    row("Button1", QRect(80, 16, 57, 25), "FFT");
    row("RadioButton1", QRect(160, 12, 89, 17), "画像の中心");
    row("RadioButton2", QRect(160, 28, 89, 17), "ピーク位置");
    row("GroupBox1", QRect(432, 240, 153, 49), "合格基準");
    row("Edit1", QRect(16, 17, 17, 20), "10");
    row("UpDown1", QRect(32, 17, 9, 20), "");
    row("Button2", QRect(48, 17, 45, 20), "Select");
    row("Button5", QRect(96, 17, 49, 20), "移動");
    row("Label1", QRect(64, 16, 0, 0), "ファイル");
    row("Label3", QRect(264, 16, 0, 0), "周波数特性");
    row("Label2", QRect(480, 16, 0, 0), "合格ファイル");
}

void SelectorWindowTest::layoutMatchesAndNothingIsClipped() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    TSelector& s = *selector_;
    QCOMPARE(s.size(), QSize(595, 297));
    QWidget* w = nullptr;
    const std::pair<const char*, QWidget*> controls[] = {
        {"ListBox1", s.ListBox1},     {"Image1", s.Image1},         {"ListBox2", s.ListBox2},
        {"ProgressBar1", s.ProgressBar1}, {"GroupBox3", s.GroupBox3}, {"BitBtn1", s.BitBtn1},
        {"GroupBox2", s.GroupBox2},   {"Button3", s.Button3},       {"Button4", s.Button4},
        {"Button1", s.Button1},       {"RadioButton1", s.RadioButton1},
        {"RadioButton2", s.RadioButton2}, {"GroupBox1", s.GroupBox1}, {"Edit1", s.Edit1},
        {"UpDown1", s.UpDown1},       {"Button2", s.Button2},       {"Button5", s.Button5},
        {"Label1", s.Label1},         {"Label3", s.Label3},         {"Label2", s.Label2}};
    for (const auto& c : controls)
        if (name == c.first) w = c.second;
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
    if (qobject_cast<QPushButton*>(w)) room -= 4;                 // the button's frame
    if (qobject_cast<QRadioButton*>(w)) room -= 13 + 4;            // indicator and gap
    if (auto* g = qobject_cast<QGroupBox*>(w)) room -= 16, text = g->title();
    if (qobject_cast<QLineEdit*>(w)) room -= 2;                    // the frame's lines
    QVERIFY2(fm.horizontalAdvance(text) <= room,
             qPrintable(QString("%1: %2 px of text in %3 px")
                            .arg(name).arg(fm.horizontalAdvance(text)).arg(room)));
    QVERIFY(fm.height() <= std::max(geometry.height(), 17));
    // The label "合格ファイル" must end before the count beside it.
    if (name == "Label2") QVERIFY(w->geometry().right() < s.Label5->x());
}

void SelectorWindowTest::openDialogMatchesExtensionsInAnyCase() {
    const QString d = QString::fromStdString(dir_->path().string());
    for (const char* name : {"a.bmp", "b.BMP", "c.fit", "d.FIT", "e.Fts", "f.fits", "g.jpg",
                             "h.JPG", "i.jpeg", "j.JpEg", "k.png"})
        QVERIFY(QFile(d + "/" + name).open(QIODevice::WriteOnly));
    const QStringList filters = TSelector::OpenFilters();
    QCOMPARE(filters.size(), 3);
    const QString labels[3] = {"BMP (*.bmp)", "FITS (*.fit, *.fts, *.fits)",
                               "JPEG (*.jpg, *.jpeg)"};
    const QStringList expected[3] = {{"a.bmp", "b.BMP"},
                                     {"c.fit", "d.FIT", "e.Fts", "f.fits"},
                                     {"g.jpg", "h.JPG", "i.jpeg", "j.JpEg"}};
    for (int i = 0; i < 3; ++i) {
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
    QTest::addColumn<int>("count");   // -1: cancelled
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("label4");
    QTest::addColumn<int>("messages");
    QTest::newRow("4000 accepted") << 4000 << 4000 << "4000" << 0;
    QTest::newRow("4001 refused") << 4001 << 0 << "3" << 1;
    QTest::newRow("cancelled") << -1 << 3 << "3" << 0;
    QTest::newRow("one") << 1 << 1 << "1" << 0;
}

void SelectorWindowTest::opening() {
    QFETCH(int, count);
    QFETCH(int, listed);
    QFETCH(QString, label4);
    QFETCH(int, messages);
    TSelector& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    // A first opening of three frames and a selection, so there is something to lose.
    openAndRun(writeFrames().mid(0, 3));
    s.Button2->click();
    QCOMPARE(s.Label5->text(), QString("1"));
    QVERIFY(QDir::setCurrent(startDir_));

    if (count < 0) {
        dialogs_->cancel();
    } else {
        QStringList files;
        for (int i = 0; i < count; ++i) files << QString("%1/frame%2.bmp").arg(d).arg(i, 4, 10, QChar('0'));
        dialogs_->chooseFiles(files);
    }
    s.BitBtn1->click();
    QCOMPARE(s.ListBox1->count(), listed);
    QCOMPARE(s.ListBox3->count(), listed);
    QCOMPARE(s.Label4->text(), label4);
    QCOMPARE(dialogs_->messages.size(), messages);
    if (messages) QCOMPARE(dialogs_->messages.first(), QString("ファイル数を4000個以下にしてください"));
    // An accepted choice, refused or not, empties the pass list and leaves Label5.
    QCOMPARE(s.ListBox2->count(), count < 0 ? 1 : 0);
    QCOMPARE(s.ListBox4->count(), count < 0 ? 1 : 0);
    QCOMPARE(s.Label5->text(), QString("1"));
    // The dialog's folder becomes the current one.
    QCOMPARE(QDir::current().canonicalPath(),
             count < 0 ? QDir(startDir_).canonicalPath() : QDir(d).canonicalPath());
    if (count > 0 && listed > 0) {
        QCOMPARE(s.ListBox1->item(listed - 1)->text(),
                 QString("frame%1.bmp").arg(listed - 1, 4, 10, QChar('0')));
        QCOMPARE(s.ListBox3->item(listed - 1)->text(),
                 QString("%1/frame%2.bmp").arg(d).arg(listed - 1, 4, 10, QChar('0')));
    }
    QCOMPARE(dialogs_->lastFilters, TSelector::OpenFilters());
}

void SelectorWindowTest::runAnalysesEveryFrameWithProgress() {
    TSelector& s = *selector_;
    const QStringList files = writeFrames();
    dialogs_->chooseFiles(files);
    s.BitBtn1->click();
    QList<int> positions;
    connect(s.ProgressBar1, &QProgressBar::valueChanged, this,
            [&](int v) { positions << v; });
    s.ProgressBar1->setValue(9);
    positions.clear();
    s.Button1->click();
    QCOMPARE(positions, (QList<int>{0, 25, 50, 75, 0}));
    QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());
    // Each frame's column holds its stripes, BMP and FITS alike.
    for (int k = 0; k < 4; ++k) {
        const double seen = (s.Results.profileTable[29][k] + s.Results.profileTable[30][k]) /
                            std::sqrt(2.0);
        QVERIFY2(std::abs(seen - kAmplitudes[k]) < 1.5,
                 qPrintable(QString("file %1: %2").arg(k).arg(seen)));
        QCOMPARE(s.Results.profileTable[0][k], 141);   // 100 * sqrt(2)
    }
    // Largest and smallest totals: the strongest and the weakest stripes.
    QVERIFY(std::abs(s.Results.largest[30] - 40 / std::sqrt(2.0)) < 1);
    QVERIFY(std::abs(s.Results.smallest[30] - 10 / std::sqrt(2.0)) < 1);
    // The summary form: three curves, no frame curve.
    const QImage& g = s.Image1->Picture;
    QVERIFY(HasColour(g, GraphAverageColour()));
    QVERIFY(HasColour(g, GraphLargestColour()));
    QVERIFY(HasColour(g, GraphSmallestColour()));
    QVERIFY(!HasColour(g, GraphFrameColour()));
    // Three frames: 0, 33, 66.
    dialogs_->chooseFiles(files.mid(0, 3));
    s.BitBtn1->click();
    positions.clear();
    s.ProgressBar1->setValue(5);
    positions.clear();
    s.Button1->click();
    QCOMPARE(positions, (QList<int>{0, 33, 66, 0}));
}

void SelectorWindowTest::runStopsAtATooSmallThirdFrame() {
    TSelector& s = *selector_;
    QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    files[2] = WriteStripesBmp(d + "/small.bmp", 20, 200, 300);
    dialogs_->chooseFiles(files);
    s.BitBtn1->click();
    const QImage before = s.Image1->Picture;
    s.Button1->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(dialogs_->messages[0].startsWith("画像サイズは256x256以上にしてください"));
    QVERIFY(dialogs_->messages[0].contains(files[2]));
    QCOMPARE(s.ProgressBar1->value(), 50);
    QCOMPARE(s.Image1->Picture, before);   // not redrawn
    QVERIFY(s.Results.profileTable[30][1] > 0);
    QCOMPARE(s.Results.profileTable[30][2], 0);
    QCOMPARE(s.Results.profileTable[0][3], 0);
    // A stopped run cannot be selected from.
    s.Button2->click();
    QCOMPARE(dialogs_->messages.last(), QString("先にFFTを実行してください"));
    QCOMPARE(s.ListBox2->count(), 0);
}

void SelectorWindowTest::runStopsAtAnUnreadableFrame() {
    TSelector& s = *selector_;
    QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    files[1] = d + "/broken.bmp";
    QFile f(files[1]);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("BM not really a bitmap");
    f.close();
    dialogs_->chooseFiles(files);
    s.BitBtn1->click();
    s.Button1->click();
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].contains(files[1]));
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(s.ProgressBar1->value(), 25);
    QVERIFY(s.Results.files.empty());
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
    TSelector& s = *selector_;
    const QStringList files = writeFrames();
    openAndRun(files);
    s.ProgressBar1->setValue(40);
    s.UpDown1->setPosition(level);
    s.UpDown1Click();
    QCOMPARE(s.Edit1->text(), QString::number(level));
    s.Button2->click();
    QCOMPARE(Texts(s.ListBox2), passed);
    QStringList paths;
    for (const QString& name : passed) paths << files[name[1].digitValue()];
    QCOMPARE(Texts(s.ListBox4), paths);   // full paths
    QCOMPARE(s.Label5->text(), QString::number(passed.size()));
    QCOMPARE(s.ProgressBar1->value(), 0);
    QVERIFY(dialogs_->messages.isEmpty());
}

void SelectorWindowTest::crossedMarkersPassEveryFrame() {
    TSelector& s = *selector_;
    openAndRun(writeFrames());
    QTest::mouseClick(s.Image1, Qt::LeftButton, {}, QPoint(121, 10));    // BandLow 60
    QTest::mouseClick(s.Image1, Qt::RightButton, {}, QPoint(20, 190));   // BandHigh 10
    QCOMPARE(s.View.band.low, 60);
    QCOMPARE(s.View.band.high, 10);
    s.UpDown1->setPosition(10);
    s.Button2->click();
    QCOMPARE(s.ListBox2->count(), 4);
    QCOMPARE(s.Label5->text(), QString("4"));
}

void SelectorWindowTest::selectRefusedOnStaleResults_data() {
    QTest::addColumn<int>("situation");
    QTest::newRow("no run yet") << 0;
    QTest::newRow("other files opened since") << 1;
    QTest::newRow("same files in another order") << 2;
}

void SelectorWindowTest::selectRefusedOnStaleResults() {
    QFETCH(int, situation);
    TSelector& s = *selector_;
    const QStringList files = writeFrames();
    if (situation == 0) {
        dialogs_->chooseFiles(files);
        s.BitBtn1->click();
    } else {
        openAndRun(files);
        s.Button2->click();
        QCOMPARE(s.ListBox2->count(), 2);
        QStringList other = situation == 1 ? files.mid(1) : QStringList{files[1], files[0],
                                                                       files[2], files[3]};
        dialogs_->chooseFiles(other);
        s.BitBtn1->click();
    }
    s.ListBox2->addItem("kept.bmp");   // stands for a pass list that must stay as it is
    s.Button2->click();
    QCOMPARE(dialogs_->messages, QStringList{"先にFFTを実行してください"});
    QCOMPARE(Texts(s.ListBox2), QStringList{"kept.bmp"});
    // After a run over exactly these files, the selection goes ahead.
    s.Button1->click();
    s.Button2->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(!Texts(s.ListBox2).contains("kept.bmp"));
}

void SelectorWindowTest::spinnerStaysWithinItsRange() {
    TSelector& s = *selector_;
    QCOMPARE(s.UpDown1->position(), 5);
    QCOMPARE(s.Edit1->text(), QString("5"));
    const QPoint up(4, 3), down(4, 16);
    for (int i = 0; i < 10; ++i) QTest::mouseClick(s.UpDown1, Qt::LeftButton, {}, up);
    QCOMPARE(s.UpDown1->position(), 10);
    QCOMPARE(s.Edit1->text(), QString("10"));
    for (int i = 0; i < 13; ++i) QTest::mouseClick(s.UpDown1, Qt::LeftButton, {}, down);
    QCOMPARE(s.UpDown1->position(), 0);
    QCOMPARE(s.Edit1->text(), QString("0"));
    s.UpDown1->setFocus();
    QTest::keyClick(s.UpDown1, Qt::Key_Up);
    QCOMPARE(s.Edit1->text(), QString("1"));
    // The field always shows the spinner's value.
    s.Edit1->setText("7");
    QCOMPARE(s.Edit1->text(), QString("1"));
}

void SelectorWindowTest::graphPressesAndScaleButtons() {
    TSelector& s = *selector_;
    openAndRun(writeFrames());
    auto black = [&](int x) {
        for (int y = 0; y < 200; ++y)
            if ((s.Image1->Picture.pixel(x, y) & 0xffffff) != 0) return false;
        return true;
    };
    QTest::mouseClick(s.Image1, Qt::LeftButton, {}, QPoint(101, 50));
    QCOMPARE(s.View.band.low, 50);
    QVERIFY(black(100));
    QVERIFY(!black(50));
    QTest::mouseClick(s.Image1, Qt::RightButton, {}, QPoint(0, 50));
    QCOMPARE(s.View.band.high, 0);
    QVERIFY(black(0));
    QVERIFY(!black(100) || s.View.band.low == 50);

    // "+" nine times to 51.2; the tenth press neither changes nor redraws.
    for (int i = 0; i < 9; ++i) s.Button3->click();
    QCOMPARE(s.View.scale, 51.2);
    s.Image1->Picture.setPixel(200, 100, qRgb(1, 2, 3));
    s.Button3->click();
    QCOMPARE(s.View.scale, 51.2);
    QCOMPARE(s.Image1->Picture.pixel(200, 100) & 0xffffff, 0x010203u);
    for (int i = 0; i < 12; ++i) s.Button4->click();
    QCOMPARE(s.View.scale, 0.0125);
    s.Image1->Picture.setPixel(200, 100, qRgb(1, 2, 3));
    s.Button4->click();
    QCOMPARE(s.View.scale, 0.0125);
    QCOMPARE(s.Image1->Picture.pixel(200, 100) & 0xffffff, 0x010203u);
    // The scale form draws the last frame's profile too.
    std::fill(std::begin(s.Results.frameProfile), std::end(s.Results.frameProfile), 1000.0);
    for (int i = 0; i < 3; ++i) s.Button3->click();
    QVERIFY(HasColour(s.Image1->Picture, GraphFrameColour()));
    // A middle press changes nothing.
    s.Image1->Picture.setPixel(200, 100, qRgb(1, 2, 3));
    QTest::mouseClick(s.Image1, Qt::MiddleButton, {}, QPoint(30, 50));
    QCOMPARE(s.View.band.low, 50);
    QCOMPARE(s.Image1->Picture.pixel(200, 100) & 0xffffff, 0x010203u);
    // A press redraws the summary form: the frame curve goes.
    QTest::mouseClick(s.Image1, Qt::LeftButton, {}, QPoint(60, 50));
    QVERIFY(!HasColour(s.Image1->Picture, GraphFrameColour()));
}

void SelectorWindowTest::listClicksDrawTheFrame() {
    TSelector& s = *selector_;
    const QStringList files = writeFrames();
    openAndRun(files);
    QVERIFY(!HasColour(s.Image1->Picture, GraphFrameColour()));
    const std::vector<int> table0(s.Results.profileTable[30], s.Results.profileTable[30] + 4);

    // Mouse on the file list.
    QListWidget* list = s.ListBox1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[2]) < 1.5);
    QVERIFY(HasColour(s.Image1->Picture, GraphFrameColour()));
    // A click on the entry already selected analyses it again.
    std::fill(std::begin(s.Results.frameProfile), std::end(s.Results.frameProfile), 0.0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[2]) < 1.5);
    // Keyboard.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 3);
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[3]) < 1.5);
    // Clicks leave the run's results alone.
    QCOMPARE(std::vector<int>(s.Results.profileTable[30], s.Results.profileTable[30] + 4), table0);
    QVERIFY(s.Results.files.size() == 4);

    // The pass list, before and after a move.
    s.Button2->click();
    QCOMPARE(Texts(s.ListBox2), (QStringList{"f1.fit", "f3.FIT"}));
    s.ListBox2->setCurrentRow(0);
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[1]) < 1.5);
    dialogs_->answers.push_back(true);
    s.Button5->click();
    const QString good = QString::fromStdString(dir_->path().string()) + "/Good/f3.FIT";
    QCOMPARE(s.ListBox4->item(1)->text(), good);
    QVERIFY(QFile::exists(good));
    s.ListBox2->setCurrentRow(1);
    QVERIFY(dialogs_->errors.isEmpty());
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[3]) < 1.5);
}

void SelectorWindowTest::failedClickLeavesEverythingAsItWas() {
    TSelector& s = *selector_;
    const QString d = QString::fromStdString(dir_->path().string());
    QStringList files = writeFrames();
    files << WriteStripesBmp(d + "/small.bmp", 20, 300, 255) << d + "/gone.bmp";
    dialogs_->chooseFiles(files);
    s.BitBtn1->click();
    // A click before any run builds the tables and draws the frame on its own.
    s.ListBox1->setCurrentRow(1);
    QVERIFY(std::abs(SeenAmplitude(s.Results) - kAmplitudes[1]) < 1.5);
    const QImage shown = s.Image1->Picture;
    std::vector<double> profile(std::begin(s.Results.frameProfile), std::end(s.Results.frameProfile));
    for (int row : {4, 5}) {
        s.ListBox1->setCurrentRow(row);
        QCOMPARE(dialogs_->errors.size(), row - 3);
        QVERIFY(dialogs_->errors.last().contains(files[row]));
        QCOMPARE(s.Image1->Picture, shown);
        QCOMPARE(std::vector<double>(std::begin(s.Results.frameProfile), std::end(s.Results.frameProfile)),
                 profile);
    }
}

void SelectorWindowTest::moveAnsweredNo() {
    TSelector& s = *selector_;
    // An empty pass list asks nothing.
    s.Button5->click();
    QVERIFY(dialogs_->questions.isEmpty());
    const QStringList files = writeFrames();
    openAndRun(files);
    s.Button2->click();
    dialogs_->answers.push_back(false);
    s.Button5->click();
    QCOMPARE(dialogs_->questions, QStringList{"合格ファイルをGoodフォルダに移動しますか？"});
    QVERIFY(!QFileInfo::exists(QString::fromStdString(dir_->file("Good"))));
    for (const QString& f : files) QVERIFY(QFile::exists(f));
    QCOMPARE(s.ListBox1->count(), 4);
    QCOMPARE(s.ListBox2->count(), 2);
    QCOMPARE(Texts(s.ListBox4), (QStringList{files[1], files[3]}));
}

void SelectorWindowTest::moveNeverReplacesAndReportsWhatStayed() {
    TSelector& s = *selector_;
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
    s.Button2->click();
    // The main window's dialogs may have moved the current directory meanwhile.
    QVERIFY(QDir::setCurrent(startDir_));
    dialogs_->answers.push_back(true);
    s.Button5->click();

    QCOMPARE(Contents(d + "/Good/f1.fit"), QByteArray("already here"));
    QCOMPARE(Contents(files[1]), f1);
    QVERIFY(!QFile::exists(files[3]));
    QVERIFY(QFile::exists(d + "/Good/f3.FIT"));
    QCOMPARE(Texts(s.ListBox4), (QStringList{files[1], d + "/Good/f3.FIT"}));
    QCOMPARE(Texts(s.ListBox2), (QStringList{"f1.fit", "f3.FIT"}));
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].startsWith("移動できなかったファイルがあります"));
    QVERIFY(dialogs_->errors[0].contains(files[1]));
    QVERIFY(!dialogs_->errors[0].contains("f3.FIT"));
    QCOMPARE(s.ListBox1->count(), 0);
    QCOMPARE(s.ListBox3->count(), 0);
    QCOMPARE(s.Label4->text(), QString("4"));
    QCOMPARE(s.Label5->text(), QString("2"));
    // FFT and Select do nothing on the emptied file list.
    s.Button1->click();
    s.Button2->click();
    QCOMPARE(s.ListBox2->count(), 2);

    // Once the way is clear, a second press moves what stayed, and only that.
    QVERIFY(QFile::remove(d + "/Good/f1.fit"));
    dialogs_->answers.push_back(true);
    s.Button5->click();
    QCOMPARE(dialogs_->errors.size(), 1);
    QCOMPARE(Contents(d + "/Good/f1.fit"), f1);
    QVERIFY(QFile::exists(d + "/Good/f3.FIT"));
    QVERIFY(!QFileInfo::exists(d + "/Good/Good"));
    QCOMPARE(Texts(s.ListBox4), (QStringList{d + "/Good/f1.fit", d + "/Good/f3.FIT"}));
}

void SelectorWindowTest::moveReportsAGoodFolderFaultOnce() {
    TSelector& s = *selector_;
    const QStringList files = writeFrames();
    const QString d = QString::fromStdString(dir_->path().string());
    {
        QFile plain(d + "/Good");
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }
    openAndRun(files);
    s.Button2->click();
    QVERIFY(QDir::setCurrent(startDir_));
    dialogs_->answers.push_back(true);
    s.Button5->click();
    QCOMPARE(dialogs_->errors.size(), 1);
    QCOMPARE(dialogs_->errors[0].count("not a folder"), 1);
    QVERIFY(dialogs_->errors[0].contains("(2 個のファイル)"));
    QCOMPARE(Texts(s.ListBox4), (QStringList{files[1], files[3]}));
}

void SelectorWindowTest::closingHides() {
    TSelector& s = *selector_;
    openAndRun(writeFrames());
    s.close();
    QVERIFY(!s.isVisible());
    s.ShowSelector();
    QVERIFY(s.isVisible());
    QCOMPARE(s.ListBox1->count(), 4);
    // Showing clears the graph to white.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 256; ++x) QCOMPARE(s.Image1->Picture.pixel(x, y) & 0xffffff, 0xffffffu);
}

void SelectorWindowTest::handlerFailuresAreReported() {
    TSelector& s = *selector_;
    openAndRun(writeFrames());
    dialogs_->failOpen = true;
    s.BitBtn1->click();   // must not throw into the event loop
    QCOMPARE(dialogs_->errors, QStringList{"scripted failure"});
    QCOMPARE(s.ListBox1->count(), 4);
}

QTEST_MAIN(SelectorWindowTest)
#include "selector_window_test.moc"
