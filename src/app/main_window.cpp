#include "main_window.h"

#include "command_guard.h"
#include "frame_formats.h"
#include "frame_ref.h"
#include "image_window.h"
#include "language.h"
#include "notice_window.h"
#include "picture_files.h"
#include "preferences.h"
#include "reason_text.h"
#include "screen_centre.h"
#include "selection_session.h"
#include "selector_window.h"
#include "settings_file.h"
#include "shown_name.h"
#include "user_dialogs.h"
#include "version_dialog.h"
#include "viewer_rules.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace framesifter;

const char* const kOverwriteQuestion =
    QT_TRANSLATE_NOOP("MainWindow", "ファイルがすでに存在しています。　上書きしますか？");

namespace {

// A 20 x 20 tool-bar picture; `disabled` draws it in greys.
QPixmap ToolPicture(bool save, bool disabled) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    auto c = [disabled](int r, int g, int b) {
        if (!disabled) return QColor(r, g, b);
        const int grey = 128 + (r * 11 + g * 16 + b * 5) / 32 / 3;
        return QColor(grey, grey, grey);
    };
    if (!save) {
        // An opening folder.
        p.setPen(QPen(c(110, 80, 10), 1));
        p.setBrush(c(230, 190, 70));
        p.drawPolygon(QPolygonF({QPointF(1.5, 4.5), QPointF(7.5, 4.5), QPointF(9.5, 6.5),
                                 QPointF(16.5, 6.5), QPointF(16.5, 16.5), QPointF(1.5, 16.5)}));
        p.setBrush(c(250, 220, 110));
        p.drawPolygon(QPolygonF(
            {QPointF(4.5, 9.5), QPointF(19.0, 9.5), QPointF(16.5, 16.5), QPointF(1.5, 16.5)}));
    } else {
        // A floppy disk.
        p.setPen(QPen(c(20, 30, 80), 1));
        p.setBrush(c(50, 80, 170));
        p.drawRoundedRect(QRectF(2.5, 2.5, 15, 15), 1.5, 1.5);
        p.setBrush(c(235, 235, 235));
        p.drawRect(QRectF(5.5, 2.5, 9, 6));
        p.setBrush(c(40, 40, 40));
        p.drawRect(QRectF(11.5, 3.5, 2, 4));
        p.setBrush(c(250, 250, 250));
        p.drawRect(QRectF(5.5, 11.5, 9, 6));
    }
    return pm;
}

QIcon ToolIcon(bool save) {
    QIcon icon;
    icon.addPixmap(ToolPicture(save, false), QIcon::Normal);
    icon.addPixmap(ToolPicture(save, true), QIcon::Disabled);
    return icon;
}

QString ChosenFolder(const QString& file) { return QFileInfo(file).absolutePath(); }

bool HasOpenableFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && OpenFilterForName(url.toLocalFile()) >= 0) return true;
    return false;
}

}  // namespace

QStringList MainWindow::openFilters() {
    QStringList filters;
    for (const FrameFormatRow& row : FrameFormatRows())
        filters << QString::fromStdString(DialogFilter(row, false));
    return filters;
}

// Built at each call: the first entry follows the language.
QStringList MainWindow::saveFilters() {
    return {
        tr("ビットマップ(*.bmp) (*.bmp)"),
        QStringLiteral("JPEG(*.jpg) (*.jpg *.jpeg)"),
    };
}

namespace {

// The grey scale the selector's run gives its frames, if any.
// The run's grey scale for a window of one of the selector's lists: the pass list's frames are
// the run's whatever the list shows now; the others only while the run is the list's.
std::optional<ValueScale> RunScale(const SelectionSession& session, FrameListKind kind) {
    ValueScale scale;
    if (!session.runValueRange(kind == FrameListKind::Passes, scale.low, scale.high))
        return std::nullopt;
    return scale;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("FrameSifter"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    createActions();
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar();
    layout->addWidget(toolBar_);

    mdiArea_ = new QMdiArea(central);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setBackground(QColor(128, 128, 128));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(mdiArea_, 1);
    setCentralWidget(central);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        RunCommand(this, [&] { imageWindowActivated(w); });
        enableSave();
        // Again once the event is done: the area reports a closing window before it leaves
        // its list.
        QMetaObject::invokeMethod(
            this, [this] { enableSave(); }, Qt::QueuedConnection);
    });

