#include "selector_window.h"

#include "batch_run.h"
#include "command_guard.h"
#include "file_move.h"
#include "frame_flags.h"
#include "frame_formats.h"
#include "frame_ref.h"
#include "frame_signature.h"
#include "graph_canvas.h"
#include "move_journal.h"
#include "natural_order.h"
#include "preferences.h"
#include "ranking.h"
#include "reason_text.h"
#include "run_progress.h"
#include "scores_window.h"
#include "screen_centre.h"
#include "same_entry.h"
#include "selection.h"
#include "shown_name.h"
#include "frame_name_delegate.h"
#include "up_down_spinner.h"
#include "user_dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QStyleHints>
#include <QHideEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QSet>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace framesifter;

namespace {

const int kPanelWidth = 595;
const int kPanelHeight = 297;
const int kMaxListedFailures = 20;
const int kPollInterval = 100;       // ms between looks at a run's progress
const int kUndoProgressDelay = 500;  // ms an undo runs before its progress box appears

std::string ToNative(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromNative(const std::string& path) { return QFile::decodeName(path.c_str()); }

QString FrameText(const FrameRef& frame) { return FromNative(FrameRefText(frame)); }

int SelectedRow(const QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

// At most kMaxListedFailures lines, then how many more there were.
QString CappedLines(QStringList lines) {
    const int total = int(lines.size());
    if (total > kMaxListedFailures) {
        lines = lines.mid(0, kMaxListedFailures);
        lines << QCoreApplication::translate("SelectorWindow", "ほか %n 個", nullptr,
                                             total - kMaxListedFailures);
    }
    return lines.join(QLatin1Char('\n'));
}

QString TooSmallText(const QString& path, int width, int height) {
    return QCoreApplication::translate("SelectorWindow",
                                       "画像サイズは256x256以上にしてください\n%1 (%2 x %3)")
        .arg(path)
        .arg(width)
        .arg(height);
}

QString UnreadableText(const QString& path, const std::string& reason) {
    return QCoreApplication::translate("SelectorWindow", "ファイルを読み込めません: %1\n%2")
        .arg(path, ReasonText(reason));
}

QString BadFrameText(const BatchResult& bad) {
    const QString path = FrameText(bad.failedFrame);
    return bad.status == BatchStatus::TooSmall ? TooSmallText(path, bad.width, bad.height)
                                               : UnreadableText(path, bad.reason);
}

// The question before a run over frames of different kinds, sizes or depths, naming the odd
// ones as the file list shows them.
QString MixedFramesText(const MixedFrames& mixed, const QListWidget* list) {
    QStringList lines;
    lines << QCoreApplication::translate("SelectorWindow", "他と異なるフレームがあります (%n 個)",
                                         nullptr, int(mixed.odd.size()));
    for (std::size_t k = 0; k < mixed.odd.size() && k < kOddFramesNamed; ++k) {
        const QListWidgetItem* item = list->item(int(mixed.odd[k].index));
        lines << QStringLiteral("%1: %2").arg(
            item ? item->text() : QString(), ReasonText(DescribeSignature(mixed.odd[k].signature)));
    }
    if (mixed.odd.size() > kOddFramesNamed)
        lines << QCoreApplication::translate("SelectorWindow", "ほか %n 個", nullptr,
                                             int(mixed.odd.size() - kOddFramesNamed));
    lines << QCoreApplication::translate("SelectorWindow", "多くのフレーム: %1")
                 .arg(ReasonText(DescribeSignature(mixed.majority)));
    return lines.join(QLatin1Char('\n')) +
           QCoreApplication::translate("SelectorWindow", "\n\n続けますか？");
}

QString LeftOutReason(const LeftOutFrame& f) {
    return f.reason.empty() && f.width > 0
               ? QCoreApplication::translate("SelectorWindow",
                                             "画像サイズは256x256以上にしてください (%1 x %2)")
                     .arg(f.width)
                     .arg(f.height)
               : QCoreApplication::translate("SelectorWindow", "ファイルを読み込めません: %1")
                     .arg(ReasonText(f.reason));
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QListWidget* NewList(QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(false);
    // Long names lose their middle rather than scroll sideways.
    list->setItemDelegate(new FrameNameDelegate(list));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

QPushButton* NewButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* NewLevelField(QWidget* parent) {
    auto* field = new QLineEdit(QStringLiteral("5"), parent);
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignCenter);
    // 17 pixels hold "10" only in the narrower digits of IPA Gothic, and only without the
    // line edit's own inner margins.
    QFont digits = parent->font();
    digits.setFamilies({QStringLiteral("IPAGothic")});
    field->setFont(digits);
    field->setTextMargins(-2, 0, -2, 0);
    return field;
}

QProgressBar* NewProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

// A control's place in its parent; a zero size fits the control (a label) to its text.
struct ControlPlace {
    QWidget* control;
    const char* role;
    QRect geometry;
};

void Place(const ControlPlace& place) {
    place.control->setObjectName(QLatin1String(place.role));
    if (place.geometry.size().isEmpty()) {
        place.control->move(place.geometry.topLeft());
        place.control->adjustSize();
    } else {
        place.control->setGeometry(place.geometry);
    }
}

}  // namespace

// What the GUI thread and a run's or move's thread share. The thread writes the result
// fields only before `finished` is set, and the GUI thread reads them only after.
struct SelectorWindow::Work {
    enum Kind { Analysis, Move, Undo } kind = Analysis;
    std::atomic<bool> finished{false};
    int total = 0;  // the count shown before the thread reports any
    // Where the thread reports its steps, and wakes the window at its end or question.
    RunProgress* progress = nullptr;
    std::string error;  // what an exception in the thread said

    // An analysis run; its results replace the window's only once it completes.
    std::vector<FrameRef> frames;
    WindowMode mode = WindowMode::Centre;
    std::unique_ptr<AnalysisResults> scratch;
    BatchControl control;
    BatchResult result;

    // A question asked by the thread and answered by the window: about frames that differ
    // from most (before the run), or about the first bad frame.
    std::mutex mutex;
    std::condition_variable answered;
    bool asking = false;
    bool shown = false;
    bool answerReady = false;
    bool answer = false;
    bool aboutMixed = false;
    BatchResult bad;
    MixedFrames mixed;

    // A move.
    std::atomic<bool> stopMove{false};
    std::vector<FrameRef> sources;
    std::vector<std::size_t> passes;  // the session's passes being moved
    std::vector<MoveOutcome> outcomes;
    std::function<void(std::uint64_t)> blockCopied;

    // An undo of the moves recorded in one Good folder.
    std::string good;
    UndoReport undo;
    bool undoRead = false;
    QPointer<QWidget> asker;  // where its messages appear

    void requestStop() {
        control.requestStop();
        stopMove = true;
        { std::lock_guard<std::mutex> lock(mutex); }
        answered.notify_all();
    }

    // On the run's thread: waits until the window answers or a stop comes.
    bool waitForAnswer(const BatchResult& badFrame) {
        std::unique_lock<std::mutex> lock(mutex);
        bad = badFrame;
        aboutMixed = false;
        return waitLocked(lock);
    }
    bool waitForMixedAnswer(MixedFrames odd) {
        std::unique_lock<std::mutex> lock(mutex);
        mixed = std::move(odd);
        aboutMixed = true;
        return waitLocked(lock);
    }

    // Signatures first: the user hears of frames that differ before any is analysed.
    void runAnalysis() {
        std::vector<EntrySignature> signatures;
        if (!ReadSignatures(frames, signatures, [this] { return control.stopRequested(); })) {
            result.status = BatchStatus::Stopped;
            return;
        }
        const MixedFrames odd = FindOddFrames(signatures);
        if (!odd.odd.empty() && !waitForMixedAnswer(odd)) {
            result.status = BatchStatus::Stopped;
            return;
        }
        result = RunBatch(*scratch, frames, mode, progress, 0, &control);
        if (result.status == BatchStatus::NoMemory) error = result.reason;
        if (result.status == BatchStatus::Completed) MarkOddFrames(scratch->flags, odd);
    }

private:
    bool waitLocked(std::unique_lock<std::mutex>& lock) {
        asking = true;
        shown = answerReady = answer = false;
        progress->wake();
        answered.wait(lock, [&] { return answerReady || control.stopRequested(); });
        asking = false;
        return answerReady && answer;
    }
};

SelectorWindow::~SelectorWindow() {
    if (!worker_.joinable()) return;
    work_->requestStop();
    worker_.join();
    if (work_->kind != Work::Analysis) QApplication::restoreOverrideCursor();
}

SelectorWindow::SelectorWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
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

    buildControls();
    connectControls();
    progress_ = new RunProgress(kPollInterval, this);
    connect(progress_, &RunProgress::update, this, &SelectorWindow::pollWork);
    setFixedSize(kPanelWidth, kPanelHeight);
    CentreOnScreen(*this);
    restorePreferences();
    connect(&session_, &SelectionSession::entriesChanged, this, &SelectorWindow::showEntries);
    connect(&session_, &SelectionSession::passesChanged, this, &SelectorWindow::showPasses);
    connect(&session_, &SelectionSession::bandChanged, this,
            [this] { graphView_.band = session_.band(); });

    scoresWindow_ = std::make_unique<ScoresWindow>();
    scoresWindow_->setAttribute(Qt::WA_QuitOnClose, false);
    scoresWindow_->follow(&session_);
    connect(scoresWindow_.get(), &ScoresWindow::ruleApplied, this, &SelectorWindow::applyRule);
    connect(scoresWindow_.get(), &ScoresWindow::bandChosen, this, &SelectorWindow::useBand);
    connect(scoresWindow_.get(), &ScoresWindow::frameClicked, this,
            &SelectorWindow::showScoredFrame);
    // The frame window steps through the table as it is sorted, from the frame opened.
    connect(scoresWindow_.get(), &ScoresWindow::frameOpened, this, [this](int index) {
        if (work_ || !session_.resultsMatch() || index < 0 ||
            std::size_t(index) >= session_.ids().size())
            return;
        const FrameList list = session_.frameList(FrameListKind::Scores);
        const int place = IndexOfId(list, session_.ids()[std::size_t(index)]);
        if (place >= 0) emit frameOpenRequested(list, place);
    });
}

void SelectorWindow::buildControls() {
    // Created in focus order.
    panel_ = new QWidget(this);
    fileCaption_ = new QLabel(panel_);
    fileCount_ = new QLabel(QStringLiteral("0"), panel_);
    graphCaption_ = new QLabel(panel_);
    passedCaption_ = new QLabel(panel_);
    passedCount_ = new QLabel(QStringLiteral("0"), panel_);
    fileList_ = NewList(panel_);
    passedList_ = NewList(panel_);
    graphCanvas_ = new GraphCanvas(panel_);
    progressBar_ = NewProgressBar(panel_);

    imageGroup_ = new QGroupBox(panel_);
    openButton_ = NewButton(QString(), imageGroup_);

    graphGroup_ = new QGroupBox(panel_);
    scaleUpButton_ = NewButton(QStringLiteral("+"), graphGroup_);
    scaleDownButton_ = NewButton(QStringLiteral("-"), graphGroup_);
    fftButton_ = NewButton(QStringLiteral("FFT"), graphGroup_);
    centreModeButton_ = new QRadioButton(graphGroup_);
    centreModeButton_->setChecked(true);
    peakModeButton_ = new QRadioButton(graphGroup_);

    passGroup_ = new QGroupBox(panel_);
    passLevel_ = NewLevelField(passGroup_);
    passLevelSpinner_ = new UpDownSpinner(0, 10, 5, passGroup_);
    selectButton_ = NewButton(QStringLiteral("Select"), passGroup_);
    moveButton_ = NewButton(QString(), passGroup_);
    // Over the graph, kept apart from the canvas, which is disabled while work goes on.
    workCount_ = new QLabel(panel_);
    workCount_->setAlignment(Qt::AlignCenter);
    workCount_->setGeometry(169, 32 + kGraphHeight / 2 - 10, kGraphWidth, 20);
    workCount_->setObjectName(QStringLiteral("workCount"));
    workCount_->hide();

    const ControlPlace places[] = {
        {panel_, "panel", {0, 0, kPanelWidth, kPanelHeight}},
        {fileCaption_, "fileCaption", {64, 16, 0, 0}},
        {fileCount_, "fileCount", {144, 16, 0, 0}},
        {graphCaption_, "graphCaption", {264, 16, 0, 0}},
        {passedCaption_, "passedCaption", {480, 16, 0, 0}},
        {passedCount_, "passedCount", {568, 16, 0, 0}},
        {fileList_, "fileList", {8, 32, 153, 201}},
        {passedList_, "passedList", {432, 32, 153, 169}},
        {graphCanvas_, "graphCanvas", {169, 32, kGraphWidth, kGraphHeight}},
        {progressBar_, "progressBar", {432, 216, 153, 9}},
        {imageGroup_, "imageGroup", {16, 240, 145, 49}},
        {openButton_, "openButton", {40, 18, 57, 20}},
        {graphGroup_, "graphGroup", {168, 240, 257, 49}},
        {scaleUpButton_, "scaleUpButton", {16, 20, 17, 17}},
        {scaleDownButton_, "scaleDownButton", {40, 20, 17, 17}},
        {fftButton_, "fftButton", {80, 16, 57, 25}},
        {centreModeButton_, "centreModeButton", {160, 12, 89, 17}},
        {peakModeButton_, "peakModeButton", {160, 28, 89, 17}},
        {passGroup_, "passGroup", {432, 240, 153, 49}},
        {passLevel_, "passLevel", {16, 17, 17, 20}},
        {passLevelSpinner_, "passLevelSpinner", {32, 17, 9, 20}},
        {selectButton_, "selectButton", {48, 17, 45, 20}},
        {moveButton_, "moveButton", {96, 17, 49, 20}},
    };
    retranslate();
    for (const ControlPlace& place : places) Place(place);
}

void SelectorWindow::retranslate() {
    fileCaption_->setText(tr("ファイル"));
    graphCaption_->setText(tr("周波数特性"));
    passedCaption_->setText(tr("合格ファイル"));
    imageGroup_->setTitle(tr("画像"));
    openButton_->setText(tr("開く"));
    graphGroup_->setTitle(tr("グラフ"));
    centreModeButton_->setText(tr("画像の中心"));
    peakModeButton_->setText(tr("ピーク位置"));
    passGroup_->setTitle(tr("合格基準"));
    moveButton_->setText(tr("移動"));
    fftButton_->setText(stopOffered_ ? tr("中止") : QStringLiteral("FFT"));
    // The captions are sized to their texts; the counts keep their own places.
    for (QLabel* caption : {fileCaption_, graphCaption_, passedCaption_}) caption->adjustSize();
}

void SelectorWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && panel_) retranslate();
    QWidget::changeEvent(event);
}

