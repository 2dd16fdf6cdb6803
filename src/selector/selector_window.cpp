#include "selector_window.h"

#include "batch_run.h"
#include "file_move.h"
#include "jpeg_image.h"
#include "selection.h"
#include "user_dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>

#include <exception>
#include <stdexcept>

TSelector* Selector = nullptr;

namespace {

const int kPanelWidth = 595;
const int kPanelHeight = 297;
const int kMovedRole = Qt::UserRole + 1;   // ListBox4: the entry already lies in "Good"
const int kMaxListedFailures = 20;

std::string ToNative(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromNative(const std::string& path) { return QFile::decodeName(path.c_str()); }

// Shows the run's position and paints it at once: the run keeps the event loop waiting,
// so nothing else would draw the bar, and no user input is taken meanwhile.
class BarProgress : public ProgressSink {
public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    void setPosition(int percent) override {
        if (bar_->value() == percent) return;
        bar_->setValue(percent);
        bar_->repaint();
    }

private:
    QProgressBar* bar_;
};

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// ---------------------------------------------------------------- GraphImage

GraphImage::GraphImage(QWidget* parent) : QWidget(parent), Picture(NewGraphImage()) {
    setFixedSize(kGraphWidth, kGraphHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Picture);
}

void GraphImage::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouseDown(event->button(), p.x(), p.y());
}

// ---------------------------------------------------------------- UpDownSpinner

UpDownSpinner::UpDownSpinner(int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), position_(position) {
    setFocusPolicy(Qt::StrongFocus);
}

void UpDownSpinner::setPosition(int position) {
    position_ = std::max(minimum_, std::min(maximum_, position));
    update();
}

void UpDownSpinner::step(bool up) {
    setPosition(position_ + (up ? 1 : -1));
    emit clicked(up);
}

void UpDownSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = halves[i];
        const bool down = (i == 0 && pressed_ > 0) || (i == 1 && pressed_ < 0);
        option.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
        // A small solid triangle; the style's arrows do not fit a 9-pixel button.
        const QRect r = halves[i];
        const int cx = r.center().x();
        const int cy = r.top() + r.height() / 2;
        const bool canMove = i == 0 ? position_ < maximum_ : position_ > minimum_;
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(canMove && isEnabled() ? QPalette::Active
                                                                 : QPalette::Disabled,
                                         QPalette::ButtonText));
        QPolygon arrow;
        if (i == 0)
            arrow << QPoint(cx - 2, cy + 1) << QPoint(cx + 3, cy + 1) << QPoint(cx, cy - 2);
        else
            arrow << QPoint(cx - 2, cy - 1) << QPoint(cx + 3, cy - 1) << QPoint(cx, cy + 2);
        painter.drawPolygon(arrow);
    }
}

void UpDownSpinner::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = event->position().y() < height() / 2 ? 1 : -1;
    update();
}

void UpDownSpinner::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || pressed_ == 0) return;
    const bool up = pressed_ > 0;
    pressed_ = 0;
    update();
    if (rect().contains(event->position().toPoint())) step(up);
}

void UpDownSpinner::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        step(true);
    } else if (event->key() == Qt::Key_Down) {
        step(false);
    } else {
        QWidget::keyPressEvent(event);
    }
}

// ---------------------------------------------------------------- TSelector

TSelector::TSelector(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Selector");
    // Closing only hides the selector; it must not keep the program alive by itself.
    setAttribute(Qt::WA_QuitOnClose, false);

    // The platform's UI font at 12 pixels, Japanese from IPA Gothic. The platform family
    // may be an alias such as "Sans Serif", which a family list does not resolve, so name
    // the family it stands for.
    const QFont platform = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    QFont font = QApplication::font();
    font.setPixelSize(12);
    font.setFamilies({QFontInfo(platform).family(), QStringLiteral("IPAGothic")});
    setFont(font);

    BuildControls();
    setFixedSize(kPanelWidth, kPanelHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + s.width() / 2 - width() / 2, s.y() + s.height() / 2 - height() / 2);
    }
    std::string error;
    if (!CreateAnalysisResults(Results, error)) throw std::runtime_error(error);
}

