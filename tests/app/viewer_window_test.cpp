// The viewer's windows under the offscreen platform, with scripted dialogs.

#include "child.h"
#include "fake_dialogs.h"
#include "image_fixtures.h"
#include "main_form.h"
#include "selector_window.h"
#include "settings_file.h"
#include "startup.h"
#include "temp_dir.h"
#include "update_notice.h"
#include "version.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

class ViewerWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    QString startDir_;
    QStringList order_;

    QString path(const QString& name) const {
        return QString::fromStdString(dir_->file(name.toStdString()));
    }
    QString folder() const { return QString::fromStdString(dir_->path().string()); }

    // A program start in the test's folder.
    void start() {
        Binning = 1;
        order_.clear();
        CreateWindows(&order_);
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }
    void open(const QStringList& names, int filter) {
        QStringList files;
        for (const QString& n : names) files << (n.startsWith('/') ? n : path(n));
        dialogs_->chooseOpen(files, filter);
        MainForm->OpenButtonClick();
    }
    QList<TChild*> windows() const { return MainForm->ImageWindows(); }
    QStringList captions() const {
        QStringList c;
        for (TChild* w : windows()) c << w->windowTitle();
        return c;
    }
    void activate(TChild* child) {
        MainForm->MdiArea->setActiveSubWindow(child);
        QCOMPARE(MainForm->ActiveImageWindow(), child);
    }