void SelectorWindow::connectControls() {
    connect(openButton_, &QPushButton::clicked, this, &SelectorWindow::openFiles);
    connect(fftButton_, &QPushButton::clicked, this, &SelectorWindow::runAnalysis);
    connect(selectButton_, &QPushButton::clicked, this, &SelectorWindow::selectPassed);
    connect(scaleUpButton_, &QPushButton::clicked, this, &SelectorWindow::enlargeGraph);
    connect(scaleDownButton_, &QPushButton::clicked, this, &SelectorWindow::shrinkGraph);
    connect(moveButton_, &QPushButton::clicked, this, &SelectorWindow::movePassed);
    connect(passLevelSpinner_, &UpDownSpinner::clicked, this, &SelectorWindow::showPassLevel);
    connect(passLevel_, &QLineEdit::textChanged, this, &SelectorWindow::showPassLevel);
    connect(graphCanvas_, &GraphCanvas::pressed, this, &SelectorWindow::pressGraph);

    // A list click analyses the selected entry: on every change of the selection (mouse
    // or keyboard), and on a click on the entry that was already selected.
    connect(fileList_, &QListWidget::itemSelectionChanged, this, &SelectorWindow::inspectFile);
    connect(passedList_, &QListWidget::itemSelectionChanged, this, &SelectorWindow::inspectPassed);
    connect(fileList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (pressedFileRow_ >= 0 && fileList_->row(item) == pressedFileRow_) inspectFile();
    });
    connect(passedList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (pressedPassedRow_ >= 0 && passedList_->row(item) == pressedPassedRow_) inspectPassed();
    });
    fileList_->viewport()->installEventFilter(this);
    passedList_->viewport()->installEventFilter(this);
    for (QListWidget* list : {fileList_, passedList_})
        connect(list, &QListWidget::itemDoubleClicked, this, [this, list](QListWidgetItem* item) {
            emit frameOpenRequested(listFrames(list), list->row(item));
        });
}