void TSelector::BuildControls() {
    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, 0, kPanelWidth, kPanelHeight);

    auto label = [this](int x, int y, const QString& text) {
        auto* l = new QLabel(text, Panel1);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    Label1 = label(64, 16, QStringLiteral("ファイル"));
    Label4 = label(144, 16, QStringLiteral("0"));
    Label3 = label(264, 16, QStringLiteral("周波数特性"));
    Label2 = label(480, 16, QStringLiteral("合格ファイル"));
    Label5 = label(568, 16, QStringLiteral("0"));

    auto list = [this](int x, int y, int w, int h) {
        auto* l = new QListWidget(Panel1);
        l->setGeometry(x, y, w, h);
        l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setSortingEnabled(false);
        return l;
    };
    ListBox1 = list(8, 32, 153, 201);
    ListBox2 = list(432, 32, 153, 169);
    ListBox3 = list(208, 112, 65, 33);
    ListBox4 = list(280, 112, 49, 33);
    ListBox3->hide();
    ListBox4->hide();

    Image1 = new GraphImage(Panel1);
    Image1->move(169, 32);

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setGeometry(432, 216, 153, 9);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    auto group = [this](int x, int y, int w, int h, const QString& title) {
        auto* g = new QGroupBox(title, Panel1);
        g->setGeometry(x, y, w, h);
        return g;
    };
    auto button = [](QWidget* parent, int x, int y, int w, int h, const QString& text) {
        auto* b = new QPushButton(text, parent);
        b->setGeometry(x, y, w, h);
        b->setAutoDefault(false);
        return b;
    };

    GroupBox3 = group(16, 240, 145, 49, QStringLiteral("画像"));
    BitBtn1 = button(GroupBox3, 40, 18, 57, 20, QStringLiteral("開く"));

    GroupBox2 = group(168, 240, 257, 49, QStringLiteral("グラフ"));
    Button3 = button(GroupBox2, 16, 20, 17, 17, QStringLiteral("+"));
    Button4 = button(GroupBox2, 40, 20, 17, 17, QStringLiteral("-"));
    Button1 = button(GroupBox2, 80, 16, 57, 25, QStringLiteral("FFT"));
    RadioButton1 = new QRadioButton(QStringLiteral("画像の中心"), GroupBox2);
    RadioButton1->setGeometry(160, 12, 89, 17);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("ピーク位置"), GroupBox2);
    RadioButton2->setGeometry(160, 28, 89, 17);

    GroupBox1 = group(432, 240, 153, 49, QStringLiteral("合格基準"));
    Edit1 = new QLineEdit(QStringLiteral("5"), GroupBox1);
    Edit1->setGeometry(16, 17, 17, 20);
    Edit1->setReadOnly(true);
    Edit1->setAlignment(Qt::AlignCenter);
    // 17 pixels hold "10" only in the narrower digits of IPA Gothic, and only without the
    // line edit's own inner margins.
    QFont digits = font();
    digits.setFamilies({QStringLiteral("IPAGothic")});
    Edit1->setFont(digits);
    Edit1->setTextMargins(-2, 0, -2, 0);
    UpDown1 = new UpDownSpinner(0, 10, 5, GroupBox1);
    UpDown1->setGeometry(32, 17, 9, 20);
    Button2 = button(GroupBox1, 48, 17, 45, 20, QStringLiteral("Select"));
    Button5 = button(GroupBox1, 96, 17, 49, 20, QStringLiteral("移動"));

    connect(BitBtn1, &QPushButton::clicked, this, &TSelector::BitBtn1Click);
    connect(Button1, &QPushButton::clicked, this, &TSelector::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSelector::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TSelector::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TSelector::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TSelector::Button5Click);
    connect(UpDown1, &UpDownSpinner::clicked, this, &TSelector::UpDown1Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TSelector::Edit1Change);
    connect(Image1, &GraphImage::mouseDown, this, &TSelector::Image1MouseDown);

    // A list click analyses the selected entry: on every change of the selection (mouse
    // or keyboard), and on a click on the entry that was already selected.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TSelector::ListBox1Click);
    connect(ListBox2, &QListWidget::itemSelectionChanged, this, &TSelector::ListBox2Click);
    connect(ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (pressedRow1_ >= 0 && ListBox1->row(item) == pressedRow1_) ListBox1Click();
    });
    connect(ListBox2, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (pressedRow2_ >= 0 && ListBox2->row(item) == pressedRow2_) ListBox2Click();
    });
    ListBox1->viewport()->installEventFilter(this);
    ListBox2->viewport()->installEventFilter(this);
}

