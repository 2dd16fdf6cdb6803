#include "main_form.h"

#include "child.h"
#include "picture_files.h"
#include "selector_window.h"
#include "settings_file.h"
#include "startup.h"
#include "user_dialogs.h"
#include "version.h"
#include "viewer_rules.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

TMainForm* MainForm = nullptr;
const char* const kOverwriteQuestion = "ファイルがすでに存在しています。　上書きしますか？";

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
        p.drawPolygon(QPolygonF({QPointF(4.5, 9.5), QPointF(19.0, 9.5), QPointF(16.5, 16.5),
                                 QPointF(1.5, 16.5)}));
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

}  // namespace

const QStringList& TMainForm::OpenFilters() {
    static const QStringList filters = {
        QStringLiteral("BMP (*.bmp)"),
        QStringLiteral("FITS (16bit Uncompressed) (*.fit *.fts *.fits)"),
        QStringLiteral("JPEG (*.jpg *.jpeg)"),
    };
    return filters;
}

const QStringList& TMainForm::SaveFilters() {
    static const QStringList filters = {
        QStringLiteral("ビットマップ(*.bmp) (*.bmp)"),
        QStringLiteral("JPEG(*.jpg) (*.jpg *.jpeg)"),
    };
    return filters;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("FrameSifter"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildSpeedBar();
    layout->addWidget(SpeedBar);

    MdiArea = new QMdiArea(central);
    MdiArea->setBackground(QColor(128, 128, 128));
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(MdiArea, 1);
    setCentralWidget(central);
    connect(MdiArea, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* w) { RunCommand(this, [&] { ChildActivated(w); }); });

    BuildMenu();

    resize(795, 589);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.width() / 2 - 795 / 2, s.height() / 2 - 589 / 2);
    }

    ReadSettings();
}

// The base class's destructor closes the image windows, and the MDI area then reports
// activations to a window that is no longer a TMainForm.
TMainForm::~TMainForm() {
    if (MdiArea) MdiArea->disconnect(this);
}

void TMainForm::BuildSpeedBar() {
    SpeedBar = new QWidget;
    SpeedBar->setObjectName(QStringLiteral("SpeedBar"));
    SpeedBar->setFixedHeight(33);

    OpenButton = new QToolButton(SpeedBar);
    OpenButton->setObjectName(QStringLiteral("OpenButton"));
    OpenButton->setGeometry(7, 5, 23, 23);
    OpenButton->setIcon(ToolIcon(false));
    OpenButton->setIconSize(QSize(20, 20));
    OpenButton->setAutoRaise(true);
    OpenButton->setFocusPolicy(Qt::NoFocus);
    OpenButton->setToolTip(QStringLiteral("Open"));
    connect(OpenButton, &QToolButton::clicked, this, &TMainForm::OpenButtonClick);

    SaveButton = new QToolButton(SpeedBar);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setGeometry(30, 5, 24, 23);
    SaveButton->setIcon(ToolIcon(true));
    SaveButton->setIconSize(QSize(20, 20));
    SaveButton->setAutoRaise(true);
    SaveButton->setFocusPolicy(Qt::NoFocus);
    SaveButton->setToolTip(QStringLiteral("Save"));
    connect(SaveButton, &QToolButton::clicked, this, &TMainForm::SaveButtonClick);

    Bevel1 = new QFrame(SpeedBar);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 0, 4000, 2);

    QFont sign = font();
    sign.setPixelSize(16);
    Button1 = new QPushButton(QStringLiteral("+"), SpeedBar);
    Button1->setGeometry(80, 7, 17, 19);
    Button1->setFont(sign);
    connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
    Button2 = new QPushButton(QStringLiteral("-"), SpeedBar);
    Button2->setGeometry(96, 7, 17, 19);
    Button2->setFont(sign);
    connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);

    Edit1 = new QLineEdit(SpeedBar);
    Edit1->setGeometry(120, 6, 49, 21);

    Label3 = new QLabel(QStringLiteral("(0,0)"), SpeedBar);
    Label3->move(232, 8);
    Label3->adjustSize();
    Label3->hide();

    Button3 = new QPushButton(QStringLiteral("セレクト"), SpeedBar);
    Button3->setGeometry(288, 8, 55, 20);
    QFont jp = font();
    jp.setPixelSize(12);
    Button3->setFont(jp);
    connect(Button3, &QPushButton::clicked, this, &TMainForm::Button3Click);
}

void TMainForm::BuildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setFont(QApplication::font());
    File1 = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
    Open1 = File1->addAction(QStringLiteral("開く(&O)"), this, &TMainForm::Open1Click);
    P1 = File1->addSeparator();
    Save1 = File1->addAction(QStringLiteral("保存(&S)"), this, &TMainForm::Save1Click);
    Exit1 = File1->addAction(QStringLiteral("終了(&Q)"), this, &QWidget::close);
    S1 = MainMenu1->addMenu(QStringLiteral("セレクト(&S)"));
    S2 = S1->addAction(QStringLiteral("設定(&S)"), this, &TMainForm::S2Click);
    Window1 = MainMenu1->addMenu(QStringLiteral("ウィンドウ(&W)"));
    C1 = Window1->addAction(QStringLiteral("このウィンドウを閉じる(&C)"), this, &TMainForm::C1Click);
    L1 = Window1->addAction(QStringLiteral("すべてを閉じる(&L)"), this, &TMainForm::L1Click);
    V1 = MainMenu1->addAction(QStringLiteral("バージョン(&V)"), this, &TMainForm::V1Click);
    for (QMenu* menu : {File1, S1, Window1}) menu->setFont(QApplication::font());
}