bool SelectorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == fileList_->viewport()) pressedFileRow_ = SelectedRow(fileList_);
        if (watched == passedList_->viewport()) pressedPassedRow_ = SelectedRow(passedList_);
    }
    return QWidget::eventFilter(watched, event);
}

void SelectorWindow::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        // Refusing here would cancel the application's quit and keep the process alive.
        QWidget::closeEvent(event);
        return;
    }
    if (work_) stopWork();
    hide();
    event->ignore();
}

void SelectorWindow::endForQuit() {
    quitting_ = true;
    if (worker_.joinable()) {
        work_->requestStop();
        worker_.join();
        progress_->stop();
        if (work_->kind != Work::Analysis) QApplication::restoreOverrideCursor();
        work_.reset();
        setBusy(false);
        delete undoProgress_;
    }
    scoresWindow_->close();
    close();
}

void SelectorWindow::hideEvent(QHideEvent* event) {
    // Spontaneous hides (minimising) leave the window where it was.
    if (!event->spontaneous()) RunCommand(this, [&] { keepPreferences(); });
    QWidget::hideEvent(event);
}

void SelectorWindow::restorePreferences() {
    const Preferences kept;
    session_.setBand({kept.bandLow(), kept.bandHigh()});
    graphView_.band = session_.band();
    passLevelSpinner_->setPosition(kept.passLevel());
    passLevel_->setText(QString::number(passLevelSpinner_->position()));
    session_.setLevel(passLevelSpinner_->position());
    (kept.peakMode() ? peakModeButton_ : centreModeButton_)->setChecked(true);
    session_.setMode(kept.peakMode() ? WindowMode::Peak : WindowMode::Centre);
    session_.setScoreKind(kept.scoreKind());
    connect(peakModeButton_, &QRadioButton::toggled, this, [this](bool peak) {
        RunCommand(this, [&] { session_.setMode(peak ? WindowMode::Peak : WindowMode::Centre); });
    });
    connect(passLevelSpinner_, &UpDownSpinner::clicked, this,
            [this] { session_.setLevel(passLevelSpinner_->position()); });
    if (const std::optional<QPoint> place = kept.selectorPlace();
        place && PlaceIsOnScreen(QRect(*place, frameGeometry().size())))
        move(*place);
    // Connected only now, so that restoring does not write back what it just read.
    auto keep = [this] { RunCommand(this, [&] { keepPreferences(); }); };
    connect(graphCanvas_, &GraphCanvas::pressed, this, keep);
    connect(passLevelSpinner_, &UpDownSpinner::clicked, this, keep);
    connect(peakModeButton_, &QRadioButton::toggled, this, keep);
    // The kind is chosen in the scores window, which sets it on the session alone.
    connect(&session_, &SelectionSession::scoreKindChanged, this, keep);
}

