// The viewer's windows under the offscreen platform, with scripted dialogs.

#include "application_setup.h"
#include "frame_scores.h"
#include "batch_run.h"
#include "command_guard.h"
#include "graph_canvas.h"
#include "fake_dialogs.h"
#include "guarded_application.h"
#include "image_fixtures.h"
#include "image_view.h"
#include "image_window.h"
#include "main_window.h"
#include "named_control.h"
#include "ranking.h"
#include "notice_window.h"
#include "preferences.h"
#include "program_icon.h"
#include "../selector/selector_fixtures.h"
#include "scores_plot.h"
#include "scores_table.h"
#include "scores_window.h"
#include "scratch_preferences.h"
#include "screen_centre.h"
#include "selector_window.h"
#include "ser_test_files.h"
#include "settings_file.h"
#include "temp_dir.h"
#include "version_dialog.h"
#include "viewer_rules.h"

#include <QAction>
#include <QListWidget>
#include <QTableView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace framesifter;

// A list of frames as the selector's lists give it, and back.
std::vector<FrameRef> Frames(const QStringList& paths) {
    std::vector<FrameRef> frames;
    for (const QString& path : paths) frames.push_back(ParseFrameRef(path.toStdString()));
    return frames;
}
QStringList Texts(const std::vector<FrameRef>& frames) {
    QStringList texts;
    for (const FrameRef& frame : frames) texts << QString::fromStdString(FrameRefText(frame));
    return texts;
}