TChild* TMainForm::ActiveImageWindow() const {
    return qobject_cast<TChild*>(MdiArea->activeSubWindow());
}

QList<TChild*> TMainForm::ImageWindows() const {
    QList<TChild*> result;
    for (QMdiSubWindow* w : MdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* child = qobject_cast<TChild*>(w)) result.append(child);
    return result;
}

void TMainForm::ChildActivated(QMdiSubWindow* window) {
    // Losing and regaining the application's focus reports the same window again; only a
    // change of the active image window updates the zoom text.
    if (!window || window == lastActive_) return;
    lastActive_ = window;
    if (auto* child = qobject_cast<TChild*>(window)) {
        const QString text = child->FormActivate();
        if (!text.isEmpty()) Edit1->setText(text);
    }
}

// ---- Open ----

void TMainForm::OpenButtonClick() { RunCommand(this, [this] { OpenCommand(); }); }
void TMainForm::Open1Click() { RunCommand(this, [this] { OpenCommand(); }); }

void TMainForm::OpenCommand() {
    const UserDialogs::OpenChoice choice = Dialogs().getOpenFiles(
        this, QStringLiteral("Open an Image for Viewing"), OpenFilters(), openFilter_);
    if (!choice.accepted || choice.files.isEmpty()) return;
    openFilter_ = choice.filterIndex;
    QDir::setCurrent(ChosenFolder(choice.files.first()));
    OpenFiles(choice.files, choice.filterIndex);
}

int TMainForm::OpenFiles(const QStringList& files, int filterIndex) {
    const OpenKind kind = filterIndex == 1 ? OpenKind::Fits
                        : filterIndex == 2 ? OpenKind::Jpeg
                                           : OpenKind::Bmp;
    int opened = 0;
    for (const QString& file : files) {
        QImage picture;
        QString reason;
        if (!LoadPicture(file, kind, picture, reason)) {
            Dialogs().showError(this, QStringLiteral("画像を開けません: %1\n%2")
                                          .arg(QDir::toNativeSeparators(file), reason));
            break;
        }
        auto* child = new TChild;
        MdiArea->addSubWindow(child);
        child->show();
        child->Fill(picture, QFileInfo(file).fileName());
        Edit1->setText(QStringLiteral("100%"));
        ++opened;
    }
    return opened;
}

// ---- Save ----

void TMainForm::SaveButtonClick() { RunCommand(this, [this] { SaveCommand(); }); }
void TMainForm::Save1Click() { RunCommand(this, [this] { SaveCommand(); }); }

void TMainForm::SaveCommand() {
    TChild* child = ActiveImageWindow();
    if (!child) return;
    const UserDialogs::SaveChoice choice =
        Dialogs().getSaveFile(this, QStringLiteral("Save an Image"), SaveFilters(), saveFilter_);
    if (!choice.accepted || choice.file.isEmpty()) return;
    saveFilter_ = choice.filterIndex;
    QDir::setCurrent(ChosenFolder(choice.file));
    SaveImageWindow(child, choice.file, choice.filterIndex);
}

bool TMainForm::SaveImageWindow(TChild* child, const QString& chosen, int filterIndex) {
    const bool jpeg = filterIndex == 1;
    const QString target = SaveTargetName(chosen, jpeg ? QStringLiteral(".jpg")
                                                       : QStringLiteral(".bmp"));
    if (QFileInfo::exists(target) &&
        !Dialogs().askYesNo(this, QString::fromUtf8(kOverwriteQuestion), true))
        return false;
    QString reason;
    const bool saved = jpeg ? SaveJpeg(target, child->Picture(), 70, reason)
                            : SaveBmp(target, child->Picture(), reason);
    if (!saved) {
        Dialogs().showError(this, QStringLiteral("画像を保存できません: %1\n%2")
                                      .arg(QDir::toNativeSeparators(target), reason));
        return false;
    }
    child->setWindowTitle(QFileInfo(target).fileName());
    return true;
}

// ---- Zoom ----

void TMainForm::Button1Click() {
    RunCommand(this, [this] {
        QString text;
        if (TChild* child = ActiveImageWindow(); child && child->ZoomIn(text)) Edit1->setText(text);
    });
}

void TMainForm::Button2Click() {
    RunCommand(this, [this] {
        QString text;
        if (TChild* child = ActiveImageWindow(); child && child->ZoomOut(text)) Edit1->setText(text);
    });
}

// ---- Selector, windows, version ----

void TMainForm::ShowSelectorCommand() {
    if (Selector) Selector->ShowSelector();
}
void TMainForm::Button3Click() { RunCommand(this, [this] { ShowSelectorCommand(); }); }
void TMainForm::S2Click() { RunCommand(this, [this] { ShowSelectorCommand(); }); }

void TMainForm::C1Click() {
    RunCommand(this, [this] {
        if (TChild* child = ActiveImageWindow()) child->close();
    });
}

void TMainForm::L1Click() {
    RunCommand(this, [this] {
        // A copy of the list: closing a window removes it from the area's own list.
        const QList<QMdiSubWindow*> windows = MdiArea->subWindowList();
        for (QMdiSubWindow* w : windows) w->close();
    });
}

void TMainForm::V1Click() {
    RunCommand(this, [] {
        if (Version) Version->ShowVersion();
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Nothing is reported when the settings cannot be written; the program ends all the same.
    RunCommand(this, [] { WriteSettings(); });
    event->accept();
    QMainWindow::closeEvent(event);
    emit Closed();
}