void SelectorWindow::keepPreferences() {
    Preferences kept;
    kept.setBand(session_.band().low, session_.band().high);
    kept.setPassLevel(passLevelSpinner_->position());
    kept.setPeakMode(peakModeButton_->isChecked());
    kept.setScoreKind(session_.scoreKind());
    kept.setSelectorPlace(pos());
}

void SelectorWindow::showSelector() {
    RunCommand(this, [&] {
        clearStaleGraph();
        show();
        raise();
        activateWindow();
    });
}

void SelectorWindow::showCounts() {
    placeCount(fileCount_, 144, fileList_->count());
    placeCount(passedCount_, 568, passedList_->count());
    clearStaleGraph();
}

void SelectorWindow::clearStaleGraph() {
    // A graph drawn from the listed files' own results is still worth seeing; another
    // list's curves never are.
    if (session_.resultsMatch()) return;
    ClearGraph(graphCanvas_->picture());
    graphCanvas_->hideMarkerLabels();
    graphCanvas_->update();
}

void SelectorWindow::placeCount(QLabel* label, int left, int count) {
    label->setText(QString::number(count));
    label->adjustSize();
    // A long count moves left rather than run off the panel's right edge.
    const int room = kPanelWidth - 2 - label->width();
    label->move(std::min(left, room), label->y());
}

QStringList SelectorWindow::openFilters() {
    // The dialog takes its patterns from the last parentheses, separated by spaces, and
    // shows what comes before them as the entry's label.
    QStringList filters;
    for (const FrameFormatRow& row : FrameFormatRows())
        filters << QString::fromStdString(DialogFilter(row, true));
    // After the kinds' own entries, whose places (and the one remembered) stay as they were:
    // a list of several kinds.
    filters << QString::fromStdString(AllKindsDialogFilter(tr("すべてのフレーム").toStdString()));
    return filters;
}

void SelectorWindow::drawGraph(GraphForm form) {
    DrawGraph(graphCanvas_->picture(), session_.results(), graphView_, form);
    graphCanvas_->showMarkerLabels(graphView_.band.low, graphView_.band.high);
    graphCanvas_->update();
}

// ---------------------------------------------------------------- commands

void SelectorWindow::openFiles() {
    RunCommand(this, [&] {
        Preferences preferences;
        const FileDialogKind kind = FileDialogKind::SelectorOpen;
        const UserDialogs::OpenChoice choice =
            Dialogs().getOpenFiles(this, QString(), openFilters(),
                                   preferences.dialogFilter(kind, int(openFilters().size())),
                                   preferences.dialogFolder(kind, lastFolder_));
        if (!choice.accepted) return;
        if (!choice.files.isEmpty()) {
            preferences.keepDialogChoice(kind, choice.files.first(), choice.filterIndex);
            lastFolder_ = QFileInfo(choice.files.first()).absolutePath();
            emit folderChosen(lastFolder_);
        }
        session_.setEntries({});
        if (choice.files.size() > kMaxFiles) {
            showCounts();
            Dialogs().showMessage(this, tr("ファイル数を4000個以下にしてください"));
            return;
        }
        // List position follows the capture when names carry frame numbers.
        struct Named {
            std::string key;
            QString name, path;
        };
        std::vector<Named> named;
        named.reserve(std::size_t(choice.files.size()));
        for (const QString& path : choice.files) {
            const QString name = QFileInfo(path).fileName();
            named.push_back({name.toStdString(), name, path});
        }
        std::stable_sort(named.begin(), named.end(),
                         [](const Named& a, const Named& b) { return NaturalLess(a.key, b.key); });
        std::vector<ListEntry> chosen, entries;
        std::vector<FrameRef> frames;
        chosen.reserve(named.size());
        frames.reserve(named.size());
        for (const Named& n : named) {
            frames.push_back(ParseFrameRef(ToNative(n.path)));
            chosen.push_back({FrameDisplayName(frames.back()), frames.back()});
        }
        // A frame chosen twice would be scored twice and moved once.
        const RepeatedEntry repeated = FindRepeatedEntry(frames);
        if (repeated.first >= 0) {
            Dialogs().showMessage(this, tr("同じフレームが2回選ばれています\n%1\n%2")
                                            .arg(named[std::size_t(repeated.first)].path,
                                                 named[std::size_t(repeated.second)].path));
        } else if (expandVideos(chosen, entries)) {
            session_.setEntries(std::move(entries));
            // A new list is read from its start, wherever the last one was scrolled to.
            fileList_->scrollToTop();
            passedList_->scrollToTop();
        }
    });
}