    buildMenu();
    enableSave();

    resize(795, 589);
    CentreOnScreen(*this);
    restoreKeptGeometry();

    settingsFolder_ = QDir::currentPath();
    ReadSettings(settingsFolder_);

    versionDialog_ = std::make_unique<VersionDialog>();
    selectorWindow_ = std::make_unique<SelectorWindow>();
    // The selector has a fixed size: a maximise button would only offer a bigger frame.
    selectorWindow_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                    Qt::WindowCloseButtonHint);
    noticeWindow_ = std::make_unique<NoticeWindow>();
    // The selector's frames open here, and a frame taken out in a window of its lists leaves
    // the selector's pass list.
    connect(selectorWindow_.get(), &SelectorWindow::frameOpenRequested, this,
            [this](const FrameList& list, int index) {
                RunCommand(this, [&] { showFrame(list, index); });
            });
    connect(this, &MainWindow::frameDropped, selectorWindow_.get(), &SelectorWindow::dropPassed);
    // After a move, an undo, a new list, run or selection, and a new order of the scores table,
    // no frame window shows a list that is no longer so.
    const auto follow = [this] { RunCommand(this, [&] { followSelection(); }); };
    connect(&selectorWindow_->session(), &SelectionSession::changed, this, follow);
    connect(&selectorWindow_->session(), &SelectionSession::scoresOrderChanged, this, follow);
    connect(selectorWindow_.get(), &SelectorWindow::folderChosen, this,
            [this](const QString& folder) { lastFolder_ = folder; });
}

// The base class's destructor closes the image windows, and the MDI area then reports
// activations to a window that is no longer a MainWindow.
MainWindow::~MainWindow() {
    if (mdiArea_) mdiArea_->disconnect(this);
}

template <class F>
QAction* MainWindow::newCommand(const char* name, const QString& text, F command) {
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(this, command); });
    return action;
}

void MainWindow::createActions() {
    openAction_ = newCommand("openAction", QString(), [this] { open(); });
    openAction_->setIcon(ToolIcon(false));
    openAction_->setToolTip(QStringLiteral("Open"));
    saveAction_ = newCommand("saveAction", QString(), [this] { save(); });
    saveAction_->setIcon(ToolIcon(true));
    saveAction_->setToolTip(QStringLiteral("Save"));
    for (QAction* action : {openAction_, saveAction_}) action->setIconVisibleInMenu(false);
    openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    exitAction_ = newCommand("exitAction", QString(), [this] { close(); });
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Opening and quitting are the program's, whichever of its windows has the keyboard.
    for (QAction* action : {openAction_, exitAction_})
        action->setShortcutContext(Qt::ApplicationShortcut);
    zoomInAction_ = newCommand("zoomInAction", QStringLiteral("+"), [this] { zoomIn(); });
    zoomOutAction_ = newCommand("zoomOutAction", QStringLiteral("-"), [this] { zoomOut(); });
    selectorAction_ =
        newCommand("selectorAction", QString(), [this] { selectorWindow_->showSelector(); });
    scoresAction_ =
        newCommand("scoresAction", QString(), [this] { selectorWindow_->showScores(); });
    undoMoveAction_ = newCommand("undoMoveAction", QString(), [this] {
        // With the selector hidden, the undo asks and shows its progress here.
        selectorWindow_->undoMoves(selectorWindow_->isVisible() ? nullptr : this);
    });
    closeWindowAction_ =
        newCommand("closeWindowAction", QString(), [this] { closeActiveWindow(); });
    closeWindowAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    closeAllAction_ = newCommand("closeAllAction", QString(), [this] { closeAllWindows(); });
    versionAction_ =
        newCommand("versionAction", QString(), [this] { versionDialog_->showVersion(); });
}