bool TSelector::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto selectedRow = [](QListWidget* list) {
            const auto items = list->selectedItems();
            return items.isEmpty() ? -1 : list->row(items.first());
        };
        if (watched == ListBox1->viewport()) pressedRow1_ = selectedRow(ListBox1);
        if (watched == ListBox2->viewport()) pressedRow2_ = selectedRow(ListBox2);
    }
    return QWidget::eventFilter(watched, event);
}

void TSelector::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

void TSelector::ShowSelector() {
    Guarded([&] {
        ClearGraph(Image1->Picture);
        Image1->update();
        show();
        raise();
        activateWindow();
    });
}

template <class F>
void TSelector::Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("予期しないエラーが発生しました"));
    }
}

void TSelector::ReportError(const QString& text) {
    try {
        Dialogs().showError(this, text);
    } catch (...) {
        // Nothing left to report with.
    }
}

void TSelector::PlaceCountLabel(QLabel* label, int left, const QString& text) {
    label->setText(text);
    label->adjustSize();
    // A long count moves left rather than run off the panel's right edge.
    const int room = kPanelWidth - 2 - label->width();
    label->move(std::min(left, room), label->y());
}

QStringList TSelector::OpenFilters() {
    // The dialog takes its patterns from the last parentheses, separated by spaces, and
    // shows what comes before them as the entry's label.
    return {QStringLiteral("BMP (*.bmp) (*.bmp)"),
            QStringLiteral("FITS (*.fit, *.fts, *.fits) (*.fit *.fts *.fits)"),
            QStringLiteral("JPEG (*.jpg, *.jpeg) (*.jpg *.jpeg)")};
}

WindowMode TSelector::CurrentMode() const {
    return RadioButton2->isChecked() ? WindowMode::Peak : WindowMode::Centre;
}

std::vector<std::string> TSelector::Paths(const QListWidget* list) {
    std::vector<std::string> paths;
    paths.reserve(std::size_t(list->count()));
    for (int i = 0; i < list->count(); ++i) paths.push_back(ToNative(list->item(i)->text()));
    return paths;
}

void TSelector::DrawGraph(GraphForm form) {
    ::DrawGraph(Image1->Picture, Results, View, form);
    Image1->update();
}

// ---------------------------------------------------------------- handlers

void TSelector::BitBtn1Click() {
    Guarded([&] {
        const UserDialogs::OpenChoice choice =
            Dialogs().getOpenFiles(this, QString(), OpenFilters(), 0);
        if (!choice.accepted) return;
        ListBox1->clear();
        ListBox2->clear();
        ListBox3->clear();
        ListBox4->clear();
        if (!choice.files.isEmpty())
            QDir::setCurrent(QFileInfo(choice.files.first()).absolutePath());
        if (choice.files.size() > kMaxFiles) {
            Dialogs().showMessage(this, QStringLiteral("ファイル数を4000個以下にしてください"));
            return;
        }
        for (const QString& path : choice.files) {
            ListBox1->addItem(QFileInfo(path).fileName());
            ListBox3->addItem(path);
        }
        PlaceCountLabel(Label4, 144, QString::number(choice.files.size()));
    });
}

void TSelector::Button1Click() {
    Guarded([&] {
        if (ListBox1->count() == 0) return;
        BatchResult result;
        {
            WaitCursor wait;
            BarProgress progress(ProgressBar1);
            result = RunBatch(Results, Paths(ListBox3), CurrentMode(), &progress);
        }
        switch (result.status) {
        case BatchStatus::Completed:
            DrawGraph(GraphForm::Summary);
            break;
        case BatchStatus::TooSmall:
            Dialogs().showMessage(
                this, QStringLiteral("画像サイズは256x256以上にしてください\n%1 (%2 x %3)")
                          .arg(FromNative(result.failedPath))
                          .arg(result.width)
                          .arg(result.height));
            break;
        case BatchStatus::Unreadable:
            Dialogs().showError(this, QStringLiteral("ファイルを読み込めません: %1\n%2")
                                          .arg(FromNative(result.failedPath),
                                               QString::fromLocal8Bit(result.reason.c_str())));
            break;
        case BatchStatus::TooMany:
            Dialogs().showMessage(this, QStringLiteral("ファイル数を4000個以下にしてください"));
            break;
        case BatchStatus::Empty:
            break;
        }
    });
}

void TSelector::Image1MouseDown(Qt::MouseButton button, int x, int) {
    Guarded([&] {
        if (ApplyGraphPress(View, button, x)) DrawGraph(GraphForm::Summary);
    });
}