bool SelectorWindow::expandVideos(const std::vector<ListEntry>& chosen,
                                  std::vector<ListEntry>& entries) {
    for (const ListEntry& n : chosen) {
        const std::string& video = n.frame.file;
        if (n.frame.inVideo() || !IsVideoFormat(FrameFormatOf(video))) {
            entries.push_back(n);
            continue;
        }
        int frameCount = 0;
        std::string error;
        if (!ReadVideoFrameCount(video, frameCount, error)) {
            Dialogs().showMessage(this, UnreadableText(FromNative(video), error));
            return false;
        }
        if (std::size_t(frameCount) > kMaxFrameEntries - entries.size()) {
            Dialogs().showMessage(this, tr("フレーム数を%1個以下にしてください\n%2 (%3 フレーム)")
                                            .arg(kMaxFrameEntries)
                                            .arg(FromNative(video))
                                            .arg(frameCount));
            return false;
        }
        for (int f = 1; f <= frameCount; ++f)
            entries.push_back({FrameDisplayName(FrameOfVideo(video, f)), FrameOfVideo(video, f)});
    }
    return true;
}

void SelectorWindow::showEntries() {
    fileList_->clear();
    // One insertion for all rows: a video's frames may be tens of thousands of them.
    const std::vector<QString>& names = session_.names();
    fileList_->addItems(QStringList(names.begin(), names.end()));
    const std::vector<FrameRef>& frames = session_.frames();
    for (int i = 0; i < fileList_->count(); ++i)
        fileList_->item(i)->setData(kPathRole, FrameText(frames[std::size_t(i)]));
    // Entries that stay after a move keep their marks.
    if (session_.resultsMatch()) markLeftOut();
    showCounts();
}

void SelectorWindow::showPasses() {
    passedList_->clear();
    for (const SelectionSession::Pass& p : session_.passes()) {
        auto* item = new QListWidgetItem(p.name, passedList_);
        item->setData(kPathRole, FrameText(p.frame));
    }
    showCounts();
}

void SelectorWindow::runAnalysis() {
    RunCommand(this, [&] {
        if (work_) {
            // The button reads 中止 now; the second click of a double click is not a stop.
            if (work_->kind != Work::Move &&
                workStarted_.elapsed() >= QGuiApplication::styleHints()->mouseDoubleClickInterval())
                stopWork();
            return;
        }
        if (fileList_->count() == 0) return;
        auto work = std::make_unique<Work>();
        work->kind = Work::Analysis;
        work->frames = session_.frames();
        work->mode = session_.mode();
        work->total = fileList_->count();
        work->scratch = std::make_unique<AnalysisResults>();
        std::string error;
        if (!CreateAnalysisResults(*work->scratch, fileList_->count(), error)) {
            Dialogs().showError(this, ReasonText(error));
            return;
        }
        work->control.beforeRead = readHook_;
        // Its frames are looked at on one grey scale.
        work->control.valueRange = true;
        Work* shared = work.get();
        work->control.leaveOut = [shared](const BatchResult& bad) {
            return shared->waitForAnswer(bad);
        };
        // Only the last run's left-out entries carry marks: setting the others' roles would
        // signal a change for every entry of a long list.
        for (int i = 0; i < fileList_->count(); ++i) {
            QListWidgetItem* item = fileList_->item(i);
            if (!item->data(kLeftOutRole).isValid()) continue;
            item->setData(Qt::ForegroundRole, QVariant());
            item->setData(kLeftOutRole, QVariant());
            item->setToolTip(QString());
        }
        // Never another list's curves while this one is analysed.
        ClearGraph(graphCanvas_->picture());
        graphCanvas_->hideMarkerLabels();
        graphCanvas_->update();
        startWork(std::move(work));
    });
}

void SelectorWindow::pressGraph(Qt::MouseButton button, int x, int) {
    RunCommand(this, [&] {
        GraphView pressed = graphView_;
        if (!ApplyGraphPress(pressed, button, x)) return;
        session_.setBand(pressed.band);
        drawGraph(GraphForm::Summary);
    });
}

void SelectorWindow::enlargeGraph() {
    RunCommand(this, [&] {
        if (EnlargeGraph(graphView_)) drawGraph(GraphForm::Scale);
    });
}

void SelectorWindow::shrinkGraph() {
    RunCommand(this, [&] {
        if (ShrinkGraph(graphView_)) drawGraph(GraphForm::Scale);
    });
}

void SelectorWindow::showPassLevel() {
    RunCommand(this, [&] {
        const QString shown = QString::number(passLevelSpinner_->position());
        if (passLevel_->text() != shown) passLevel_->setText(shown);
    });
}

void SelectorWindow::selectPassed() {
    RunCommand(this, [&] { selectByRule(PassRule{}); });
}

void SelectorWindow::applyRule(const PassRule& rule) {
    RunCommand(this, [&] { selectByRule(rule); });
}