void MainWindow::buildToolBar() {
    toolBar_ = new QWidget;
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setFixedHeight(33);

    auto toolButton = [this](const char* name, QAction* action, const QRect& geometry) {
        auto* button = new QToolButton(toolBar_);
        button->setObjectName(QLatin1String(name));
        button->setDefaultAction(action);
        button->setGeometry(geometry);
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    toolButton("openButton", openAction_, {7, 5, 23, 23});
    toolButton("saveButton", saveAction_, {30, 5, 24, 23});

    auto* toolBarEdge = new QFrame(toolBar_);
    toolBarEdge->setObjectName(QStringLiteral("toolBarEdge"));
    toolBarEdge->setFrameShape(QFrame::HLine);
    toolBarEdge->setFrameShadow(QFrame::Sunken);
    toolBarEdge->setGeometry(0, 0, 4000, 2);

    // Push buttons look as the tool bar should; they have no default action, so a click
    // triggers the command's action.
    auto pushButton = [this](const char* name, const QString& text, QAction* action,
                             const QRect& geometry, int pixelSize) {
        auto* button = new QPushButton(text, toolBar_);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(geometry);
        QFont f = font();
        f.setPixelSize(pixelSize);
        button->setFont(f);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        return button;
    };
    pushButton("zoomInButton", QStringLiteral("+"), zoomInAction_, {80, 7, 17, 19}, 16);
    pushButton("zoomOutButton", QStringLiteral("-"), zoomOutAction_, {96, 7, 17, 19}, 16);

    zoomText_ = new QLineEdit(toolBar_);
    zoomText_->setObjectName(QStringLiteral("zoomText"));
    zoomText_->setGeometry(120, 6, 49, 21);
    zoomText_->setReadOnly(true);

    auto* positionLabel = new QLabel(QStringLiteral("(0,0)"), toolBar_);
    positionLabel->setObjectName(QStringLiteral("positionLabel"));
    positionLabel->move(232, 8);
    positionLabel->adjustSize();
    positionLabel->hide();

    selectorButton_ =
        pushButton("selectorButton", QString(), selectorAction_, {288, 8, 55, 20}, 12);
}

void MainWindow::buildMenu() {
    menuBar()->setFont(QApplication::font());
    fileMenu_ = menuBar()->addMenu(QString());
    fileMenu_->setObjectName(QStringLiteral("fileMenu"));
    fileMenu_->addAction(openAction_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(saveAction_);
    fileMenu_->addAction(exitAction_);
    selectorMenu_ = menuBar()->addMenu(QString());
    selectorMenu_->setObjectName(QStringLiteral("selectorMenu"));
    selectorMenu_->addAction(selectorAction_);
    selectorMenu_->addAction(scoresAction_);
    selectorMenu_->addAction(undoMoveAction_);
    windowMenu_ = menuBar()->addMenu(QString());
    windowMenu_->setObjectName(QStringLiteral("windowMenu"));
    windowMenu_->addAction(closeWindowAction_);
    windowMenu_->addAction(closeAllAction_);
    menuBar()->addAction(versionAction_);
    // Each language names itself, and the menu's title is the same in both, so that a user
    // who reads only one of them finds the way back.
    languageMenu_ = menuBar()->addMenu(QStringLiteral("言語 / Language"));
    languageMenu_->setObjectName(QStringLiteral("languageMenu"));
    auto* languages = new QActionGroup(this);
    japaneseAction_ = newCommand("japaneseAction", QStringLiteral("日本語"),
                                 [this] { chooseLanguage(Language::Japanese); });
    englishAction_ = newCommand("englishAction", QStringLiteral("English"),
                                [this] { chooseLanguage(Language::English); });
    for (QAction* action : {japaneseAction_, englishAction_}) {
        action->setCheckable(true);
        languages->addAction(action);
        languageMenu_->addAction(action);
    }
    for (QMenu* menu : {fileMenu_, selectorMenu_, windowMenu_, languageMenu_})
        menu->setFont(QApplication::font());
    retranslate();
}

void MainWindow::retranslate() {
    openAction_->setText(tr("開く(&O)"));
    saveAction_->setText(tr("保存(&S)"));
    exitAction_->setText(tr("終了(&Q)"));
    selectorAction_->setText(tr("設定(&S)"));
    scoresAction_->setText(tr("スコア"));
    undoMoveAction_->setText(tr("元に戻す"));
    closeWindowAction_->setText(tr("このウィンドウを閉じる(&C)"));
    closeAllAction_->setText(tr("すべてを閉じる(&L)"));
    versionAction_->setText(tr("バージョン(&V)"));
    selectorButton_->setText(tr("セレクト"));
    fileMenu_->setTitle(tr("ファイル(&F)"));
    selectorMenu_->setTitle(tr("セレクト(&S)"));
    windowMenu_->setTitle(tr("ウィンドウ(&W)"));
    (CurrentLanguage() == Language::English ? englishAction_ : japaneseAction_)->setChecked(true);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QMainWindow::changeEvent(event);
}

ImageWindow* MainWindow::activeImageWindow() const {
    return qobject_cast<ImageWindow*>(mdiArea_->activeSubWindow());
}

QList<ImageWindow*> MainWindow::imageWindows() const {
    QList<ImageWindow*> result;
    for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder))
        if (auto* image = qobject_cast<ImageWindow*>(w)) result.append(image);
    return result;
}