private slots:
    void init() {
        startDir_ = QDir::currentPath();
        dir_ = std::make_unique<TempDir>();
        QDir::setCurrent(folder());
        dialogs_ = std::make_unique<FakeDialogs>();
    }
    void cleanup() {
        DestroyWindows();
        QDir::setCurrent(startDir_);
        dialogs_.reset();
        dir_.reset();
        Binning = 1;
    }

    void startUpCreatesTheWindowsInOrderAndHidden() {
        start();
        QCOMPARE(order_, (QStringList{"TMainForm", "TVersion", "TSelector", "TUpDate"}));
        QVERIFY(MainForm && Version && Selector && UpDate);
        QVERIFY(MainForm->isVisible());
        QVERIFY(!Version->isVisible());
        QVERIFY(!Selector->isVisible());
        QVERIFY(!UpDate->isVisible());
        QCOMPARE(MainForm->windowTitle(), QString("FrameSifter"));
        QCOMPARE(MainForm->size(), QSize(795, 589));
        QCOMPARE(MainForm->Edit1->text(), QString());
        QVERIFY(MainForm->Label3->isHidden());
        QCOMPARE(MainForm->Label3->text(), QString("(0,0)"));
        QCOMPARE(MainForm->Button3->text(), QString("セレクト"));
        QCOMPARE(MainForm->OpenButton->toolTip(), QString("Open"));
        QCOMPARE(MainForm->SaveButton->toolTip(), QString("Save"));
        QCOMPARE(MainForm->OpenButton->focusPolicy(), Qt::NoFocus);
        QCOMPARE(MainForm->SpeedBar->height(), 33);
        QCOMPARE(MainForm->MdiArea->background().color(), QColor(128, 128, 128));

        QStringList bar;
        for (QAction* a : MainForm->menuBar()->actions()) bar << a->text();
        QCOMPARE(bar, (QStringList{"ファイル(&F)", "セレクト(&S)", "ウィンドウ(&W)", "バージョン(&V)"}));
        QStringList file;
        for (QAction* a : MainForm->File1->actions()) file << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(file, (QStringList{"開く(&O)", "-", "保存(&S)", "終了(&Q)"}));
        QCOMPARE(MainForm->S2->text(), QString("設定(&S)"));
        QCOMPARE(MainForm->Window1->actions().size(), 2);
        QCOMPARE(MainForm->C1->text(), QString("このウィンドウを閉じる(&C)"));
        QCOMPARE(MainForm->L1->text(), QString("すべてを閉じる(&L)"));
        QVERIFY(!MainForm->V1->menu());
    }

    void commandErrorsAreShownAndTheProgramGoesOn() {
        start();
        RunCommand(MainForm, [] { throw std::runtime_error("disk on fire"); });
        QCOMPARE(dialogs_->errors, QStringList{"disk on fire"});
        // The same guard keeps an exception from a button's handler away from Qt.
        QObject::connect(MainForm->Button2, &QPushButton::clicked, MainForm,
                         [] { RunCommand(MainForm, [] { throw 42; }); });
        QTest::mouseClick(MainForm->Button2, Qt::LeftButton);
        QCOMPARE(dialogs_->errors.size(), 2);
        QVERIFY(MainForm->isVisible());
    }

    void openSeveralFilesOfEachKind_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("depth");
        QTest::newRow("BMP") << 0 << QStringList{"a.bmp", "b.bmp", "c.bmp"} << 32;
        QTest::newRow("FITS") << 1 << QStringList{"a.fit", "b.fts", "c.fits"} << 24;
        QTest::newRow("JPEG") << 2 << QStringList{"a.jpg", "b.jpeg", "c.jpg"} << 24;
        // The entry decides, not the name.
        QTest::newRow("FITS named .bmp") << 1 << QStringList{"a.bmp", "b.bmp", "c.bmp"} << 24;
    }
    void openSeveralFilesOfEachKind() {
        QFETCH(int, filter);
        QFETCH(QStringList, names);
        QFETCH(int, depth);
        const QList<QSize> sizes{{640, 480}, {31, 17}, {5, 300}};
        for (int i = 0; i < 3; ++i) {
            const QSize s = sizes[i];
            if (filter == 0) QVERIFY(Pattern(s.width(), s.height()).save(path(names[i]), "BMP"));
            if (filter == 1) QVERIFY(WriteFitsFile(path(names[i]), std::vector<std::uint16_t>(s.width() * s.height(), 900), s.width(), s.height()));
            if (filter == 2) QVERIFY(WriteJpegFile(path(names[i]), Pattern(s.width(), s.height())));
        }
        QDir::setCurrent(QDir::rootPath());
        start();
        open(names, filter);
        QCOMPARE(dialogs_->errors, QStringList());
        QCOMPARE(dialogs_->lastTitle, QString("Open an Image for Viewing"));
        QCOMPARE(captions(), names);
        for (int i = 0; i < 3; ++i) {
            TChild* w = windows()[i];
            QCOMPARE(w->Picture().size(), sizes[i]);
            QCOMPARE(w->ShownSize(), sizes[i]);
            QCOMPARE(w->ImageZm->size(), sizes[i]);
            QCOMPARE(w->DemX, sizes[i].width());
            QCOMPARE(w->DemY, sizes[i].height());
            QCOMPARE(w->ColN, 3);
            QCOMPARE(w->ZomN, 0);
            QCOMPARE(w->Picture().depth(), depth);
        }
        QCOMPARE(MainForm->Edit1->text(), QString("100%"));
        QCOMPARE(MainForm->ActiveImageWindow(), windows().last());
        QCOMPARE(QDir::currentPath(), folder());  // the chosen folder becomes the current one
        // The next use of the dialog starts with the entry chosen last.
        MainForm->Open1Click();
        QCOMPARE(dialogs_->lastInitialFilter, filter);
        QCOMPARE(dialogs_->openCalls, 2);
    }

    void fitsGreyLevelsAndPaletteBmp() {
        QVERIFY(WriteFitsFile(path("g.fit"), {65535, 32768, 257, 256}, 4, 1));
        QVERIFY(WriteFitsFile(path("black.fit"), {0, 0, 0, 0}, 2, 2));
        QVERIFY(PaletteImage(12, 6).save(path("p8.bmp"), "BMP"));
        QVERIFY(WriteJpegFile(path("photo.jpg"), Pattern(24, 16)));
        start();
        open({"g.fit", "black.fit"}, 1);
        QCOMPARE(windows().size(), 2);
        const QImage grey = windows()[0]->Picture();
        const int expected[] = {255, 127, 1, 0};
        for (int x = 0; x < 4; ++x) QCOMPARE(grey.pixel(x, 0), qRgb(expected[x], expected[x], expected[x]));
        QCOMPARE(windows()[1]->Picture().pixel(1, 1), qRgb(0, 0, 0));
        open({"p8.bmp", "photo.jpg"}, 0);
        QCOMPARE(windows()[2]->Picture().format(), QImage::Format_Indexed8);
        QCOMPARE(windows()[3]->Picture().depth(), 24);
        QCOMPARE(windows()[3]->windowTitle(), QString("photo.jpg"));
    }

    void unreadableFileIsNamedAndStopsTheRest_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("bad");
        QTest::newRow("FITS truncated") << 1 << "bad.fit";
        QTest::newRow("FITS missing") << 1 << "missing.fit";
        QTest::newRow("BMP corrupt") << 0 << "bad.bmp";
        QTest::newRow("JPEG corrupt") << 2 << "bad.jpg";
    }
    void unreadableFileIsNamedAndStopsTheRest() {
        QFETCH(int, filter);
        QFETCH(QString, bad);
        const QString ext = QFileInfo(bad).suffix();
        const QStringList names{"one." + ext, bad, "three." + ext};
        for (const QString& n : {names[0], names[2]}) {
            if (filter == 0) QVERIFY(Pattern(8, 8).save(path(n), "BMP"));
            if (filter == 1) QVERIFY(WriteFitsFile(path(n), std::vector<std::uint16_t>(64, 7), 8, 8));
            if (filter == 2) QVERIFY(WriteJpegFile(path(n), Pattern(8, 8)));
        }
        if (bad != "missing.fit") QVERIFY(WriteBytes(path(bad), FileBytes(path(names[0])).left(100)));
        start();
        open({"one." + ext}, filter);  // a window already open stays
        open(names, filter);
        QCOMPARE(dialogs_->errors.size(), 1);
        QVERIFY2(dialogs_->errors[0].contains(path(bad)), qPrintable(dialogs_->errors[0]));
        QCOMPARE(captions(), (QStringList{names[0], names[0]}));
        QVERIFY(MainForm->isVisible());
    }

    void zoomInAndOutOf768x512_data() {
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("exponents");
        QTest::newRow("in x4") << "++++"
            << QList<QSize>{{1536, 1024}, {3072, 2048}, {6144, 4096}, {6144, 4096}}
            << QStringList{"200.0%", "400.0%", "800.0%", "800.0%"} << QList<int>{1, 2, 3, 3};
        QTest::newRow("out x2") << "--" << QList<QSize>{{384, 256}, {192, 128}}
            << QStringList{"50.0%", "25.0%"} << QList<int>{-1, -2};
        QTest::newRow("out then in") << "--++" << QList<QSize>{{384, 256}, {192, 128}, {384, 256}, {768, 512}}
            << QStringList{"50.0%", "25.0%", "50.0%", "100.0%"} << QList<int>{-1, -2, -1, 0};
        // Down to 6 x 4 at 1/128, 3 x 2 at 1/256, 1 x 1 at 1/512; below that nothing changes.
        QTest::newRow("lower limit") << "-----------"
            << QList<QSize>{{384, 256}, {192, 128}, {96, 64}, {48, 32}, {24, 16}, {12, 8}, {6, 4}, {3, 2}, {1, 1}, {1, 1}, {1, 1}}
            << QStringList{"50.0%", "25.0%", "12.5%", "6.2%", "3.1%", "1.6%", "0.8%", "0.4%", "0.2%", "0.2%", "0.2%"}
            << QList<int>{-1, -2, -3, -4, -5, -6, -7, -8, -9, -9, -9};
    }
    void zoomInAndOutOf768x512() {
        QFETCH(QString, presses);
        QFETCH(QList<QSize>, sizes);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, exponents);
        QVERIFY(Pattern(768, 512).save(path("big.bmp"), "BMP"));
        start();
        open({"big.bmp"}, 0);
        TChild* w = windows().first();
        const QImage before = w->Picture();
        for (int i = 0; i < presses.size(); ++i) {
            QTest::mouseClick(presses[i] == '+' ? MainForm->Button1 : MainForm->Button2, Qt::LeftButton);
            QCOMPARE(w->ShownSize(), sizes[i]);
            QCOMPARE(MainForm->Edit1->text(), texts[i]);
            QCOMPARE(w->ZomN, exponents[i]);
            // The window's client area follows the shown picture.
            QVERIFY(w->widget()->width() >= sizes[i].width());
            if (sizes[i].width() > 200) QCOMPARE(w->widget()->size(), sizes[i]);
        }
        QCOMPARE(w->ImageZm->size(), QSize(768, 512));
        QCOMPARE(w->Picture(), before);
        QCOMPARE(w->DemX, 768);
    }

    void smallPicturesTruncateTheirZoomedSize() {
        QVERIFY(Pattern(5, 5).save(path("five.bmp"), "BMP"));
        QVERIFY(Pattern(3, 9).save(path("three.bmp"), "BMP"));
        start();
        open({"five.bmp", "three.bmp"}, 0);
        TChild* five = windows()[0];
        TChild* three = windows()[1];
        activate(five);
        MainForm->Button2Click();
        QCOMPARE(five->ShownSize(), QSize(2, 2));
        MainForm->Button2Click();
        QCOMPARE(five->ShownSize(), QSize(1, 1));
        MainForm->Button2Click();  // would be 0 x 0: refused
        QCOMPARE(five->ShownSize(), QSize(1, 1));
        QCOMPARE(five->ZomN, -2);
        // Activation derives the text from the truncated width: 3 -> 1 pixel reads 25.0%.
        activate(three);
        MainForm->Button2Click();
        QCOMPARE(three->ShownSize(), QSize(1, 4));
        QCOMPARE(MainForm->Edit1->text(), QString("50.0%"));
        activate(five);
        activate(three);
        QCOMPARE(MainForm->Edit1->text(), QString("25.0%"));
    }

    void switchingAndClosingWindowsUpdatesTheZoomText() {
        QVERIFY(Pattern(64, 32).save(path("a.bmp"), "BMP"));
        QVERIFY(Pattern(40, 40).save(path("b.bmp"), "BMP"));
        QVERIFY(Pattern(16, 16).save(path("c.bmp"), "BMP"));
        start();
        open({"a.bmp", "b.bmp", "c.bmp"}, 0);
        QCOMPARE(MainForm->Edit1->text(), QString("100%"));
        const QList<TChild*> w = windows();
        activate(w[0]);
        QCOMPARE(MainForm->Edit1->text(), QString("100.0%"));
        MainForm->Button1Click();
        MainForm->Button1Click();
        activate(w[1]);
        MainForm->Button2Click();
        QCOMPARE(MainForm->Edit1->text(), QString("50.0%"));
        activate(w[0]);
        QCOMPARE(MainForm->Edit1->text(), QString("400.0%"));
        activate(w[2]);
        QCOMPARE(MainForm->Edit1->text(), QString("100.0%"));
        activate(w[1]);
        QCOMPARE(MainForm->Edit1->text(), QString("50.0%"));
        // Closing the active window activates another; the text follows it, and each
        // remaining window keeps its own zoom.
        QPointer<TChild> closed = w[1];
        MainForm->C1Click();
        QTRY_VERIFY(closed.isNull());
        TChild* now = MainForm->ActiveImageWindow();
        QVERIFY(now == w[0] || now == w[2]);
        QCOMPARE(MainForm->Edit1->text(), QString(now == w[0] ? "400.0%" : "100.0%"));
        QCOMPARE(w[0]->ZomN, 2);
        QCOMPARE(w[0]->ShownSize(), QSize(256, 128));
        // Closing the last window leaves the text as it was.
        MainForm->L1Click();
        QTRY_VERIFY(windows().isEmpty());
        QVERIFY(!MainForm->Edit1->text().isEmpty());
        // Without an image window zoom, close and save do nothing.
        MainForm->Button1Click();
        MainForm->C1Click();
        MainForm->SaveButtonClick();
        QCOMPARE(dialogs_->saveCalls, 0);
    }

    void closeActiveAndCloseAll() {
        for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) QVERIFY(Pattern(8, 8).save(path(n), "BMP"));
        start();
        MainForm->C1Click();
        MainForm->L1Click();
        open({"a.bmp", "b.bmp"}, 0);
        activate(windows()[0]);
        MainForm->C1->trigger();
        QTRY_COMPARE(captions(), QStringList{"b.bmp"});
        open({"a.bmp", "c.bmp"}, 0);
        QCOMPARE(windows().size(), 3);
        MainForm->L1->trigger();
        QTRY_VERIFY(windows().isEmpty());
        QVERIFY(MainForm->MdiArea->subWindowList().isEmpty());
    }

    void saveNamesTheFileByTheEntry_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("jpeg, no extension") << 1 << "photo" << "photo.jpg";
        QTest::newRow("jpeg, .jpeg") << 1 << "photo.jpeg" << "photo.jpg";
        QTest::newRow("bmp, .jpg") << 0 << "photo.jpg" << "photo.bmp";
        QTest::newRow("bmp, no extension") << 0 << "photo" << "photo.bmp";
        QTest::newRow("bmp, dotted folder") << 0 << "sub.dir/photo" << "sub.dir/photo.bmp";
    }
    void saveNamesTheFileByTheEntry() {
        QFETCH(int, filter);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QVERIFY(QDir(folder()).mkpath("sub.dir"));
        QVERIFY(WriteFitsFile(path("frame.fit"), {0, 1000, 2000, 65535, 100, 200}, 3, 2));
        start();
        open({"frame.fit"}, 1);
        MainForm->Button1Click();  // zoomed: still saves at 100 %
        QDir::setCurrent(QDir::rootPath());
        dialogs_->chooseSave(path(chosen), filter);
        MainForm->Save1Click();
        QCOMPARE(dialogs_->lastTitle, QString("Save an Image"));
        QCOMPARE(dialogs_->lastFilters.size(), 2);
        QCOMPARE(dialogs_->questions, QStringList());  // no question for a new file
        QCOMPARE(dialogs_->errors, QStringList());
        QVERIFY(QFileInfo::exists(path(written)));
        QVERIFY(!QFileInfo::exists(path(chosen)) || chosen == written);
        QCOMPARE(windows()[0]->windowTitle(), QFileInfo(written).fileName());
        QCOMPARE(QDir::currentPath(), QFileInfo(path(written)).absolutePath());
        const QByteArray bytes = FileBytes(path(written));
        const QImage back = QImage::fromData(bytes);
        QCOMPARE(back.size(), QSize(3, 2));
        if (filter == 0) {
            QVERIFY(bytes.startsWith("BM"));
            QCOMPARE(BmpBitsPerPixel(bytes), 24);
            QCOMPARE(back.pixel(2, 0), windows()[0]->Picture().pixel(2, 0));
        } else {
            QVERIFY(bytes.startsWith("\xFF\xD8"));
            QCOMPARE(ReadJpegTables(bytes).tables[0].at(0), 10);  // 16 at quality 70
        }
        MainForm->SaveButtonClick();
        QCOMPARE(dialogs_->lastInitialFilter, filter);
    }

    void overwriteQuestionAndJpegOpenedAsBmp() {
        QVERIFY(WriteJpegFile(path("photo.jpg"), Pattern(20, 10)));
        QVERIFY(WriteBytes(path("photo.bmp"), "existing"));
        start();
        open({"photo.jpg"}, 0);
        TChild* w = windows()[0];
        // No: nothing written, caption unchanged.
        dialogs_->chooseSave(path("photo.bmp"), 0);
        dialogs_->answers << false;
        MainForm->SaveButtonClick();
        QCOMPARE(dialogs_->questions, QStringList{QString::fromUtf8(kOverwriteQuestion)});
        QCOMPARE(dialogs_->questionDefaults, QList<bool>{true});
        QCOMPARE(FileBytes(path("photo.bmp")), QByteArray("existing"));
        QCOMPARE(w->windowTitle(), QString("photo.jpg"));
        // Yes: replaced, and a JPEG opened through the BMP entry is written as a real BMP.
        dialogs_->chooseSave(path("photo.bmp"), 0);
        dialogs_->answers << true;
        MainForm->SaveButtonClick();
        QCOMPARE(dialogs_->questions.size(), 2);
        const QByteArray bytes = FileBytes(path("photo.bmp"));
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(BmpBitsPerPixel(bytes), 24);
        QCOMPARE(w->windowTitle(), QString("photo.bmp"));
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"photo.bmp", "photo.jpg"}));
    }

    void paletteBmpSavesAsPaletteBmp() {
        QVERIFY(PaletteImage(12, 6).save(path("p8.bmp"), "BMP"));
        start();
        open({"p8.bmp"}, 0);
        dialogs_->chooseSave(path("copy"), 0);
        MainForm->SaveButtonClick();
        QCOMPARE(BmpBitsPerPixel(FileBytes(path("copy.bmp"))), 8);
        QCOMPARE(QImage(path("copy.bmp")).pixel(5, 3), windows()[0]->Picture().pixel(5, 3));
    }

    void failedSaveLosesNothing() {
        QVERIFY(Pattern(400, 400).save(path("big.bmp"), "BMP"));
        QVERIFY(WriteBytes(path("target.jpg"), "precious"));
        start();
        open({"big.bmp"}, 0);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 2048;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        dialogs_->chooseSave(path("target.jpg"), 1);
        dialogs_->answers << true;
        MainForm->SaveButtonClick();
        dialogs_->chooseSave(path("target.bmp"), 0);
        MainForm->SaveButtonClick();
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(dialogs_->errors.size(), 2);
        QVERIFY(dialogs_->errors[0].contains(path("target.jpg")));
        QVERIFY(dialogs_->errors[1].contains(path("target.bmp")));
        QCOMPARE(FileBytes(path("target.jpg")), QByteArray("precious"));
        QCOMPARE(windows()[0]->windowTitle(), QString("big.bmp"));
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"big.bmp", "target.jpg"}));
    }

    void longPathsOpenAndSave() {
        // Well past 255 bytes in all.
        QString sub = folder();
        for (int i = 0; i < 4; ++i) sub += "/" + QString(60, QChar('a' + i));
        QVERIFY(QDir().mkpath(sub));
        const QString fits = sub + "/" + QString(40, 'f') + ".fits";
        QVERIFY(fits.toUtf8().size() > 255);
        QVERIFY(WriteFitsFile(fits, {1, 2, 3, 4}, 2, 2));
        start();
        open({fits}, 1);
        QCOMPARE(dialogs_->errors, QStringList());
        QCOMPARE(windows().size(), 1);
        dialogs_->chooseSave(sub + "/out", 1);
        MainForm->SaveButtonClick();
        QVERIFY(QFileInfo::exists(sub + "/out.jpg"));
    }

    void settingsFileOnFirstAndSecondRun() {
        const QByteArray expected("X 768\r\nY 512\r\nP 9\r\nD 200\r\nF 2000\r\nS 2\r\nM 1000\r\nB 1\r\nV 0\r\n");
        start();
        MainForm->V1Click();  // a shown version dialog does not keep the program alive
        QSignalSpy closed(MainForm, &TMainForm::Closed);
        MainForm->close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(FileBytes(path("FrameSifterB.log")), expected);
        DestroyWindows();
        start();
        QCOMPARE(Binning, 1);
        MainForm->Exit1->trigger();  // "終了" closes like the close box
        QVERIFY(!MainForm->isVisible());
        QCOMPARE(FileBytes(path("FrameSifterB.log")), expected);
    }

    void handEditedSettingsFile_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("binning");
        const QByteArray head("X 768\r\nY 512\r\nP 9\r\nD 200\r\nF 2000\r\nS 2\r\nM 1000\r\n");
        QTest::newRow("2.7") << head + "B 2.7\r\nV 0\r\n" << 2;
        QTest::newRow("-1.5") << head + "B -1.5\r\nV 0\r\n" << -1;
        QTest::newRow("other key") << head + "Z 4\r\nV 0\r\n" << 4;
        QTest::newRow("three lines") << QByteArray("X 768\r\nY 512\r\nP 9\r\n") << 0;
        QTest::newRow("LF only") << QByteArray("X 1\nY 1\nP 1\nD 1\nF 1\nS 1\nM 1\nB 3\n") << 3;
    }
    void handEditedSettingsFile() {
        QFETCH(QByteArray, file);
        QFETCH(int, binning);
        QVERIFY(WriteBytes(path("FrameSifterB.log"), file));
        start();
        QCOMPARE(Binning, binning);
        MainForm->close();
        const QByteArray written = FileBytes(path("FrameSifterB.log"));
        QVERIFY(written.endsWith("\r\nB " + QByteArray::number(binning) + "\r\nV 0\r\n"));
        QCOMPARE(written.count('\n'), 9);
    }

    void settingsFollowTheOpenDialogsFolder() {
        QVERIFY(QDir(folder()).mkpath("frames"));
        QVERIFY(Pattern(4, 4).save(path("frames/a.bmp"), "BMP"));
        start();
        open({"frames/a.bmp"}, 0);
        MainForm->close();
        QVERIFY(QFileInfo::exists(path("frames/FrameSifterB.log")));
        QVERIFY(!QFileInfo::exists(path("FrameSifterB.log")));
    }

    void versionDialogAndNoticeWindow() {
        start();
        QCOMPARE(Version->windowTitle(), QString("Version"));
        QCOMPARE(Version->Image1->pixmap().size(), QSize(120, 240));
        QCOMPARE(Version->Label1->text(), QString("FrameSifter "));
        QCOMPARE(Version->Label2->text(), QString("Version 1.08B "));
        QCOMPARE(Version->Label1->font().pixelSize(), 24);
        QVERIFY(!Version->isModal());
        MainForm->V1->trigger();
        QVERIFY(Version->isVisible());
        MainForm->V1Click();
        QVERIFY(Version->isVisible());
        QCOMPARE(MainForm->findChildren<TVersion*>().size() + (Version->parent() ? 0 : 1), 1);
        QTest::mouseClick(Version->Button1, Qt::LeftButton);
        QVERIFY(!Version->isVisible());
        MainForm->V1Click();
        QVERIFY(Version->isVisible());

        QVERIFY(!UpDate->isVisible());
        QCOMPARE(UpDate->Memo1->toPlainText(), QString("Memo1"));
        QCOMPARE(UpDate->windowTitle(), QString("UpDate"));
        QVERIFY(UpDate->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!UpDate->CheckNotice(1.06));
        QVERIFY(!UpDate->isVisible());
        // A newer version shows the notice; without "update.fft" it says there is none.
        QVERIFY(UpDate->CheckNotice(1.07));
        QVERIFY(UpDate->isVisible());
        QVERIFY(UpDate->Memo1->toPlainText() != "Memo1");
        QVERIFY(WriteBytes(path("update.fft"), "新しい版があります\nline 2\n"));
        UpDate->CheckNotice(2.0);
        QCOMPARE(UpDate->Memo1->toPlainText(), QString("新しい版があります\nline 2\n"));
        QTest::mouseClick(UpDate->Button1, Qt::LeftButton);
        QVERIFY(!UpDate->isVisible());
    }

    // The real dialog hides the patterns of its entries; the chosen entry must still be
    // told apart, or every FITS or JPEG choice would be read as the first entry.
    void realFileDialogReportsTheChosenEntry() {
        for (const QStringList& filters : {TMainForm::OpenFilters(), TMainForm::SaveFilters()}) {
            for (int i = 0; i < filters.size(); ++i) {
                QFileDialog dialog;
                dialog.setOption(QFileDialog::DontUseNativeDialog);
                dialog.setOption(QFileDialog::HideNameFilterDetails);
                dialog.setNameFilters(filters);
                dialog.selectNameFilter(filters[i]);
                QCOMPARE(NameFilterIndex(filters, dialog.selectedNameFilter()), i);
            }
        }
        QCOMPARE(NameFilterIndex(TMainForm::OpenFilters(), "FITS (16bit Uncompressed)"), 1);
        QCOMPARE(NameFilterIndex(TMainForm::SaveFilters(), "JPEG(*.jpg)"), 1);
        QCOMPARE(NameFilterIndex(TMainForm::OpenFilters(), "unknown"), 0);
    }

    void selectButtonAndMenuShowTheSelector() {
        start();
        QTest::mouseClick(MainForm->Button3, Qt::LeftButton);
        QVERIFY(Selector->isVisible());
        Selector->hide();
        MainForm->S2->trigger();
        QVERIFY(Selector->isVisible());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    SetApplicationFonts();
    ViewerWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewer_window_test.moc"