void SelectorWindow::selectByRule(const PassRule& rule) {
    // A move holds the pass list's entries; a run is about to replace the results.
    if (work_) return;
    session_.setLevel(passLevelSpinner_->position());
    switch (session_.select(rule)) {
    case SelectionSession::SelectOutcome::NoEntries:
        return;
    case SelectionSession::SelectOutcome::StaleResults:
        // Scores are only meaningful for the very files the last completed run analysed.
        Dialogs().showMessage(this, tr("先にFFTを実行してください"));
        return;
    case SelectionSession::SelectOutcome::Selected:
        progressBar_->setValue(0);
        return;
    }
}

void SelectorWindow::showScores() {
    RunCommand(this, [&] {
        scoresWindow_->show();
        scoresWindow_->raise();
        scoresWindow_->activateWindow();
    });
}

void SelectorWindow::dropPassed(const FrameRef& frame) {
    RunCommand(this, [&] {
        if (work_ && work_->kind != Work::Analysis) return;
        session_.dropPass(frame);
    });
}

void SelectorWindow::useBand(Band band) {
    RunCommand(this, [&] {
        if (work_ || !session_.resultsMatch()) return;
        session_.setBand(band);
        drawGraph(GraphForm::Summary);
        keepPreferences();
    });
}

void SelectorWindow::showScoredFrame(int index) {
    RunCommand(this, [&] {
        if (work_ || index < 0 || index >= fileList_->count() || !session_.resultsMatch()) return;
        fileList_->scrollToItem(fileList_->item(index));
        // Selecting a new row draws its curve; the row already selected is drawn again.
        if (SelectedRow(fileList_) == index)
            inspect(fileList_);
        else
            fileList_->setCurrentRow(index);
    });
}

void SelectorWindow::movePassed() {
    RunCommand(this, [&] {
        if (work_) return;
        // Entries moved by an earlier press already lie in "Good"; moving them again
        // would nest them one folder deeper.
        auto work = std::make_unique<Work>();
        work->kind = Work::Move;
        work->blockCopied = copyHook_;
        const std::vector<SelectionSession::Pass>& passes = session_.passes();
        for (std::size_t i = 0; i < passes.size(); ++i) {
            if (passes[i].moved) continue;
            work->passes.push_back(i);
            work->sources.push_back(passes[i].frame);
        }
        if (work->passes.empty()) {
            Dialogs().showMessage(this, tr("移動するファイルがありません"));
            return;
        }
        if (!Dialogs().askYesNo(this, moveQuestion(work->sources), true)) return;
        work->total = int(work->passes.size());
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            startWork(std::move(work));
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
    });
}

// Every move leaves its record in Good: any Good folder, of this session or an earlier one,
// can be chosen. The chooser opens at the Good folder of the last move, this session's or,
// after a restart, the one the preferences keep while it is there.
void SelectorWindow::undoMoves(QWidget* asker) {
    RunCommand(this, [&] {
        if (work_) return;
        QWidget* const owner = asker ? asker : this;
        const QString kept = Preferences().lastGoodFolder();
        const QString good =
            Dialogs().getExistingFolder(owner, tr("元に戻す Good フォルダー"),
                                        !lastGood_.isEmpty()                         ? lastGood_
                                        : !kept.isEmpty() && QFileInfo(kept).isDir() ? kept
                                        : !lastFolder_.isEmpty()                     ? lastFolder_
                                                                 : QDir::currentPath());
        if (good.isEmpty()) return;
        // A stopped or partial undo is most often taken up again in the same folder.
        lastGood_ = good;
        Preferences().setLastGoodFolder(good);
        // Undoing a move across file systems copies every file back: not on this thread.
        auto work = std::make_unique<Work>();
        work->kind = Work::Undo;
        work->good = ToNative(good);
        work->asker = owner;
        work->blockCopied = copyHook_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            startWork(std::move(work));
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
    });
}

void SelectorWindow::finishUndo(Work& work) {
    QApplication::restoreOverrideCursor();
    QWidget* const owner = work.asker ? work.asker.data() : this;
    if (!work.undoRead) {
        Dialogs().showError(owner, work.undo.goodInUse
                                       ? tr("%1 は別の移動か元に戻す処理が使用中です\n"
                                            "それが終わってから、もう一度お試しください")
                                             .arg(FromNative(work.good))
                                       : ReasonText(work.error));
        return;
    }
    if (work.undo.items.empty()) {
        Dialogs().showMessage(owner, tr("このフォルダーには移動の記録がありません"));
        return;
    }
    showUndone(work.undo, owner);
}

void SelectorWindow::showUndone(const UndoReport& report, QWidget* owner) {
    // Pass-list entries whose files are back (or whose video in Good is gone) show their
    // origins again and can be moved once more.
    const auto absolute = [](const QString& path) {
        return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    };
    QSet<QString> back;
    int moved = 0, removed = 0;
    QStringList stayed;
    for (const UndoItem& item : report.items) {
        if (item.state == UndoState::MovedBack || item.state == UndoState::Removed)
            back.insert(absolute(FromNative(item.entry.origin)));
        moved += item.state == UndoState::MovedBack;
        removed += item.state == UndoState::Removed;
        if (item.state == UndoState::Kept || item.state == UndoState::Missing ||
            item.state == UndoState::Ignored)
            stayed << QStringLiteral("%1 (%2)").arg(FromNative(item.inGood),
                                                    ReasonText(item.error));
    }
    std::vector<std::size_t> returned;
    const std::vector<SelectionSession::Pass>& passes = session_.passes();
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (!passes[i].moved) continue;
        if (back.contains(absolute(FromNative(passes[i].origin.file)))) returned.push_back(i);
    }
    session_.markReturned(returned);
    QString text = tr("%n 個のファイルを元の場所に戻しました", nullptr, moved);
    if (removed) text += tr("\nGood に書き出した動画 %n 個を削除しました", nullptr, removed);
    if (report.stopped)
        text +=
            tr("\n中止しました: %n 個のファイルはまだ Good にあります"
               "（もう一度 元に戻す で続きを戻せます）",
               nullptr, report.notTried);
    if (stayed.isEmpty())
        Dialogs().showMessage(owner, text);
    else
        Dialogs().showError(
            owner, text + tr("\n\nGood に残ったファイルがあります\n") + CappedLines(stayed));
}