// Frames at or after g_readsAllowed wait before they are read, so that a run stays under way.
std::atomic<int> g_readsAllowed{INT_MAX};
void GatedFrameRead(int index) {
    while (index >= g_readsAllowed.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class ViewerWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    QString startDir_;
    std::unique_ptr<MainWindow> main_;

    QString path(const QString& name) const {
        return QString::fromStdString(dir_->file(name.toStdString()));
    }
    QString folder() const { return QString::fromStdString(dir_->path().string()); }

    // A program start in the test's folder.
    void start() {
        Binning = 1;
        main_ = std::make_unique<MainWindow>();
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }
    void open(const QStringList& names, int filter) {
        QStringList files;
        for (const QString& n : names) files << (n.startsWith('/') ? n : path(n));
        dialogs_->chooseOpen(files, filter);
        Control<QToolButton>(*main_, "openButton")->click();
    }
    QList<ImageWindow*> windows() const { return main_->imageWindows(); }
    QStringList captions() const {
        QStringList c;
        for (ImageWindow* w : windows()) c << w->windowTitle();
        return c;
    }
    void activate(ImageWindow* child) {
        Control<QMdiArea>(*main_, "mdiArea")->setActiveSubWindow(child);
        QCOMPARE(main_->activeImageWindow(), child);
    }

private slots:
    void init() {
        ScratchPreferences::clear();
        startDir_ = QDir::currentPath();
        dir_ = std::make_unique<TempDir>();
        QDir::setCurrent(folder());
        dialogs_ = std::make_unique<FakeDialogs>();
    }
    void cleanup() {
        main_.reset();
        QDir::setCurrent(startDir_);
        dialogs_.reset();
        dir_.reset();
        Binning = 1;
    }

    void startUpCreatesTheWindowsInOrderAndHidden() {
        start();
        QVERIFY(main_->versionDialog() && main_->selectorWindow() && main_->noticeWindow());
        QVERIFY(main_->isVisible());
        QVERIFY(!main_->versionDialog()->isVisible());
        QVERIFY(!main_->selectorWindow()->isVisible());
        QVERIFY(!main_->noticeWindow()->isVisible());
        // Every window that places itself sits in the middle of the available area.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        for (QWidget* w : std::initializer_list<QWidget*>{main_.get(), main_->versionDialog(),
                                                          main_->selectorWindow()})
            QCOMPARE(w->pos(), CentredCorner(area, w->size()));
        QCOMPARE(main_->windowTitle(), QString("FrameSifter"));
        QCOMPARE(main_->size(), QSize(795, 589));
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString());
        QVERIFY(Control<QLineEdit>(*main_, "zoomText")->isReadOnly());
        QVERIFY(Control<QLabel>(*main_, "positionLabel")->isHidden());
        QCOMPARE(Control<QLabel>(*main_, "positionLabel")->text(), QString("(0,0)"));
        QCOMPARE(Control<QPushButton>(*main_, "selectorButton")->text(), QString("セレクト"));
        QCOMPARE(Control<QToolButton>(*main_, "openButton")->toolTip(), QString("Open"));
        QCOMPARE(Control<QToolButton>(*main_, "saveButton")->toolTip(), QString("Save"));
        QCOMPARE(Control<QToolButton>(*main_, "openButton")->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Control<QWidget>(*main_, "toolBar")->height(), 33);
        QCOMPARE(Control<QMdiArea>(*main_, "mdiArea")->background().color(), QColor(128, 128, 128));

        QStringList bar;
        for (QAction* a : main_->menuBar()->actions()) bar << a->text();
        // The language menu comes after every specified entry, leaving them as they are.
        QCOMPARE(bar, (QStringList{"ファイル(&F)", "セレクト(&S)", "ウィンドウ(&W)",
                                   "バージョン(&V)", "言語 / Language"}));
        QStringList file;
        for (QAction* a : Control<QMenu>(*main_, "fileMenu")->actions())
            file << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(file, (QStringList{"開く(&O)", "-", "保存(&S)", "終了(&Q)"}));
        QCOMPARE(Control<QAction>(*main_, "selectorAction")->text(), QString("設定(&S)"));
        QStringList selector;
        for (QAction* a : Control<QMenu>(*main_, "selectorMenu")->actions()) selector << a->text();
        QCOMPARE(selector, (QStringList{"設定(&S)", "スコア", "元に戻す"}));
        Control<QMenu>(*main_, "selectorMenu")
            ->actions()
            .last()
            ->trigger();  // the chooser, cancelled
        QCOMPARE(dialogs_->lastTitle, QString("元に戻す Good フォルダー"));
        QCOMPARE(Control<QMenu>(*main_, "windowMenu")->actions().size(), 2);
        QCOMPARE(Control<QAction>(*main_, "closeWindowAction")->text(),
                 QString("このウィンドウを閉じる(&C)"));
        QCOMPARE(Control<QAction>(*main_, "closeAllAction")->text(), QString("すべてを閉じる(&L)"));
        QVERIFY(!Control<QAction>(*main_, "versionAction")->menu());
    }

    void centredCornerCountsTheAreasOrigin_data() {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("area at the origin")
            << QRect(0, 0, 1280, 800) << QSize(795, 589) << QPoint(243, 106);
        QTest::newRow("panel on the left and top")
            << QRect(64, 30, 1216, 770) << QSize(795, 589) << QPoint(275, 121);
        QTest::newRow("halves truncated")
            << QRect(0, 0, 1281, 801) << QSize(595, 297) << QPoint(343, 252);
        QTest::newRow("second screen")
            << QRect(1920, 0, 1024, 768) << QSize(257, 321) << QPoint(2304, 224);
        QTest::newRow("larger than the area")
            << QRect(0, 0, 640, 480) << QSize(795, 589) << QPoint(-77, -54);
    }
    void centredCornerCountsTheAreasOrigin() {
        QFETCH(QRect, area);
        QFETCH(QSize, window);
        QFETCH(QPoint, corner);
        QCOMPARE(CentredCorner(area, window), corner);
    }

    void commandErrorsAreShownAndTheProgramGoesOn() {
        start();
        RunCommand(main_.get(), [] { throw std::runtime_error("disk on fire"); });
        QCOMPARE(dialogs_->errors, QStringList{"disk on fire"});
        // The same guard keeps an exception from a button's handler away from Qt.
        QObject::connect(Control<QPushButton>(*main_, "zoomOutButton"), &QPushButton::clicked,
                         main_.get(), [this] { RunCommand(main_.get(), [] { throw 42; }); });
        QTest::mouseClick(Control<QPushButton>(*main_, "zoomOutButton"), Qt::LeftButton);
        QCOMPARE(dialogs_->errors.size(), 2);
        QCOMPARE(dialogs_->errors[1], QString("予期しないエラーが発生しました"));
        QVERIFY(main_->isVisible());
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
            if (filter == 1)
                QVERIFY(WriteFitsFile(path(names[i]),
                                      std::vector<std::uint16_t>(s.width() * s.height(), 900),
                                      s.width(), s.height()));
            if (filter == 2) QVERIFY(WriteJpegFile(path(names[i]), Pattern(s.width(), s.height())));
        }
        QDir::setCurrent(QDir::rootPath());
        start();
        open(names, filter);
        QCOMPARE(dialogs_->errors, QStringList());
        QCOMPARE(dialogs_->lastTitle, QString("Open an Image for Viewing"));
        QCOMPARE(captions(), names);
        for (int i = 0; i < 3; ++i) {
            ImageWindow* w = windows()[i];
            QCOMPARE(w->picture().size(), sizes[i]);
            QCOMPARE(w->shownSize(), sizes[i]);
            QCOMPARE(Control<ImageView>(*w, "fullSizeView")->size(), sizes[i]);
            QCOMPARE(w->zoomExponent(), 0);
            QCOMPARE(w->picture().depth(), depth);
        }
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("100.0%"));
        QCOMPARE(main_->activeImageWindow(), windows().last());
        QCOMPARE(QDir::currentPath(), QDir::rootPath());  // the process's folder stays
        // The next use of the dialog starts with the entry chosen last.
        Control<QAction>(*main_, "openAction")->trigger();
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
        const QImage grey = windows()[0]->picture();
        const int expected[] = {255, 127, 1, 0};
        for (int x = 0; x < 4; ++x)
            QCOMPARE(grey.pixel(x, 0), qRgb(expected[x], expected[x], expected[x]));
        QCOMPARE(windows()[1]->picture().pixel(1, 1), qRgb(0, 0, 0));
        open({"p8.bmp", "photo.jpg"}, 0);
        QCOMPARE(windows()[2]->picture().format(), QImage::Format_Indexed8);
        QCOMPARE(windows()[3]->picture().depth(), 24);
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
            if (filter == 1)
                QVERIFY(WriteFitsFile(path(n), std::vector<std::uint16_t>(64, 7), 8, 8));
            if (filter == 2) QVERIFY(WriteJpegFile(path(n), Pattern(8, 8)));
        }
        if (bad != "missing.fit")
            QVERIFY(WriteBytes(path(bad), FileBytes(path(names[0])).left(100)));
        start();
        open({"one." + ext}, filter);  // a window already open stays
        open(names, filter);
        QCOMPARE(dialogs_->errors.size(), 1);
        QVERIFY2(dialogs_->errors[0].contains(path(bad)), qPrintable(dialogs_->errors[0]));
        QCOMPARE(captions(), (QStringList{names[0], names[0]}));
        QVERIFY(main_->isVisible());
    }

    void zoomInAndOutOf768x512_data() {
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("exponents");
        QTest::newRow("in x4")
            << "++++" << QList<QSize>{{1536, 1024}, {3072, 2048}, {6144, 4096}, {6144, 4096}}
            << QStringList{"200.0%", "400.0%", "800.0%", "800.0%"} << QList<int>{1, 2, 3, 3};
        QTest::newRow("out x2") << "--" << QList<QSize>{{384, 256}, {192, 128}}
                                << QStringList{"50.0%", "25.0%"} << QList<int>{-1, -2};
        QTest::newRow("out then in")
            << "--++" << QList<QSize>{{384, 256}, {192, 128}, {384, 256}, {768, 512}}
            << QStringList{"50.0%", "25.0%", "50.0%", "100.0%"} << QList<int>{-1, -2, -1, 0};
        // Down to 6 x 4 at 1/128, 3 x 2 at 1/256, 1 x 1 at 1/512; below that nothing changes.
        QTest::newRow("lower limit")
            << "-----------"
            << QList<QSize>{{384, 256}, {192, 128}, {96, 64}, {48, 32}, {24, 16}, {12, 8},
                            {6, 4},     {3, 2},     {1, 1},   {1, 1},   {1, 1}}
            << QStringList{"50.0%", "25.0%", "12.5%", "6.2%", "3.1%", "1.6%",
                           "0.8%",  "0.4%",  "0.2%",  "0.2%", "0.2%"}
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
        ImageWindow* w = windows().first();
        const QImage before = w->picture();
        for (int i = 0; i < presses.size(); ++i) {
            QTest::mouseClick(presses[i] == '+' ? Control<QPushButton>(*main_, "zoomInButton")
                                                : Control<QPushButton>(*main_, "zoomOutButton"),
                              Qt::LeftButton);
            QCOMPARE(w->shownSize(), sizes[i]);
            QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), texts[i]);
            QCOMPARE(w->zoomExponent(), exponents[i]);
            // The window's client area follows the shown picture.
            QVERIFY(w->widget()->width() >= sizes[i].width());
            if (sizes[i].width() > 200) QCOMPARE(w->widget()->size(), sizes[i]);
        }
        QCOMPARE(Control<ImageView>(*w, "fullSizeView")->size(), QSize(768, 512));
        QCOMPARE(w->picture(), before);
    }

    void saveIsOfferedOnlyWithAnImageWindow() {
        QVERIFY(Pattern(5, 5).save(path("five.bmp"), "BMP"));
        start();
        QVERIFY(!Control<QAction>(*main_, "saveAction")->isEnabled());
        open({"five.bmp", "five.bmp"}, 0);
        QTRY_VERIFY(Control<QAction>(*main_, "saveAction")->isEnabled());
        windows()[0]->close();
        QTest::qWait(20);
        QVERIFY(Control<QAction>(*main_, "saveAction")->isEnabled());  // one is still open
        Control<QAction>(*main_, "closeAllAction")->trigger();
        QTRY_VERIFY(!Control<QAction>(*main_, "saveAction")->isEnabled());
    }

    void smallPicturesTruncateTheirZoomedSize() {
        QVERIFY(Pattern(5, 5).save(path("five.bmp"), "BMP"));
        QVERIFY(Pattern(3, 9).save(path("three.bmp"), "BMP"));
        start();
        open({"five.bmp", "three.bmp"}, 0);
        ImageWindow* five = windows()[0];
        ImageWindow* three = windows()[1];
        activate(five);
        Control<QAction>(*main_, "zoomOutAction")->trigger();
        QCOMPARE(five->shownSize(), QSize(2, 2));
        Control<QAction>(*main_, "zoomOutAction")->trigger();
        QCOMPARE(five->shownSize(), QSize(1, 1));
        Control<QAction>(*main_, "zoomOutAction")->trigger();  // would be 0 x 0: refused
        QCOMPARE(five->shownSize(), QSize(1, 1));
        QCOMPARE(five->zoomExponent(), -2);
        // Activation derives the text from the truncated width: 3 -> 1 pixel reads 25.0%.
        activate(three);
        Control<QAction>(*main_, "zoomOutAction")->trigger();
        QCOMPARE(three->shownSize(), QSize(1, 4));
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("50.0%"));
        activate(five);
        activate(three);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("25.0%"));
    }

    void switchingAndClosingWindowsUpdatesTheZoomText() {
        QVERIFY(Pattern(64, 32).save(path("a.bmp"), "BMP"));
        QVERIFY(Pattern(40, 40).save(path("b.bmp"), "BMP"));
        QVERIFY(Pattern(16, 16).save(path("c.bmp"), "BMP"));
        start();
        open({"a.bmp", "b.bmp", "c.bmp"}, 0);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("100.0%"));
        const QList<ImageWindow*> w = windows();
        activate(w[0]);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("100.0%"));
        Control<QAction>(*main_, "zoomInAction")->trigger();
        Control<QAction>(*main_, "zoomInAction")->trigger();
        activate(w[1]);
        Control<QAction>(*main_, "zoomOutAction")->trigger();
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("50.0%"));
        activate(w[0]);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("400.0%"));
        activate(w[2]);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("100.0%"));
        activate(w[1]);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(), QString("50.0%"));
        // Closing the active window activates another; the text follows it, and each
        // remaining window keeps its own zoom.
        QPointer<ImageWindow> closed = w[1];
        Control<QAction>(*main_, "closeWindowAction")->trigger();
        QTRY_VERIFY(closed.isNull());
        ImageWindow* now = main_->activeImageWindow();
        QVERIFY(now == w[0] || now == w[2]);
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(),
                 QString(now == w[0] ? "400.0%" : "100.0%"));
        QCOMPARE(w[0]->zoomExponent(), 2);
        QCOMPARE(w[0]->shownSize(), QSize(256, 128));
        // Closing the last window leaves the text as it was.
        Control<QAction>(*main_, "closeAllAction")->trigger();
        QTRY_VERIFY(windows().isEmpty());
        QVERIFY(!Control<QLineEdit>(*main_, "zoomText")->text().isEmpty());
        // Without an image window zoom, close and save do nothing.
        Control<QAction>(*main_, "zoomInAction")->trigger();
        Control<QAction>(*main_, "closeWindowAction")->trigger();
        Control<QToolButton>(*main_, "saveButton")->click();
        QCOMPARE(dialogs_->saveCalls, 0);
    }

    void frameWindowStepsThroughItsListAndDropsFromThePassList() {
        // Frame b is too large for the area at 100 %; frame c's file has gone since.
        QVERIFY(Pattern(40, 30).save(path("a.bmp"), "BMP"));
        QVERIFY(Pattern(3000, 2000).save(path("b.bmp"), "BMP"));
        const QStringList list{path("a.bmp"), path("b.bmp"), path("c.bmp")};
        start();
        QSignalSpy dropped(main_.get(), &MainWindow::frameDropped);

        ImageWindow* viewer = main_->showFrame(Frames(list), 1, false);
        QVERIFY(viewer);
        QCOMPARE(viewer->windowTitle(), QString("b.bmp (2 / 3)"));
        const QSize room = Control<QMdiArea>(*main_, "mdiArea")->viewport()->size();
        QVERIFY(viewer->shownSize().width() <= room.width());
        QVERIFY(viewer->shownSize().width() * 2 > room.width() ||
                viewer->shownSize().height() * 2 > room.height());
        QCOMPARE(Control<QLineEdit>(*main_, "zoomText")->text(),
                 ZoomText(std::pow(2.0, viewer->zoomExponent())));
        const int zoom = viewer->zoomExponent();
        QVERIFY(zoom < 0);

        QTest::keyClick(viewer, Qt::Key_PageUp);
        QCOMPARE(viewer->windowTitle(), QString("a.bmp (1 / 3)"));
        QCOMPARE(viewer->zoomExponent(), zoom);   // stepping keeps the zoom
        QTest::keyClick(viewer, Qt::Key_PageUp);  // the list's first frame stays
        QCOMPARE(viewer->frameIndex(), 0);
        QTest::keyClick(viewer, Qt::Key_PageDown);
        QTest::keyClick(viewer, Qt::Key_PageDown);  // c cannot be read: said, b stays
        QCOMPARE(viewer->windowTitle(), QString("b.bmp (2 / 3)"));
        QCOMPARE(dialogs_->errors.size(), 1);
        QVERIFY(dialogs_->errors[0].contains("c.bmp"));
        QTest::keyClick(viewer, Qt::Key_Delete);  // not a pass-list window
        QCOMPARE(dropped.count(), 0);
        QCOMPARE(viewer->frames().size(), std::size_t(3));

        ImageWindow* passed = main_->showFrame(Frames({path("a.bmp"), path("b.bmp")}), 0, true);
        QVERIFY(passed);
        QTest::keyClick(passed, Qt::Key_Delete);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped[0][0].value<FrameRef>().file, path("a.bmp").toStdString());
        QCOMPARE(passed->windowTitle(), QString("b.bmp (1 / 1)"));
        QPointer<ImageWindow> last(passed);
        QTest::keyClick(passed, Qt::Key_Delete);
        QCOMPARE(dropped.count(), 2);
        QTRY_VERIFY(last.isNull());  // nothing left to show
        QCOMPARE(main_->showFrame(Frames(list), 2, false), nullptr);
    }

    void frameWindowsShowTheRunsFramesOnOneScale() {
        // Frame d is frame b made 0.3 times as bright.
        const int side = 260;
        std::vector<std::uint16_t> bright, dark;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                bright.push_back(std::uint16_t(1000 + (x * 137 + y * 71) % 30000));
                dark.push_back(std::uint16_t(bright.back() * 3 / 10));
            }
        QVERIFY(WriteFitsFile(path("b.fit"), bright, side, side));
        QVERIFY(WriteFitsFile(path("d.fit"), dark, side, side));
        const auto brightest = [](const QImage& picture) {
            int most = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    most = std::max(most, qGreen(picture.pixel(x, y)));
            return most;
        };
        start();
        SelectorWindow& s = *main_->selectorWindow();
        s.showSelector();
        dialogs_->chooseOpen({path("b.fit"), path("d.fit")}, 1);
        Control<QPushButton>(s, "openButton")->click();
        Control<QPushButton>(s, "fftButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
        QListWidget* list = Control<QListWidget>(s, "fileList");
        const QPoint second = list->visualItemRect(list->item(1)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(windows().size(), 1);
        ImageWindow* frame = windows()[0];
        QCOMPARE(frame->frameIndex(), 1);
        QVERIFY(brightest(frame->picture()) <= 255 * 3 / 10 + 1);
        QTest::keyClick(frame, Qt::Key_PageUp);
        QCOMPARE(brightest(frame->picture()), 255);

        // Each frame stretched to its own values: the dark one looks like the bright one.
        QTest::keyClick(frame, Qt::Key_PageDown);
        QString zoom;
        QVERIFY(frame->zoomTo(-1, zoom));
        auto* stretch = frame->findChild<QAction*>("stretchEachFrame");
        QVERIFY(stretch && stretch->isVisible());
        stretch->trigger();
        QCOMPARE(brightest(frame->picture()), 255);
        QCOMPARE(frame->zoomExponent(), -1);
        QCOMPARE(frame->frameIndex(), 1);
        stretch->trigger();
        QVERIFY(brightest(frame->picture()) <= 255 * 3 / 10 + 1);

        // The viewer's own Open shows a frame on its own scale, without the choice.
        open({"d.fit"}, 1);
        QCOMPARE(windows().size(), 2);
        QCOMPARE(brightest(windows()[1]->picture()), 255);
        QVERIFY(!windows()[1]->findChild<QAction*>("stretchEachFrame")->isVisible());
    }

    void scoresWindowFollowsTheSelectorAndItsFrameWindows() {
        // Scores follow the amplitudes; f1 cannot be read and is left out of the run.
        const int amplitudes[] = {10, 0, 40, 20, 30, 50};
        QStringList files;
        for (int k = 0; k < 6; ++k) files << path(QString("f%1.bmp").arg(k));
        for (int k : {0, 2, 3, 4, 5}) QVERIFY(!WriteStripesBmp(files[k], amplitudes[k]).isEmpty());
        QVERIFY(WriteBytes(files[1], "not a picture"));
        start();
        SelectorWindow& s = *main_->selectorWindow();
        ScoresWindow& w = *s.scoresWindow();
        Control<QMenu>(*main_, "selectorMenu")->actions()[1]->trigger();
        QCOMPARE(Control<QMenu>(*main_, "selectorMenu")->actions()[1]->text(), QString("スコア"));
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        s.showSelector();
        dialogs_->chooseOpen(files, 0);
        dialogs_->answers << true;  // leave f1 out
        Control<QPushButton>(s, "openButton")->click();
        Control<QPushButton>(s, "fftButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
        QCOMPARE(w.data().files, s.session().results().files);
        QCOMPARE(w.data().scores,
                 BandScores(s.session().results().profileTable, 6, s.graphView().band));
        QCOMPARE(w.data().passed, std::vector<char>(6, 0));
        const QAbstractItemModel* table = Control<QTableView>(w, "scoresTable")->model();
        QCOMPARE(table->rowCount(), 5);  // f1 has no score to show
        QCOMPARE(table->index(1, ScoresTableModel::Position).data().toInt(), 3);

        // The run's own band is offered; taking it moves the markers and rescores.
        const BandSuggestion offer =
            SuggestBand(s.session().results(), 6, s.session().results().leftOut);
        QVERIFY(offer.found);
        QVERIFY(offer.band.low != s.graphView().band.low ||
                offer.band.high != s.graphView().band.high);
        QCOMPARE(Control<QLabel>(w, "suggestionLabel")->text(),
                 QString("推奨バンド: %1-%2").arg(offer.band.low).arg(offer.band.high));
        Control<QPushButton>(w, "useSuggestionButton")->click();
        QCOMPARE(s.graphView().band.low, offer.band.low);
        QCOMPARE(s.graphView().band.high, offer.band.high);
        QCOMPARE(Control<GraphCanvas>(s, "graphCanvas")
                     ->picture()
                     .pixel(2 * offer.band.low, kGraphHeight / 2),
                 GraphMarkerColour());
        QCOMPARE(w.data().scores, BandScores(s.session().results().profileTable, 6, offer.band));
        QCOMPARE(Preferences().bandLow(), offer.band.low);

        const auto passList = [&] {
            QStringList paths;
            for (int i = 0; i < Control<QListWidget>(s, "passedList")->count(); ++i)
                paths << Control<QListWidget>(s, "passedList")
                             ->item(i)
                             ->data(SelectorWindow::kPathRole)
                             .toString();
            return paths;
        };
        PassRule rule;
        rule.kind = PassRule::Kind::Best;
        Control<QRadioButton>(w, "bestRuleButton")->click();
        for (int best : {9, 2}) {
            Control<QLineEdit>(w, "ruleNumber")->setText(QString::number(best));
            Control<QPushButton>(w, "applyRuleButton")->click();
            rule.best = best;
            QStringList expected;
            const std::vector<double> scores =
                BandScores(s.session().results().profileTable, 6, s.graphView().band);
            for (int k : SelectByRule(scores, 5, rule, s.session().results().leftOut).passed)
                expected << files[k];
            QCOMPARE(passList(), expected);
            QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString::number(expected.size()));
        }
        QCOMPARE(passList(), (QStringList{files[2], files[5]}));
        QCOMPARE(w.data().passed, (std::vector<char>{0, 0, 1, 0, 0, 1}));

        // Shown point 2 is list row 3, past f1; the best point is f5.
        ScoresPlot* listPlot = Control<ScoresPlot>(w, "listPlot");
        ScoresPlot* rankPlot = Control<ScoresPlot>(w, "rankPlot");
        QTest::mouseClick(listPlot->viewport(), Qt::LeftButton, {}, listPlot->positionOf(2));
        QVERIFY(Control<QListWidget>(s, "fileList")->item(3)->isSelected());
        QTest::mouseDClick(rankPlot->viewport(), Qt::LeftButton, {}, rankPlot->positionOf(4));
        QCOMPARE(windows().size(), 1);
        // It steps through the table's rows, here in list order, which f1 is not among.
        QCOMPARE(Texts(windows()[0]->frames()),
                 (QStringList{files[0], files[2], files[3], files[4], files[5]}));
        QCOMPARE(windows()[0]->frameIndex(), 4);

        // Qt Test's double click on a widget lacks the press an item view expects.
        const QPoint second = Control<QListWidget>(s, "passedList")
                                  ->visualItemRect(Control<QListWidget>(s, "passedList")->item(1))
                                  .center();
        QTest::mousePress(Control<QListWidget>(s, "passedList")->viewport(), Qt::LeftButton, {},
                          second);
        QTest::mouseDClick(Control<QListWidget>(s, "passedList")->viewport(), Qt::LeftButton, {},
                           second);
        QTest::mouseRelease(Control<QListWidget>(s, "passedList")->viewport(), Qt::LeftButton, {},
                            second);
        QCOMPARE(windows().size(), 2);
        ImageWindow* blink = windows()[1];
        QCOMPARE(Texts(blink->frames()), passList());
        QCOMPARE(blink->frameIndex(), 1);
        QTest::keyClick(blink, Qt::Key_PageUp);
        QTest::keyClick(blink, Qt::Key_Delete);
        QCOMPARE(passList(), QStringList{files[5]});
        QCOMPARE(Control<QLabel>(s, "passedCount")->text(), QString("1"));
        QCOMPARE(w.data().passed, (std::vector<char>{0, 0, 0, 0, 0, 1}));
        QVERIFY(QFile::exists(files[2]));

        // The export dialog opens beside the frames, then where the last export went.
        QVERIFY(QDir(folder()).mkdir("csv"));
        dialogs_->chooseSave(path("csv/scores.csv"), 0);
        Control<QPushButton>(w, "exportCsvButton")->click();
        QCOMPARE(dialogs_->lastFolder, folder());
        Control<QPushButton>(w, "exportCsvButton")->click();
        QCOMPARE(dialogs_->lastFolder, path("csv"));
        w.close();
        QCOMPARE(s.scoresWindow(), &w);  // hidden, not destroyed
    }

    void frameWindowsOfTheScoresStepByTheTableAndFollowAMove() {
        const int amplitudes[] = {10, 50, 20, 30, 40, 25};  // best first: f1 f4 f3 f5 f2 f0
        QStringList files;
        for (int k = 0; k < 6; ++k)
            files << WriteStripesBmp(path(QString("f%1.bmp").arg(k)), amplitudes[k]);
        start();
        SelectorWindow& s = *main_->selectorWindow();
        ScoresWindow& w = *s.scoresWindow();
        dialogs_->chooseOpen(files, 0);
        Control<QPushButton>(s, "openButton")->click();
        Control<QPushButton>(s, "fftButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
        Control<QRadioButton>(w, "bestRuleButton")->click();
        Control<QLineEdit>(w, "ruleNumber")->setText("3");
        Control<QPushButton>(w, "applyRuleButton")->click();
        Control<QTableView>(w, "scoresTable")
            ->sortByColumn(ScoresTableModel::Score, Qt::DescendingOrder);
        ScoresPlot* rankPlot = Control<ScoresPlot>(w, "rankPlot");
        QTest::mouseDClick(rankPlot->viewport(), Qt::LeftButton, {}, rankPlot->positionOf(1));
        ImageWindow* scored = main_->activeImageWindow();
        QVERIFY(scored);
        QCOMPARE(scored->windowTitle(), QString("f1.bmp (1 / 6)"));
        QTest::keyClick(scored, Qt::Key_PageDown);
        QCOMPARE(scored->windowTitle(), QString("f4.bmp (2 / 6)"));
        QTest::keyClick(scored, Qt::Key_Delete);
        QCOMPARE(Texts(s.session().frameList(FrameListKind::Passes).frames),
                 (QStringList{files[1], files[3]}));
        QTest::keyClick(scored, Qt::Key_PageDown);
        QTest::keyClick(scored, Qt::Key_PageDown);
        QTest::keyClick(scored, Qt::Key_Delete);
        QCOMPARE(dialogs_->messages, QStringList{"f5.bmp は合格ファイルではありません"});

        // The move takes f1 and f3 out of the file list: its window on f1 closes.
        QPointer<ImageWindow> listed =
            main_->showFrame(s.session().frameList(FrameListKind::Files), 1);
        dialogs_->answers << true;
        Control<QPushButton>(s, "moveButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!s.busy(), 20000);
        QTRY_VERIFY(listed.isNull());
        QCOMPARE(scored->windowTitle(), QString("f5.bmp (2 / 4)"));
        QCOMPARE(Texts(scored->frames()), (QStringList{files[4], files[5], files[2], files[0]}));
    }

    void videoOpensAtItsFirstFrameAndSteps() {
        using namespace ser_test_files;
        // Frame f's pixel (x, y) plane p holds 10 * (f + 1) + 40 * p + x; 16-bit videos scale it.
        struct Video {
            int colour, flag, depth, scale;
            QRgb firstPixel;  // frame 1's pixel (1, 0) as shown
        };
        const Video videos[] = {
            {0, 0, 8, 1, qRgb(11, 11, 11)},
            {100, 0, 8, 1, qRgb(11, 51, 91)},
            {101, 0, 8, 1, qRgb(91, 51, 11)},      // stored blue first
            {0, 1, 16, 256, qRgb(215, 215, 215)},  // big-endian samples, largest (13) white
        };
        start();
        for (const Video& v : videos) {
            SerLayout layout;
            layout.colour = v.colour, layout.flag = v.flag, layout.depth = v.depth,
            layout.count = 3;
            const auto bytes = SerBytes(layout, [&](int f, int x, int, int p) {
                return std::uint16_t((10 * (f + 1) + 40 * p + x) * v.scale);
            });
            const QString name = QStringLiteral("v%1.ser").arg(v.colour + v.depth);
            QFile file(path(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
            file.close();
            open({name}, 3);
            QCOMPARE(dialogs_->errors, QStringList());
            ImageWindow* video = main_->activeImageWindow();
            QVERIFY(video);
            QCOMPARE(video->windowTitle(), name + " #1 (1 / 3)");
            QCOMPARE(video->picture().pixel(1, 0), v.firstPixel);
            QTest::keyClick(video, Qt::Key_PageDown);
            QCOMPARE(video->windowTitle(), name + " #2 (2 / 3)");
            QVERIFY(video->picture().pixel(1, 0) != v.firstPixel);
        }
        // A video cut short in its second frame is refused, named.
        SerLayout layout;
        auto bytes = SerBytes(layout, [](int, int, int, int) { return 7; });
        bytes.resize(bytes.size() - 5);
        QFile cut(path("cut.ser"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        cut.close();
        const int before = int(windows().size());
        open({"cut.ser"}, 3);
        QCOMPARE(int(windows().size()), before);
        QCOMPARE(dialogs_->errors.size(), 1);
        QVERIFY(dialogs_->errors[0].contains("cut.ser"));
    }

    void closeActiveAndCloseAll() {
        for (const char* n : {"a.bmp", "b.bmp", "c.bmp"})
            QVERIFY(Pattern(8, 8).save(path(n), "BMP"));
        start();
        Control<QAction>(*main_, "closeWindowAction")->trigger();
        Control<QAction>(*main_, "closeAllAction")->trigger();
        open({"a.bmp", "b.bmp"}, 0);
        activate(windows()[0]);
        Control<QAction>(*main_, "closeWindowAction")->trigger();
        QTRY_COMPARE(captions(), QStringList{"b.bmp"});
        open({"a.bmp", "c.bmp"}, 0);
        QCOMPARE(windows().size(), 3);
        Control<QAction>(*main_, "closeAllAction")->trigger();
        QTRY_VERIFY(windows().isEmpty());
        QVERIFY(Control<QMdiArea>(*main_, "mdiArea")->subWindowList().isEmpty());
    }

    void keyboardShortcutsRunTheCommands() {
        QVERIFY(Pattern(8, 8).save(path("a.bmp"), "BMP"));
        start();
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        dialogs_->chooseOpen({path("a.bmp")}, 0);
        QTest::keyClick(main_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(captions(), QStringList{"a.bmp"});
        dialogs_->chooseSave(path("copy.bmp"), 0);
        QTest::keyClick(main_.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(dialogs_->saveCalls, 1);
        QVERIFY(QFileInfo::exists(path("copy.bmp")));
        QTest::keyClick(main_.get(), Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(windows().isEmpty());
        // Opening and quitting work from the selector and the scores window too.
        SelectorWindow& selector = *main_->selectorWindow();
        selector.showSelector();
        selector.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&selector));
        dialogs_->chooseOpen({path("a.bmp")}, 0);
        QTest::keyClick(&selector, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(captions(), QStringList{"a.bmp"});
        QSignalSpy closed(main_.get(), &MainWindow::closed);
        QTest::keyClick(&selector, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!main_->isVisible());
    }

    void droppedFilesOpenByTheirExtension() {
        QVERIFY(Pattern(8, 6).save(path("a.BMP"), "BMP"));
        QVERIFY(WriteFitsFile(path("b.fts"), {1, 2, 3, 4}, 2, 2));
        QVERIFY(WriteJpegFile(path("c.jpeg"), Pattern(10, 4)));
        QVERIFY(WriteBytes(path("notes.txt"), "text"));
        start();
        QDir::setCurrent(QDir::tempPath());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path("a.BMP")), QUrl::fromLocalFile(path("notes.txt")),
                      QUrl::fromLocalFile(path("b.fts")), QUrl::fromLocalFile(path("c.jpeg"))});
        const QPoint at = Control<QMdiArea>(*main_, "mdiArea")->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(main_.get(), &enter);
        QVERIFY(enter.isAccepted());
        // A file manager may propose a move: the viewer answers with a copy.
        struct MoveProposed : QDropEvent {
            MoveProposed(QPointF at, const QMimeData* data)
                : QDropEvent(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                             Qt::NoModifier) {
                m_defaultAction = Qt::MoveAction;
            }
        } drop(at, &data);
        QApplication::sendEvent(main_.get(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QCOMPARE(captions(), (QStringList{"a.BMP", "b.fts", "c.jpeg"}));
        QCOMPARE(windows()[1]->picture().size(), QSize(2, 2));
        QCOMPARE(windows()[2]->picture().size(), QSize(10, 4));
        QCOMPARE(QDir::currentPath(), QDir::tempPath());
        QVERIFY(dialogs_->errors.isEmpty());

        // Nothing openable: the drag is refused.
        QMimeData other;
        other.setUrls({QUrl::fromLocalFile(path("notes.txt"))});
        QDragEnterEvent refused(at, Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(main_.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    void saveNamesTheFileByTheEntry_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("jpeg, no extension") << 1 << "photo"
                                            << "photo.jpg";
        QTest::newRow("jpeg, .jpeg") << 1 << "photo.jpeg"
                                     << "photo.jpeg";
        QTest::newRow("jpeg, .JPG") << 1 << "photo.JPG"
                                    << "photo.JPG";
        QTest::newRow("bmp, .jpg") << 0 << "photo.jpg"
                                   << "photo.bmp";
        QTest::newRow("bmp, no extension") << 0 << "photo"
                                           << "photo.bmp";
        QTest::newRow("bmp, dotted folder") << 0 << "sub.dir/photo"
                                            << "sub.dir/photo.bmp";
    }
    void saveNamesTheFileByTheEntry() {
        QFETCH(int, filter);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QVERIFY(QDir(folder()).mkpath("sub.dir"));
        QVERIFY(WriteFitsFile(path("frame.fit"), {0, 1000, 2000, 65535, 100, 200}, 3, 2));
        start();
        open({"frame.fit"}, 1);
        Control<QAction>(*main_, "zoomInAction")->trigger();  // zoomed: still saves at 100 %
        QDir::setCurrent(QDir::rootPath());
        dialogs_->chooseSave(path(chosen), filter);
        Control<QAction>(*main_, "saveAction")->trigger();
        QCOMPARE(dialogs_->lastTitle, QString("Save an Image"));
        QCOMPARE(dialogs_->lastFilters.size(), 2);
        QCOMPARE(dialogs_->questions, QStringList());  // no question for a new file
        QCOMPARE(dialogs_->errors, QStringList());
        QVERIFY(QFileInfo::exists(path(written)));
        QVERIFY(!QFileInfo::exists(path(chosen)) || chosen == written);
        QCOMPARE(windows()[0]->windowTitle(), QFileInfo(written).fileName());
        QCOMPARE(QDir::currentPath(), QDir::rootPath());
        const QByteArray bytes = FileBytes(path(written));
        const QImage back = QImage::fromData(bytes);
        QCOMPARE(back.size(), QSize(3, 2));
        if (filter == 0) {
            QVERIFY(bytes.startsWith("BM"));
            QCOMPARE(BmpBitsPerPixel(bytes), 24);
            QCOMPARE(back.pixel(2, 0), windows()[0]->picture().pixel(2, 0));
        } else {
            QVERIFY(bytes.startsWith("\xFF\xD8"));
            QCOMPARE(ReadJpegTables(bytes).tables[0].at(0), 10);  // 16 at quality 70
        }
        Control<QToolButton>(*main_, "saveButton")->click();
        QCOMPARE(dialogs_->lastInitialFilter, filter);
    }

    void overwriteQuestionAndJpegOpenedAsBmp() {
        QVERIFY(WriteJpegFile(path("photo.jpg"), Pattern(20, 10)));
        QVERIFY(WriteBytes(path("photo.bmp"), "existing"));
        start();
        open({"photo.jpg"}, 0);
        ImageWindow* w = windows()[0];
        // No: nothing written, caption unchanged.
        dialogs_->chooseSave(path("photo.bmp"), 0);
        dialogs_->answers << false;
        Control<QToolButton>(*main_, "saveButton")->click();
        QCOMPARE(dialogs_->questions, QStringList{QString::fromUtf8(kOverwriteQuestion)});
        QCOMPARE(dialogs_->questionDefaults, QList<bool>{true});
        QCOMPARE(FileBytes(path("photo.bmp")), QByteArray("existing"));
        QCOMPARE(w->windowTitle(), QString("photo.jpg"));
        // Yes: replaced, and a JPEG opened through the BMP entry is written as a real BMP.
        dialogs_->chooseSave(path("photo.bmp"), 0);
        dialogs_->answers << true;
        Control<QToolButton>(*main_, "saveButton")->click();
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
        Control<QToolButton>(*main_, "saveButton")->click();
        QCOMPARE(BmpBitsPerPixel(FileBytes(path("copy.bmp"))), 8);
        QCOMPARE(QImage(path("copy.bmp")).pixel(5, 3), windows()[0]->picture().pixel(5, 3));
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
        Control<QToolButton>(*main_, "saveButton")->click();
        dialogs_->chooseSave(path("target.bmp"), 0);
        Control<QToolButton>(*main_, "saveButton")->click();
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
        Control<QToolButton>(*main_, "saveButton")->click();
        QVERIFY(QFileInfo::exists(sub + "/out.jpg"));
    }

    void settingsFileOnFirstAndSecondRun() {
        const QByteArray expected(
            "X 768\r\nY 512\r\nP 9\r\nD 200\r\nF 2000\r\nS 2\r\nM 1000\r\nB 1\r\nV 0\r\n");
        start();
        Control<QAction>(*main_, "versionAction")
            ->trigger();  // a shown version dialog does not keep the program alive
        QSignalSpy closed(main_.get(), &MainWindow::closed);
        main_->close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(FileBytes(path("FrameSifterB.log")), expected);
        main_.reset();
        start();
        QCOMPARE(Binning, 1);
        Control<QAction>(*main_, "exitAction")->trigger();  // "終了" closes like the close box
        QVERIFY(!main_->isVisible());
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
        main_->close();
        const QByteArray written = FileBytes(path("FrameSifterB.log"));
        QVERIFY(written.endsWith("\r\nB " + QByteArray::number(binning) + "\r\nV 0\r\n"));
        QCOMPARE(written.count('\n'), 9);
    }

    // Whatever moved the current folder since the start, the file is written where the
    // start read it, so the next start finds it.
    void settingsFileStaysInTheStartFolder_data() {
        QTest::addColumn<QString>("move");
        for (const char* move : {"open", "save", "drop", "selector open"})
            QTest::newRow(move) << QString(move);
    }
    void settingsFileStaysInTheStartFolder() {
        QFETCH(QString, move);
        QVERIFY(QDir(folder()).mkpath("frames"));
        QVERIFY(Pattern(4, 4).save(path("frames/a.bmp"), "BMP"));
        QVERIFY(Pattern(4, 4).save(path("b.bmp"), "BMP"));
        QVERIFY(WriteBytes(path("FrameSifterB.log"), "X 1\nY 1\nP 1\nD 1\nF 1\nS 1\nM 1\nB 3\n"));
        start();
        QCOMPARE(Binning, 3);
        if (move == "open") open({"frames/a.bmp"}, 0);
        if (move == "save") {
            open({"b.bmp"}, 0);
            dialogs_->chooseSave(path("frames/c.bmp"), 0);
            Control<QToolButton>(*main_, "saveButton")->click();
        }
        if (move == "drop") main_->openDroppedFiles({QUrl::fromLocalFile(path("frames/a.bmp"))});
        if (move == "selector open") {
            dialogs_->chooseOpen({path("frames/a.bmp")}, 0);
            Control<QPushButton>(*main_->selectorWindow(), "openButton")->click();
        }
        // The process's folder stays; a dialog that keeps no folder of its own (here the undo
        // chooser, before any move) opens where files were last chosen, in either window.
        QCOMPARE(QDir::currentPath(), folder());
        Control<QAction>(*main_, "undoMoveAction")->trigger();
        QCOMPARE(dialogs_->lastFolder, path("frames"));
        main_->close();
        QVERIFY(!QFileInfo::exists(path("frames/FrameSifterB.log")));
        QVERIFY(FileBytes(path("FrameSifterB.log")).endsWith("\r\nB 3\r\nV 0\r\n"));
    }

    void dialogsRememberTheirFolderAndEntry_data() {
        QTest::addColumn<QString>("dialog");
        for (const char* dialog : {"viewer open", "viewer save", "selector open"})
            QTest::newRow(dialog) << QString(dialog);
    }
    void dialogsRememberTheirFolderAndEntry() {
        QFETCH(QString, dialog);
        QVERIFY(QDir(folder()).mkpath("sub"));
        QVERIFY(WriteFitsFile(path("sub/a.fit"), {1, 2, 3, 4}, 2, 2));
        QVERIFY(WriteFitsFile(path("b.fit"), {1, 2, 3, 4}, 2, 2));
        // Runs the dialog; `choose` picks a file in "sub" with the second entry.
        auto ask = [&](bool choose) {
            if (dialog == "viewer open") {
                if (choose) dialogs_->chooseOpen({path("sub/a.fit")}, 1);
                Control<QAction>(*main_, "openAction")->trigger();
            } else if (dialog == "viewer save") {
                open({"b.fit"}, 1);
                if (choose) dialogs_->chooseSave(path("sub/out"), 1);
                Control<QAction>(*main_, "saveAction")->trigger();
            } else {
                if (choose) dialogs_->chooseOpen({path("sub/a.fit")}, 1);
                Control<QPushButton>(*main_->selectorWindow(), "openButton")->click();
            }
        };
        start();
        ask(true);
        QCOMPARE(dialogs_->lastFolder, folder());  // nothing kept yet: the current folder
        QCOMPARE(dialogs_->lastInitialFilter, 0);
        QCOMPARE(dialogs_->errors, QStringList());

        main_->close();
        main_.reset();
        QDir::setCurrent(QDir::rootPath());
        start();
        ask(false);
        QCOMPARE(dialogs_->lastFolder, path("sub"));
        QCOMPARE(dialogs_->lastInitialFilter, 1);

        QVERIFY(QDir(path("sub")).removeRecursively());
        ask(false);
        // Where files were last chosen (the save's own open), else the current folder.
        QCOMPARE(dialogs_->lastFolder, dialog == "viewer save" ? folder() : QDir::currentPath());
        QCOMPARE(dialogs_->lastInitialFilter, 1);
    }

    void keptEntryOutsideTheListIsNotUsed() {
        ScratchPreferences::put("viewerOpen/filter", "7");
        ScratchPreferences::put("viewerSave/filter", "-1");
        start();
        Control<QAction>(*main_, "openAction")->trigger();
        QCOMPARE(dialogs_->lastInitialFilter, 0);
        QVERIFY(Pattern(4, 4).save(path("a.bmp"), "BMP"));
        open({"a.bmp"}, 0);
        Control<QAction>(*main_, "saveAction")->trigger();
        QCOMPARE(dialogs_->saveCalls, 1);
        QCOMPARE(dialogs_->lastInitialFilter, 0);
    }

    // The program may end by closing the main window alone: the selector's place is kept
    // then too.
    void windowPlacesSurviveARestart() {
        start();
        main_->setGeometry(40, 30, 600, 400);
        Control<QAction>(*main_, "selectorAction")->trigger();
        main_->selectorWindow()->move(20, 10);
        main_->close();
        main_.reset();
        start();
        QCOMPARE(main_->geometry(), QRect(40, 30, 600, 400));
        QCOMPARE(main_->selectorWindow()->pos(), QPoint(20, 10));
    }

    void keptMainGeometryOffScreenOrJunkIsNotUsed_data() {
        QTest::addColumn<QVariantMap>("stored");
        const QVariantMap usable{{"mainWindow/x", 40},
                                 {"mainWindow/y", 30},
                                 {"mainWindow/width", 600},
                                 {"mainWindow/height", 400}};
        auto with = [&](const char* key, const QVariant& value) {
            QVariantMap m = usable;
            m[key] = value;
            return m;
        };
        QTest::newRow("off every screen") << with("mainWindow/x", 5000);
        QTest::newRow("far above") << with("mainWindow/y", -1000000000);
        QTest::newRow("width not a number") << with("mainWindow/width", "wide");
        QTest::newRow("negative height") << with("mainWindow/height", -400);
        QTest::newRow("tiny") << with("mainWindow/width", 3);
        QTest::newRow("no place") << with("mainWindow/x", QVariant());
    }
    void keptMainGeometryOffScreenOrJunkIsNotUsed() {
        QFETCH(QVariantMap, stored);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            if (it.value().isValid()) ScratchPreferences::put(it.key(), it.value());
        start();
        QCOMPARE(main_->size(), QSize(795, 589));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(main_->pos(), CentredCorner(area, main_->size()));
    }

    void placeIsOnScreen_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<bool>("seen");
        QTest::newRow("inside") << QRect(10, 10, 595, 297) << true;
        QTest::newRow("hanging off the left") << QRect(-560, 10, 595, 297) << true;
        QTest::newRow("a sliver on the left") << QRect(-580, 10, 595, 297) << false;
        QTest::newRow("on the second screen") << QRect(1400, 100, 595, 297) << true;
        QTest::newRow("between the screens, below") << QRect(1100, 900, 400, 300) << false;
        QTest::newRow("below everything") << QRect(100, 2000, 595, 297) << false;
        QTest::newRow("a corner only") << QRect(1260, 780, 595, 297) << false;
        QTest::newRow("small window inside") << QRect(5, 5, 10, 10) << true;
        QTest::newRow("empty") << QRect(5, 5, 0, 0) << false;
    }
    void placeIsOnScreen() {
        QFETCH(QRect, frame);
        QFETCH(bool, seen);
        const QList<QRect> screens{QRect(0, 0, 1280, 800), QRect(1280, 0, 1024, 768)};
        QCOMPARE(PlaceIsOnScreen(frame, screens), seen);
    }

    void versionDialogAndNoticeWindow() {
        start();
        VersionDialog& version = *main_->versionDialog();
        NoticeWindow& notice = *main_->noticeWindow();
        QCOMPARE(version.windowTitle(), QString("Version"));
        QCOMPARE(Control<QLabel>(version, "versionPicture")->pixmap().size(), QSize(120, 240));
        QCOMPARE(Control<QLabel>(version, "nameLabel")->text(), QString("FrameSifter "));
        QCOMPARE(Control<QLabel>(version, "versionLabel")->text(), QString("Version 1.08B "));
        QCOMPARE(Control<QLabel>(version, "nameLabel")->font().pixelSize(), 24);
        QVERIFY(!version.isModal());
        Control<QAction>(*main_, "versionAction")->trigger();
        QVERIFY(version.isVisible());
        Control<QAction>(*main_, "versionAction")->trigger();
        QVERIFY(version.isVisible());
        int dialogs = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            dialogs += qobject_cast<VersionDialog*>(w) ? 1 : 0;
        QCOMPARE(dialogs, 1);
        QTest::mouseClick(Control<QPushButton>(version, "okButton"), Qt::LeftButton);
        QVERIFY(!version.isVisible());
        Control<QAction>(*main_, "versionAction")->trigger();
        QVERIFY(version.isVisible());

        QVERIFY(!notice.isVisible());
        QCOMPARE(Control<QPlainTextEdit>(notice, "noticeText")->toPlainText(), QString("Memo1"));
        QCOMPARE(notice.windowTitle(), QString("UpDate"));
        QVERIFY(notice.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!notice.checkNotice(1.06));
        QVERIFY(!notice.isVisible());
        // A newer version shows the notice; without "update.fft" it says there is none.
        QVERIFY(notice.checkNotice(1.07));
        QVERIFY(notice.isVisible());
        QVERIFY(Control<QPlainTextEdit>(notice, "noticeText")->toPlainText() != "Memo1");
        QVERIFY(WriteBytes(path("update.fft"), "新しい版があります\nline 2\n"));
        notice.checkNotice(2.0);
        QCOMPARE(Control<QPlainTextEdit>(notice, "noticeText")->toPlainText(),
                 QString("新しい版があります\nline 2\n"));
        QTest::mouseClick(Control<QPushButton>(notice, "closeButton"), Qt::LeftButton);
        QVERIFY(!notice.isVisible());
    }

    // The real dialog hides the patterns of its entries; the chosen entry must still be
    // told apart, or every FITS or JPEG choice would be read as the first entry.
    void realFileDialogReportsTheChosenEntry() {
        for (const QStringList& filters : {MainWindow::openFilters(), MainWindow::saveFilters()}) {
            for (int i = 0; i < filters.size(); ++i) {
                QFileDialog dialog;
                dialog.setOption(QFileDialog::DontUseNativeDialog);
                dialog.setOption(QFileDialog::HideNameFilterDetails);
                dialog.setNameFilters(filters);
                dialog.selectNameFilter(filters[i]);
                QCOMPARE(NameFilterIndex(filters, dialog.selectedNameFilter()), i);
            }
        }
        QCOMPARE(NameFilterIndex(MainWindow::openFilters(), "FITS"), 1);
        QCOMPARE(NameFilterIndex(MainWindow::saveFilters(), "JPEG(*.jpg)"), 1);
        QCOMPARE(NameFilterIndex(MainWindow::openFilters(), "unknown"), 0);
    }

    void qtTextsAreJapaneseAndEveryWindowShowsTheProgramIcon() {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString("はい(&Y)"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&No"), QString("いいえ(&N)"));
        start();
        const QImage icon = QApplication::windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(icon.convertToFormat(QImage::Format_ARGB32),
                 ProgramIconImage(32).convertToFormat(QImage::Format_ARGB32));
        for (QWidget* w :
             std::initializer_list<QWidget*>{main_.get(), main_->versionDialog(),
                                             main_->selectorWindow(), main_->noticeWindow()})
            QCOMPARE(w->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        const Qt::WindowFlags flags = main_->selectorWindow()->windowFlags();
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    }

    // Quitting ends the program whatever else is open, during a run too, and stops the run.
    void quittingEndsTheProgram_data() {
        QTest::addColumn<bool>("scores");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("byMenu");  // Ctrl+Q, or the main window's close button
        QTest::newRow("scores, menu") << true << false << false << true;
        QTest::newRow("scores, close") << true << false << false << false;
        QTest::newRow("version, menu") << false << true << false << true;
        QTest::newRow("both during a run, menu") << true << true << true << true;
        QTest::newRow("selector alone during a run, close") << false << false << true << false;
    }
    void quittingEndsTheProgram() {
        QFETCH(bool, scores);
        QFETCH(bool, version);
        QFETCH(bool, running);
        QFETCH(bool, byMenu);
        start();
        SelectorWindow& s = *main_->selectorWindow();
        s.showSelector();
        if (scores) s.showScores();
        if (version) Control<QAction>(*main_, "versionAction")->trigger();
        if (running) {
            QStringList frames;
            for (int k = 0; k < 40; ++k)
                frames << WriteStripesBmp(path(QString("q%1.bmp").arg(k)), k + 1);
            dialogs_->chooseOpen(frames, 0);
            Control<QPushButton>(s, "openButton")->click();
            s.setFrameReadHook(GatedFrameRead);
            g_readsAllowed = 3;
            Control<QPushButton>(s, "fftButton")->click();
            QTRY_COMPARE(Control<QLabel>(s, "workCount")->text(), QString("3 / 40"));
        }
        EndProgramWhenClosed(*main_);
        QTimer::singleShot(0, main_.get(), [&] {
            g_readsAllowed = INT_MAX;  // the frames being read finish; no other is started
            if (byMenu)
                Control<QAction>(*main_, "exitAction")->trigger();
            else
                main_->close();
        });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
        const int status = QCoreApplication::exec();
        QCOMPARE(status, 0);
        QVERIFY(!s.busy());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->windowTitle()));
    }

    void selectButtonAndMenuShowTheSelector() {
        start();
        QTest::mouseClick(Control<QPushButton>(*main_, "selectorButton"), Qt::LeftButton);
        QVERIFY(main_->selectorWindow()->isVisible());
        main_->selectorWindow()->hide();
        Control<QAction>(*main_, "selectorAction")->trigger();
        QVERIFY(main_->selectorWindow()->isVisible());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    GuardedApplication app(argc, argv);
    // Before the set-up, which reads the language: the user's own must not reach the test.
    ScratchPreferences preferences;
    SetUpApplication();
    ViewerWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewer_window_test.moc"