void TSelector::Button3Click() {
    Guarded([&] {
        if (EnlargeGraph(View)) DrawGraph(GraphForm::Scale);
    });
}

void TSelector::Button4Click() {
    Guarded([&] {
        if (ShrinkGraph(View)) DrawGraph(GraphForm::Scale);
    });
}

void TSelector::UpDown1Click() {
    Guarded([&] { Edit1->setText(QString::number(UpDown1->position())); });
}

void TSelector::Edit1Change() {
    Guarded([&] {
        const QString shown = QString::number(UpDown1->position());
        if (Edit1->text() != shown) Edit1->setText(shown);
    });
}

void TSelector::Button2Click() {
    Guarded([&] {
        const int n = ListBox1->count();
        if (n == 0) return;
        // Scores are only meaningful for the very files the last completed run analysed.
        if (!ResultsMatch(Results, Paths(ListBox3))) {
            Dialogs().showMessage(this, QStringLiteral("先にFFTを実行してください"));
            return;
        }
        ListBox2->clear();
        ListBox4->clear();
        const SelectionResult result =
            SelectFrames(Results.profileTable, n, View.band, UpDown1->position());
        for (int k : result.passed) {
            ListBox2->addItem(ListBox1->item(k)->text());
            ListBox4->addItem(ListBox3->item(k)->text());
        }
        PlaceCountLabel(Label5, 568, QString::number(result.passed.size()));
        ProgressBar1->setValue(0);
    });
}

void TSelector::Button5Click() {
    Guarded([&] {
        if (ListBox2->count() == 0) return;
        if (!Dialogs().askYesNo(this, QStringLiteral("合格ファイルをGoodフォルダに移動しますか？"),
                                true))
            return;
        // Entries moved by an earlier press already lie in "Good"; moving them again
        // would nest them one folder deeper.
        std::vector<int> rows;
        std::vector<std::string> sources;
        for (int i = 0; i < ListBox4->count(); ++i) {
            QListWidgetItem* item = ListBox4->item(i);
            if (item->data(kMovedRole).toBool()) continue;
            rows.push_back(i);
            sources.push_back(ToNative(item->text()));
        }
        const std::vector<MoveOutcome> outcomes = MovePassedFiles(sources);
        QStringList failures;
        for (std::size_t i = 0; i < outcomes.size() && i < rows.size(); ++i) {
            const MoveOutcome& o = outcomes[i];
            QListWidgetItem* item = ListBox4->item(rows[i]);
            if (o.moved) {
                item->setText(FromNative(o.target));
                item->setData(kMovedRole, true);
            }
        }
        // A Good folder that cannot hold files is one line, however many files it kept back.
        for (const MoveFailure& f : SummariseFailures(outcomes)) {
            const QString error = QString::fromLocal8Bit(f.error.c_str());
            failures << (f.folderFault ? QStringLiteral("%1 (%2 個のファイル)").arg(error).arg(f.files)
                                       : QStringLiteral("%1 (%2)").arg(FromNative(f.subject), error));
        }
        ListBox1->clear();
        ListBox3->clear();
        if (!failures.isEmpty()) {
            const int total = int(failures.size());
            if (total > kMaxListedFailures) {
                failures = failures.mid(0, kMaxListedFailures);
                failures << QStringLiteral("ほか %1 個").arg(total - kMaxListedFailures);
            }
            Dialogs().showError(this, QStringLiteral("移動できなかったファイルがあります\n") +
                                          failures.join(QLatin1Char('\n')));
        }
    });
}

void TSelector::InspectFrame(QListWidget* names, QListWidget* paths) {
    const auto selected = names->selectedItems();
    if (selected.isEmpty()) return;
    const int row = names->row(selected.first());
    if (row >= paths->count()) return;
    const QString path = paths->item(row)->text();
    FrameReader reader;
    std::string error;
    if (!AnalyseSingleFrame(ToNative(path), CurrentMode(), Plan, reader, Results.frameProfile,
                            error)) {
        Dialogs().showError(this, QStringLiteral("このファイルは解析できません: %1\n%2")
                                      .arg(path, QString::fromLocal8Bit(error.c_str())));
        return;
    }
    DrawGraph(GraphForm::Frame);
}

void TSelector::ListBox1Click() {
    Guarded([&] { InspectFrame(ListBox1, ListBox3); });
}

void TSelector::ListBox2Click() {
    Guarded([&] { InspectFrame(ListBox2, ListBox4); });
}