QString SelectorWindow::moveQuestion(const std::vector<FrameRef>& sources) {
    const int frames = int(std::count_if(sources.begin(), sources.end(),
                                         [](const FrameRef& s) { return s.inVideo(); }));
    const int files = int(sources.size()) - frames;
    if (frames == 0) return tr("%n 個のファイルを Good に移動しますか？", nullptr, files);
    // Frames of a video cannot move one by one: they go into a new video of the same name.
    if (files == 0)
        return tr(
            "動画のフレーム %n 個を Good の同じ名前の動画に書き出しますか？\n"
            "（元の動画はそのまま残ります）",
            nullptr, frames);
    return tr("%1 個のファイルを Good に移動し、\n"
              "動画のフレーム %2 個を Good の同じ名前の動画に書き出しますか？\n"
              "（元の動画はそのまま残ります）")
        .arg(files)
        .arg(frames);
}

void SelectorWindow::inspect(QListWidget* list) {
    if (work_) return;  // the run owns the results until it ends
    const int row = SelectedRow(list);
    const std::vector<FrameRef> frames = listFrames(list).frames;
    if (row < 0 || std::size_t(row) >= frames.size()) return;
    const FrameRef& frame = frames[std::size_t(row)];
    FrameReader reader;
    std::string error;
    if (!AnalyseSingleFrame(frame, session_.mode(), plan_, reader, session_.frameProfile(),
                            error)) {
        Dialogs().showError(
            this,
            tr("このファイルは解析できません: %1\n%2").arg(FrameText(frame), ReasonText(error)));
        return;
    }
    drawGraph(GraphForm::Frame);
}

FrameList SelectorWindow::listFrames(const QListWidget* list) const {
    return session_.frameList(list == fileList_ ? FrameListKind::Files : FrameListKind::Passes);
}

void SelectorWindow::inspectFile() {
    RunCommand(this, [&] { inspect(fileList_); });
}

void SelectorWindow::inspectPassed() {
    RunCommand(this, [&] { inspect(passedList_); });
}

// ---------------------------------------------------------------- work in its own thread

void SelectorWindow::startWork(std::unique_ptr<Work> work) {
    Work* shared = work.get();
    shared->progress = progress_;
    work_ = std::move(work);
    progressBar_->setValue(0);
    setBusy(true);
    workStarted_.start();
    // Before the thread, which may report its first steps at once.
    progress_->start(shared->total);
    if (shared->kind == Work::Undo) showUndoProgress(shared->asker);
    try {
        worker_ = std::thread([shared] {
            try {
                if (shared->kind == Work::Analysis) {
                    shared->runAnalysis();
                } else {
                    MoveControl control;
                    control.stop = &shared->stopMove;
                    control.blockCopied = shared->blockCopied;
                    control.progress = [progress = shared->progress](int done, int total) {
                        progress->setPosition(total > 0 ? int(double(done) / total * 100) : 0);
                        progress->setCount(done, total);
                    };
                    if (shared->kind == Work::Undo)
                        shared->undoRead =
                            UndoMoves(shared->good, control, shared->undo, shared->error);
                    else
                        shared->outcomes = MovePassedFiles(shared->sources, control);
                }
            } catch (const std::exception& e) {
                shared->error = e.what();
                if (shared->error.empty()) shared->error = "unknown error";
            } catch (...) {
                shared->error = "unknown error";
            }
            shared->finished = true;
            // Shown at once, not at the next look.
            shared->progress->wake();
        });
    } catch (...) {
        progress_->stop();
        work_.reset();
        setBusy(false);
        throw;
    }
    pollWork();
}

void SelectorWindow::setBusy(bool on) {
    const bool move = on && work_ && work_->kind != Work::Analysis;
    for (QWidget* control :
         {static_cast<QWidget*>(openButton_), static_cast<QWidget*>(centreModeButton_),
          static_cast<QWidget*>(peakModeButton_), static_cast<QWidget*>(selectButton_),
          static_cast<QWidget*>(moveButton_), static_cast<QWidget*>(scaleUpButton_),
          static_cast<QWidget*>(scaleDownButton_), static_cast<QWidget*>(fileList_),
          static_cast<QWidget*>(passedList_), static_cast<QWidget*>(graphCanvas_)})
        control->setEnabled(!on);
    // An undo stops between files; a move is not offered a stop, as it always was.
    const bool undo = on && work_ && work_->kind == Work::Undo;
    stopOffered_ = on && (!move || undo);
    fftButton_->setText(stopOffered_ ? tr("中止") : QStringLiteral("FFT"));
    fftButton_->setEnabled(!move || undo);
    // The move and the undo name passes by their place in the list, which a new kind clears.
    if (scoresWindow_) scoresWindow_->holdScoreKind(move);
    workCount_->setVisible(on);
    if (on) workCount_->raise();
}

void SelectorWindow::stopWork() {
    if (work_) work_->requestStop();
}

// The selector may be hidden when an undo starts from the main window's menu: its progress
// and its stop then show over that window. A short undo ends before the box appears.
void SelectorWindow::showUndoProgress(QWidget* owner) {
    auto* box = new QProgressDialog(owner ? owner : this);
    box->setObjectName(QStringLiteral("undoProgress"));
    // The program stays usable meanwhile: frames can be looked at, and Quit stops the undo.
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(tr("元に戻す"));
    box->setLabelText(tr("Good のファイルを元の場所に戻しています"));
    box->setCancelButtonText(tr("中止"));
    box->setAutoClose(false);
    box->setAutoReset(false);
    box->setMinimumDuration(kUndoProgressDelay);
    box->setRange(0, 100);
    box->setValue(0);
    // Seen between files: the file being copied back finishes or stays whole in Good.
    connect(box, &QProgressDialog::canceled, this, [this, box] {
        box->setLabelText(tr("中止しています…"));
        stopWork();
    });
    undoProgress_ = box;
}