void MainWindow::enableSave() { saveAction_->setEnabled(!imageWindows().isEmpty()); }

void MainWindow::imageWindowActivated(QMdiSubWindow* window) {
    // Losing and regaining the application's focus reports the same window again; only a
    // change of the active image window updates the zoom text.
    if (!window || window == lastActive_) return;
    lastActive_ = window;
    if (auto* image = qobject_cast<ImageWindow*>(window)) {
        const QString text = image->activationZoomText();
        if (!text.isEmpty()) zoomText_->setText(text);
    }
}

// ---- Language ----

bool ChooseLanguage(Language language, std::string& error) {
    const bool changed = SetLanguage(language, error);
    // Kept even when a translation is missing: a later install may bring it.
    Preferences().setLanguage(language);
    return changed;
}

void MainWindow::chooseLanguage(Language language) {
    std::string error;
    if (!ChooseLanguage(language, error))
        Dialogs().showError(this, QString::fromLocal8Bit(error.c_str()));
}

// ---- Open ----

void MainWindow::open() {
    Preferences preferences;
    const FileDialogKind kind = FileDialogKind::ViewerOpen;
    const UserDialogs::OpenChoice choice =
        Dialogs().getOpenFiles(this, QStringLiteral("Open an Image for Viewing"), openFilters(),
                               preferences.dialogFilter(kind, int(openFilters().size())),
                               preferences.dialogFolder(kind, lastFolder_));
    if (!choice.accepted || choice.files.isEmpty()) return;
    preferences.keepDialogChoice(kind, choice.files.first(), choice.filterIndex);
    followFolder(ChosenFolder(choice.files.first()));
    openFiles(choice.files, choice.filterIndex);
}

void MainWindow::followFolder(const QString& folder) {
    lastFolder_ = folder;
    selectorWindow_->followFolder(folder);
}

void MainWindow::placeNewWindow(QMdiSubWindow* window) {
    // One title bar's height down and right, as desktops cascade their windows.
    const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    const QPoint newest = newestWindow_ ? newestWindow_->pos() : QPoint();
    window->move(CascadePosition(newestWindow_ ? &newest : nullptr, window->size(),
                                 mdiArea_->viewport()->size(), step));
    newestWindow_ = window;
}