void SelectorWindow::pollWork() {
    if (!work_) {
        progress_->stop();
        return;
    }
    progressBar_->setValue(progress_->percent());
    workCount_->setText(QStringLiteral("%1 / %2").arg(progress_->done()).arg(progress_->total()));
    if (undoProgress_ && !undoProgress_->wasCanceled()) {
        undoProgress_->setValue(progress_->percent());
        undoProgress_->setLabelText(tr("Good のファイルを元の場所に戻しています\n%1 / %2")
                                        .arg(progress_->done())
                                        .arg(progress_->total()));
    }
    if (asking_) return;  // the question's own event loop calls here too
    askWorkQuestion();
    if (!work_ || !work_->finished) return;
    worker_.join();
    progress_->stop();
    const std::unique_ptr<Work> ended = std::move(work_);
    setBusy(false);
    progressBar_->setValue(0);
    delete undoProgress_;
    if (ended->kind == Work::Analysis)
        finishRun(*ended);
    else if (ended->kind == Work::Undo)
        finishUndo(*ended);
    else
        finishMove(*ended);
    emit workFinished();
}

void SelectorWindow::askWorkQuestion() {
    Work& work = *work_;
    QString question;
    bool yesIsDefault = true;
    {
        std::lock_guard<std::mutex> lock(work.mutex);
        if (!work.asking || work.shown) return;
        work.shown = true;
        if (work.aboutMixed) {
            question = MixedFramesText(work.mixed, fileList_);
            // Mixed frames are most often a mistake: Enter must not wave them through.
            yesIsDefault = false;
        } else {
            question = BadFrameText(work.bad) + tr("\n\nこのファイルを除いて続けますか？");
        }
    }
    asking_ = true;
    bool answer = false;
    RunCommand(this, [&] { answer = Dialogs().askYesNo(this, question, yesIsDefault); });
    asking_ = false;
    if (!work_) return;
    {
        std::lock_guard<std::mutex> lock(work_->mutex);
        work_->answer = answer;
        work_->answerReady = true;
    }
    work_->answered.notify_all();
}

void SelectorWindow::finishRun(Work& work) {
    if (!work.error.empty()) {
        session_.dropResults();
        // A reason of the run's own (memory) in the window's language; an exception's text
        // as it came.
        ParsedReason known;
        if (ParseReason(work.error, known))
            Dialogs().showError(this, ReasonText(work.error));
        else
            ReportCommandError(this, work.error.c_str());
        return;
    }
    switch (work.result.status) {
    case BatchStatus::Completed: {
        session_.takeRun(*work.scratch);
        markLeftOut();
        // The curves fill the graph's height over the band and what lies beyond it.
        graphView_.scale = FittingGraphScale(session_.results(),
                                             std::min(graphView_.band.low, graphView_.band.high));
        drawGraph(GraphForm::Summary);
        if (session_.results().leftOut.empty()) break;
        QStringList lines;
        for (const LeftOutFrame& f : session_.results().leftOut)
            lines << QStringLiteral("%1 (%2)").arg(FrameText(f.frame), LeftOutReason(f));
        Dialogs().showMessage(this, tr("次のファイルを除いて解析しました\n") + CappedLines(lines));
        break;
    }
    case BatchStatus::TooSmall:
    case BatchStatus::Unreadable:
        // The question at the bad frame already showed why; it was answered No.
        session_.dropResults();
        break;
    case BatchStatus::Stopped:
        session_.dropResults();
        break;
    case BatchStatus::TooMany:
        Dialogs().showMessage(this, tr("ファイル数を4000個以下にしてください"));
        break;
    case BatchStatus::NoMemory:
        // The run's thread hands this over as the work's error.
        break;
    case BatchStatus::Empty:
        break;
    }
}

void SelectorWindow::markLeftOut() {
    for (const LeftOutFrame& f : session_.results().leftOut) {
        QListWidgetItem* item = fileList_->item(f.index);
        if (!item) continue;
        item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        item->setToolTip(LeftOutReason(f));
        item->setData(kLeftOutRole, LeftOutReason(f));
    }
}

void SelectorWindow::finishMove(Work& work) {
    QApplication::restoreOverrideCursor();
    // The list entries cannot change while the move runs: every control that could is
    // disabled.
    std::vector<std::pair<std::size_t, FrameRef>> moved;
    for (std::size_t i = 0; i < work.outcomes.size() && i < work.passes.size(); ++i) {
        const MoveOutcome& o = work.outcomes[i];
        if (!o.moved) continue;
        moved.emplace_back(work.passes[i], o.target);
        lastGood_ = FromNative(GoodFolderOf(o.source.file));
    }
    if (!lastGood_.isEmpty()) Preferences().setLastGoodFolder(lastGood_);
    // Moved still files leave the file list; videos stay in it, with their scores.
    session_.markMoved(moved);
    if (!work.error.empty()) {
        ReportCommandError(this, work.error.c_str());
        return;
    }
    // A stop comes from closing the window: what stayed is no news to report then.
    if (work.stopMove) return;
    // A Good folder that cannot hold files is one line, however many files it kept back.
    QStringList failures;
    for (const MoveFailure& f : SummariseFailures(work.outcomes)) {
        const QString error = ReasonText(f.error);
        failures << (f.goodInUse ? tr("%1 は別の移動か元に戻す処理が使用中です (%n 個のファイル)",
                                      nullptr, f.files)
                                       .arg(FromNative(f.subject))
                     : f.folderFault ? tr("%1 (%n 個のファイル)", nullptr, f.files).arg(error)
                                     : QStringLiteral("%1 (%2)").arg(FromNative(f.subject), error));
    }
    if (!failures.isEmpty())
        Dialogs().showError(this,
                            tr("移動できなかったファイルがあります\n") + CappedLines(failures));
}