int MainWindow::openFiles(const QStringList& files, int filterIndex) {
    const FrameFormat kind = DialogEntryFormat(filterIndex);
    int opened = 0;
    for (const QString& file : files) {
        if (IsVideoFormat(kind)) {
            if (!openVideo(file)) break;
            ++opened;
            continue;
        }
        QImage picture;
        std::string reason;
        if (!LoadPicture({QFile::encodeName(file).toStdString(), 0}, kind, picture, reason)) {
            Dialogs().showError(this, tr("画像を開けません: %1\n%2")
                                          .arg(QDir::toNativeSeparators(file), ReasonText(reason)));
            break;
        }
        auto* window = new ImageWindow;
        mdiArea_->addSubWindow(window);
        window->fill(picture, QFileInfo(file).fileName());
        placeNewWindow(window);
        window->show();
        zoomText_->setText(ZoomText(1.0));
        ++opened;
    }
    return opened;
}

namespace {

// A viewer reads what is dropped: it answers with a copy whatever the source proposes (a file
// manager may propose a move, and would then delete the user's file).
void AcceptAsCopy(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (HasOpenableFile(event->mimeData()) && (event->possibleActions() & Qt::CopyAction))
        AcceptAsCopy(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (HasOpenableFile(event->mimeData()) && (event->possibleActions() & Qt::CopyAction))
        AcceptAsCopy(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (!HasOpenableFile(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) return;
    AcceptAsCopy(event);
    const QList<QUrl> urls = event->mimeData()->urls();
    RunCommand(this, [&] { openDroppedFiles(urls); });
}

int MainWindow::openDroppedFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls)
        if (url.isLocalFile() && OpenFilterForName(url.toLocalFile()) >= 0)
            files << url.toLocalFile();
    if (files.isEmpty()) return 0;
    followFolder(ChosenFolder(files.first()));
    int opened = 0;
    for (const QString& file : files) {
        if (openFiles({file}, OpenFilterForName(file)) == 0) break;
        ++opened;
    }
    return opened;
}

// ---- Save ----

void MainWindow::save() {
    ImageWindow* window = activeImageWindow();
    if (!window) return;
    Preferences preferences;
    const FileDialogKind kind = FileDialogKind::ViewerSave;
    const UserDialogs::SaveChoice choice =
        Dialogs().getSaveFile(this, QStringLiteral("Save an Image"), saveFilters(),
                              preferences.dialogFilter(kind, int(saveFilters().size())),
                              preferences.dialogFolder(kind, lastFolder_));
    if (!choice.accepted || choice.file.isEmpty()) return;
    preferences.keepDialogChoice(kind, choice.file, choice.filterIndex);
    followFolder(ChosenFolder(choice.file));
    saveImageWindow(window, choice.file, choice.filterIndex);
}

bool MainWindow::saveImageWindow(ImageWindow* window, const QString& chosen, int filterIndex) {
    const bool jpeg = filterIndex == 1;
    const QString target =
        SaveTargetName(chosen, jpeg ? QStringList{QStringLiteral(".jpg"), QStringLiteral(".jpeg")}
                                    : QStringList{QStringLiteral(".bmp")});
    if (QFileInfo::exists(target) && !Dialogs().askYesNo(this, tr(kOverwriteQuestion), true))
        return false;
    std::string reason;
    const bool saved = jpeg ? SaveJpeg(target, window->picture(), 70, reason)
                            : SaveBmp(target, window->picture(), reason);
    if (!saved) {
        Dialogs().showError(this, tr("画像を保存できません: %1\n%2")
                                      .arg(QDir::toNativeSeparators(target), ReasonText(reason)));
        return false;
    }
    window->setWindowTitle(QFileInfo(target).fileName());
    return true;
}

// ---- Zoom and windows ----

void MainWindow::zoomIn() {
    QString text;
    if (ImageWindow* window = activeImageWindow(); window && window->zoomIn(text))
        zoomText_->setText(text);
}

void MainWindow::zoomOut() {
    QString text;
    if (ImageWindow* window = activeImageWindow(); window && window->zoomOut(text))
        zoomText_->setText(text);
}

void MainWindow::closeActiveWindow() {
    if (ImageWindow* window = activeImageWindow()) window->close();
}

void MainWindow::closeAllWindows() {
    // A copy of the list: closing a window removes it from the area's own list.
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    for (QMdiSubWindow* w : windows) w->close();
}

void MainWindow::restoreKeptGeometry() {
    const Preferences preferences;
    if (const std::optional<QRect> kept = preferences.mainGeometry();
        kept && PlaceIsOnScreen(*kept))
        setGeometry(*kept);
    if (preferences.mainMaximized()) setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::keepGeometry() {
    Preferences().setMainGeometry(isMaximized() ? normalGeometry() : geometry(), isMaximized());
}

void EndProgramWhenClosed(const MainWindow& window) {
    // exit, not quit: Qt's quit asks every window to close and gives up if one refuses.
    QObject::connect(
        &window, &MainWindow::closed, qApp, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Nothing is reported when the settings cannot be written; the program ends all the same.
    RunCommand(this, [this] {
        // Closing goes on whatever happens: the file only carries the binning to the next start.
        std::string error;
        (void)WriteSettings(settingsFolder_, error);
    });
    // The selector is not hidden when the program ends, so it is told to keep its own now.
    RunCommand(this, [this] {
        keepGeometry();
        selectorWindow_->keepPreferences();
    });
    // The program ends with this window: work under way stops now, and no other window may
    // hold the quit back.
    selectorWindow_->endForQuit();
    versionDialog_->close();
    noticeWindow_->close();
    event->accept();
    QMainWindow::closeEvent(event);
    emit closed();
}

// ---- Frames from the selector's lists, and videos ----

bool MainWindow::openVideo(const QString& file) {
    std::vector<FrameRef> frames;
    std::string reason;
    if (!ExpandFrameEntries({ParseFrameRef(QFile::encodeName(file).toStdString())}, frames,
                            reason)) {
        Dialogs().showError(
            this,
            tr("画像を開けません: %1\n%2").arg(QDir::toNativeSeparators(file), ReasonText(reason)));
        return false;
    }
    return showFrame(frames, 0, false) != nullptr;
}

ImageWindow* MainWindow::showFrame(const std::vector<FrameRef>& frames, int index, bool passList) {
    FrameList list;
    list.kind = passList ? FrameListKind::Passes : FrameListKind::Own;
    list.frames = frames;
    return showFrame(std::move(list), index);
}

ImageWindow* MainWindow::showFrame(FrameList list, int index) {
    if (index < 0 || std::size_t(index) >= list.frames.size()) return nullptr;
    auto* window = new ImageWindow;
    window->setFrameList(std::move(list), index);
    if (window->frameList().follows())
        window->setRunScale(RunScale(selectorWindow_->session(), window->frameList().kind));
    if (!fillFrame(window, index)) {
        delete window;
        return nullptr;
    }
    mdiArea_->addSubWindow(window);
    QString text;
    window->showWhole(mdiArea_->viewport()->size(), text);
    placeNewWindow(window);
    window->show();
    mdiArea_->setActiveSubWindow(window);
    // Asked for from the selector or the scores window: Page Down must reach the new window.
    raise();
    activateWindow();
    window->setFocus();
    zoomText_->setText(text);
    connect(window, &ImageWindow::frameStepRequested, this,
            [this](ImageWindow* w, int delta) { RunCommand(this, [&] { stepFrame(w, delta); }); });
    connect(window, &ImageWindow::frameDropRequested, this,
            [this](ImageWindow* w) { RunCommand(this, [&] { dropFrame(w); }); });
    connect(window, &ImageWindow::scaleChoiceChanged, this,
            [this](ImageWindow* w) { RunCommand(this, [&] { redrawFrame(w); }); });
    return window;
}

bool MainWindow::fillFrame(ImageWindow* window, int index) {
    const FrameRef& frame = window->frames().at(std::size_t(index));
    const FrameFormat format = FrameFormatOf(frame.file);
    QImage picture;
    std::string reason = Reason(ReasonKind::NotAFrameName);
    if (format == FrameFormat::Unknown ||
        !LoadPicture(frame, format, window->shownScale(), picture, reason)) {
        const QString path = QFile::decodeName(FrameRefText(frame).c_str());
        Dialogs().showError(
            this,
            tr("画像を開けません: %1\n%2").arg(QDir::toNativeSeparators(path), ReasonText(reason)));
        return false;
    }
    // Stepping keeps the zoom the user chose; a first fill starts at 100 %.
    const int exponent = window->frameIndex() == index ? 0 : window->zoomExponent();
    window->fill(picture,
                 FrameCaption(FrameDisplayName(frame), index, int(window->frames().size())));
    window->setFrameIndex(index);
    QString text = ZoomText(1.0);
    if (exponent != 0) window->zoomTo(exponent, text);
    if (window == activeImageWindow()) zoomText_->setText(text);
    return true;
}

void MainWindow::redrawFrame(ImageWindow* window) {
    const int exponent = window->zoomExponent();
    if (window->frameIndex() < 0 || !fillFrame(window, window->frameIndex())) return;
    QString text = ZoomText(1.0);
    if (exponent != 0) window->zoomTo(exponent, text);
    if (window == activeImageWindow()) zoomText_->setText(text);
}

void MainWindow::stepFrame(ImageWindow* window, int delta) {
    const int next = SteppedFrame(window->frameIndex(), delta, int(window->frames().size()));
    if (next != window->frameIndex()) fillFrame(window, next);
}

void MainWindow::followSelection() {
    const SelectionSession& session = selectorWindow_->session();
    for (ImageWindow* window : imageWindows()) {
        const FrameList& before = window->frameList();
        if (!before.follows()) continue;
        // A new run brings its own grey scale, or none when it is not the list's.
        const std::optional<ValueScale> scale = RunScale(session, before.kind);
        const std::optional<ValueScale>& shown = window->runScale();
        const bool rescaled = scale.has_value() != shown.has_value() ||
                              (scale && (scale->low != shown->low || scale->high != shown->high));
        if (rescaled) window->setRunScale(scale);
        FrameList after = session.frameList(before.kind);
        if (after.ids == before.ids && after.frames == before.frames) {
            if (rescaled) redrawFrame(window);
            continue;
        }
        const FollowedFrame place =
            FollowFrameList(before, window->frameIndex(), after, window == dropping_);
        if (place.index < 0) {
            window->close();
            continue;
        }
        const int count = int(after.frames.size());
        if (place.sameFrame) {
            // The same picture; only its place in the list, or where it lies, changed.
            const FrameRef frame = after.frames[std::size_t(place.index)];
            window->setFrameList(std::move(after), place.index);
            window->setWindowTitle(FrameCaption(FrameDisplayName(frame), place.index, count));
            if (rescaled) redrawFrame(window);
            continue;
        }
        // With no frame shown meanwhile, the fill keeps the zoom.
        window->setFrameList(std::move(after), -1);
        if (!fillFrame(window, place.index)) window->close();
    }
}

void MainWindow::dropFrame(ImageWindow* window) {
    const FrameList& list = window->frameList();
    if (!list.follows()) {
        dropOwnFrame(window);
        return;
    }
    const int index = window->frameIndex();
    if (index < 0 || std::size_t(index) >= list.frames.size()) return;
    const FrameRef frame = list.frames[std::size_t(index)];
    if (!selectorWindow_->session().isPassed(frame)) {
        Dialogs().showMessage(this,
                              tr("%1 は合格ファイルではありません").arg(FrameDisplayName(frame)));
        return;
    }
    // The pass list's own path: the session changes, and every window follows it.
    dropping_ = window;
    emit frameDropped(frame);
    dropping_ = nullptr;
}

void MainWindow::dropOwnFrame(ImageWindow* window) {
    const int index = window->frameIndex();
    FrameRef frame;
    if (!window->takeShownFrame(frame)) return;
    emit frameDropped(frame);
    if (window->frames().empty()) {
        window->close();
        return;
    }
    // The frame that took the dropped one's place, or the new last one; with none shown
    // meanwhile, the fill keeps the zoom.
    const int next = std::min(index, int(window->frames().size()) - 1);
    if (!fillFrame(window, next)) window->close();
}
