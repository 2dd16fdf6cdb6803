#include "scores_window.h"

#include "save_through.h"

#include "score_csv.h"
#include "scores_plot.h"
#include "scores_table.h"
#include "command_guard.h"
#include "frame_flags.h"
#include "frame_name_delegate.h"
#include "preferences.h"
#include "reason_text.h"
#include "user_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QRadioButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

using namespace framesifter;

namespace {

enum RuleButton { LevelButton, BestButton, PercentButton };

// The last column's width, which it stretches from.
constexpr int kFlagsColumnDigits = 8;

// The choice's entries, in ScoreKind order.
const char* const kScoreKindNames[] = {QT_TRANSLATE_NOOP("ScoresWindow", "帯域"),
                                       QT_TRANSLATE_NOOP("ScoresWindow", "正規化")};

// A control named by what it does: tests and the layout checks find it by that name.
template <class T>
T* Named(T* control, const char* name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

// Digits only, 1 to 999,999,999.
bool ParseCount(const QString& text, int& n) {
    if (text.isEmpty() || text.size() > 9) return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return false;
    n = text.toInt();
    return n > 0;
}

}  // namespace

ScoresWindow::ScoresWindow(QWidget* parent) : QWidget(parent) {
    listPlot_ = Named(new ScoresPlot, "listPlot");
    rankPlot_ = Named(new ScoresPlot, "rankPlot");
    model_ = new ScoresTableModel(this);
    table_ = Named(new QTableView, "scoresTable");
    setUpTable();
    QGroupBox* rules = makeRuleGroup();
    export_ = Named(new QPushButton, "exportCsvButton");
    exclude_ = Named(new QCheckBox, "excludeFlaggedBox");
    // It sets a session's exclusion: there is none to set until follow().
    exclude_->setEnabled(false);
    layOut(rules, makeSuggestionRow());
    resize(1100, 720);
    retranslate();
    connectFrameClicks();
    connectControls();
    updateApply();
    setData(ScoresData());
}

int ScoresWindow::digitWidth() const {
    return table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

void ScoresWindow::setUpTable() {
    table_->setModel(model_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(ScoresTableModel::Position, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Long video names lose their middle, not the frame number at their end.
    table_->setItemDelegateForColumn(ScoresTableModel::File, new FrameNameDelegate(table_));
    const int widths[] = {7, 16, 8, 6, 5, kFlagsColumnDigits};
    for (int c = 0; c < ScoresTableModel::ColumnCount; ++c)
        table_->setColumnWidth(c, widths[c] * digitWidth());
}

QGroupBox* ScoresWindow::makeRuleGroup() {
    ruleGroup_ = Named(new QGroupBox, "ruleGroup");
    ruleChoice_ = new QButtonGroup(this);
    auto* byLevel = Named(new QRadioButton, "levelRuleButton");
    auto* byBest = Named(new QRadioButton, "bestRuleButton");
    auto* byPercent = Named(new QRadioButton, "percentRuleButton");
    ruleChoice_->addButton(byLevel, LevelButton);
    ruleChoice_->addButton(byBest, BestButton);
    ruleChoice_->addButton(byPercent, PercentButton);
    byLevel->setChecked(true);
    number_ = Named(new QLineEdit(QStringLiteral("10")), "ruleNumber");
    number_->setMaximumWidth(9 * digitWidth());
    apply_ = Named(new QPushButton, "applyRuleButton");
    ruleProblem_ = Named(new QLabel, "ruleProblem");
    ruleProblem_->setWordWrap(true);
    ruleProblem_->hide();
    auto* rows = new QVBoxLayout(ruleGroup_);
    rows->addLayout(makeScoreKindRow());
    auto* ruleRow = new QHBoxLayout;
    rows->addLayout(ruleRow);
    ruleRow->addWidget(byLevel);
    ruleRow->addWidget(byBest);
    ruleRow->addWidget(byPercent);
    ruleRow->addWidget(number_);
    ruleRow->addWidget(apply_);
    ruleRow->addStretch();
    rows->addWidget(ruleProblem_);
    return ruleGroup_;
}

QHBoxLayout* ScoresWindow::makeScoreKindRow() {
    scoreKindCaption_ = Named(new QLabel, "scoreKindCaption");
    scoreKind_ = Named(new QComboBox, "scoreKindBox");
    for (ScoreKind kind : {ScoreKind::Band, ScoreKind::Normalised})
        scoreKind_->addItem(QString(), int(kind));
    scoreKind_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    scoreKindCaption_->setBuddy(scoreKind_);
    // It sets a session's kind: there is none to set until follow().
    scoreKind_->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(scoreKindCaption_);
    row->addWidget(scoreKind_);
    row->addStretch();
    return row;
}

QHBoxLayout* ScoresWindow::makeSuggestionRow() {
    suggestion_ = Named(new QLabel, "suggestionLabel");
    useSuggestion_ = Named(new QPushButton, "useSuggestionButton");
    auto* row = new QHBoxLayout;
    row->addWidget(suggestion_);
    row->addWidget(useSuggestion_);
    row->addStretch();
    return row;
}

void ScoresWindow::layOut(QGroupBox* rules, QHBoxLayout* suggestionRow) {
    auto* plots = new QSplitter(Qt::Vertical);
    plots->addWidget(listPlot_);
    plots->addWidget(rankPlot_);
    side_ = new QWidget;
    auto* sideLayout = new QVBoxLayout(side_);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    side_->setMinimumWidth(55 * digitWidth());
    sideLayout->addWidget(table_, 1);
    sideLayout->addLayout(suggestionRow);
    sideLayout->addWidget(rules);
    sideLayout->addWidget(exclude_);
    sideLayout->addWidget(export_, 0, Qt::AlignRight);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(plots);
    split->addWidget(side_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
}

int ScoresWindow::listIndex(int shown) const {
    return shown >= 0 && std::size_t(shown) < shown_.size() ? shown_[std::size_t(shown)] : -1;
}

int ScoresWindow::rankedIndex(int point) const {
    return listIndex(point >= 0 && std::size_t(point) < ranked_.size() ? ranked_[std::size_t(point)]
                                                                       : -1);
}

void ScoresWindow::connectFrameClicks() {
    // Each view numbers its own frames; the signals give list indices.
    const auto forward = [this](void (ScoresWindow::*signal)(int), int index) {
        if (index >= 0) emit(this->*signal)(index);
    };
    for (ScoresPlot* plot : {listPlot_, rankPlot_}) {
        const bool ranked = plot == rankPlot_;
        const auto index = [this, ranked](int k) { return ranked ? rankedIndex(k) : listIndex(k); };
        connect(plot, &ScoresPlot::frameClicked, this,
                [forward, index](int k) { forward(&ScoresWindow::frameClicked, index(k)); });
        connect(plot, &ScoresPlot::frameDoubleClicked, this,
                [forward, index](int k) { forward(&ScoresWindow::frameOpened, index(k)); });
    }
    connect(table_, &QTableView::clicked, this, [this, forward](const QModelIndex& index) {
        forward(&ScoresWindow::frameClicked, listIndex(model_->fileAt(index.row())));
    });
    connect(table_, &QTableView::doubleClicked, this, [this, forward](const QModelIndex& index) {
        forward(&ScoresWindow::frameOpened, listIndex(model_->fileAt(index.row())));
    });
}

void ScoresWindow::connectControls() {
    connect(ruleChoice_, &QButtonGroup::idClicked, this, &ScoresWindow::updateApply);
    connect(number_, &QLineEdit::textChanged, this, &ScoresWindow::updateApply);
    connect(apply_, &QPushButton::clicked, this, [this] {
        PassRule rule;
        if (currentRule(rule)) emit ruleApplied(rule);
    });
    connect(export_, &QPushButton::clicked, this, &ScoresWindow::exportCsv);
    connect(scoreKind_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!session_ || index < 0) return;
        const auto kind = ScoreKind(scoreKind_->itemData(index).toInt());
        RunCommand(this, [&] { session_->setScoreKind(kind); });
        // Whatever became of it, the choice shows the session's kind.
        showScoreKind();
    });
    connect(exclude_, &QCheckBox::toggled, this, [this](bool on) {
        if (session_) session_->setExcludeFlagged(on);
    });
    connect(useSuggestion_, &QPushButton::clicked, this, [this] {
        if (data_.suggestion.found) emit bandChosen(data_.suggestion.band);
    });
}

void ScoresWindow::setData(const ScoresData& data) {
    data_ = data;
    const std::size_t n = data_.files.size();
    data_.scores.resize(n, 0.0);
    data_.passed.resize(n, 0);
    data_.flags.resize(n, 0);
    exclude_->blockSignals(true);
    exclude_->setChecked(data_.excludeFlagged);
    exclude_->blockSignals(false);
    showScoreKind();
    // A frame the run left out has no score: it never ranks, whatever the data say.
    std::vector<LeftOutFrame> unranked = data_.unranked;
    unranked.insert(unranked.end(), data_.leftOut.begin(), data_.leftOut.end());
    showFrames(Ranks(data_.scores, unranked));
    export_->setEnabled(!shownData_.files.empty());
    widenScoreColumn();
    showSuggestion();
}

void ScoresWindow::showFrames(const std::vector<int>& ranks) {
    std::vector<char> leftOut(data_.files.size(), 0);
    for (const LeftOutFrame& f : data_.leftOut)
        if (f.index >= 0 && std::size_t(f.index) < leftOut.size())
            leftOut[std::size_t(f.index)] = 1;
    shownData_ = ScoresData();
    shownData_.threshold = data_.threshold;
    shownData_.cut = data_.cut;
    shown_.clear();
    ranks_.clear();
    ranked_.clear();
    std::vector<int> positions, rankX;
    std::vector<double> rankScores;
    std::vector<char> rankPassed;
    for (std::size_t k = 0; k < data_.files.size(); ++k) {
        if (leftOut[k]) continue;
        if (ranks[k]) {
            ranked_.push_back(int(shown_.size()));
            rankX.push_back(ranks[k]);
            rankScores.push_back(data_.scores[k]);
            rankPassed.push_back(data_.passed[k]);
        }
        shown_.push_back(int(k));
        positions.push_back(int(k) + 1);
        ranks_.push_back(ranks[k]);
        shownData_.files.push_back(data_.files[k]);
        shownData_.scores.push_back(data_.scores[k]);
        shownData_.passed.push_back(data_.passed[k]);
        shownData_.flags.push_back(data_.flags[k]);
    }
    const ScoresData& s = shownData_;
    listPlot_->setPoints(positions, s.scores, s.passed, s.threshold, false);
    // The cut lies between the last passed rank and the next.
    rankPlot_->setPoints(rankX, rankScores, rankPassed, s.cut + 0.5, true);
    model_->setData(s, ranks_, positions);
}

void ScoresWindow::widenScoreColumn() {
    // Scores of 32-bit and floating-point frames run longer than a camera's: the column widens
    // to the longest (and never narrows, keeping a width the user chose).
    std::size_t longest = 0;
    for (double score : shownData_.scores)
        longest = std::max(longest, ShortScoreText(score).size());
    const int need = int(longest + 2) * digitWidth();
    if (table_->columnWidth(ScoresTableModel::Score) < need)
        table_->setColumnWidth(ScoresTableModel::Score, need);
    fitSideToColumns();
}

int ScoresWindow::flagsColumnNeed() const {
    // The widest flag set shown, in the current language, or the caption if it is wider.
    bool present[1 << kFlagCount] = {};
    for (std::uint8_t flags : shownData_.flags) present[flags & ((1 << kFlagCount) - 1)] = true;
    const QFontMetrics metrics = table_->fontMetrics();
    const int padding = 2 * digitWidth();
    int need =
        std::max(kFlagsColumnDigits * digitWidth(),
                 table_->horizontalHeader()->fontMetrics().horizontalAdvance(
                     model_->headerData(ScoresTableModel::Flags, Qt::Horizontal, Qt::DisplayRole)
                         .toString()) +
                     24);
    for (int flags = 1; flags < (1 << kFlagCount); ++flags)
        if (present[flags])
            need = std::max(need, metrics.horizontalAdvance(
                                      ScoresTableModel::flagCaption(std::uint8_t(flags))) +
                                      padding);
    return need;
}

void ScoresWindow::fitSideToColumns() {
    // The side takes the room from the plots, so that every column stays in view.
    int columns = 0;
    for (int c = 0; c + 1 < ScoresTableModel::ColumnCount; ++c) columns += table_->columnWidth(c);
    columns += flagsColumnNeed();
    const int frame = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
    side_->setMinimumWidth(std::max(side_->minimumWidth(), columns + frame));
}

void ScoresWindow::follow(SelectionSession* session) {
    session_ = session;
    exclude_->setEnabled(true);
    updateScoreKindEnabled();
    const auto show = [this] { setData(ScoresDataOf(*session_)); };
    connect(session_, &SelectionSession::changed, this, show);
    // Frame windows opened here step through the rows as they are sorted.
    const auto publishOrder = [this] { session_->setScoresOrder(tableOrder()); };
    connect(model_, &QAbstractItemModel::modelReset, this, publishOrder);
    connect(model_, &QAbstractItemModel::layoutChanged, this, publishOrder);
    show();
    publishOrder();
}

std::vector<int> ScoresWindow::tableOrder() const {
    std::vector<int> order;
    order.reserve(shown_.size());
    for (int row = 0; row < model_->rowCount(); ++row)
        order.push_back(listIndex(model_->fileAt(row)));
    return order;
}

void ScoresWindow::holdScoreKind(bool hold) {
    scoreKindHeld_ = hold;
    updateScoreKindEnabled();
}

void ScoresWindow::updateScoreKindEnabled() { scoreKind_->setEnabled(session_ && !scoreKindHeld_); }

void ScoresWindow::showScoreKind() {
    const ScoreKind kind = session_ ? session_->scoreKind() : data_.scoreKind;
    const int index = scoreKind_->findData(int(kind));
    if (index == scoreKind_->currentIndex()) return;
    scoreKind_->blockSignals(true);
    scoreKind_->setCurrentIndex(index);
    scoreKind_->blockSignals(false);
}

void ScoresWindow::showSuggestion() {
    const BandSuggestion& offer = data_.suggestion;
    suggestion_->setText(offer.found
                             ? tr("推奨バンド: %1-%2").arg(offer.band.low).arg(offer.band.high)
                             : tr("推奨バンド: なし"));
    useSuggestion_->setEnabled(offer.found);
}

void ScoresWindow::retranslate() {
    setWindowTitle(tr("スコア"));
    listPlot_->setTexts(tr("リスト順のスコア"), tr("リスト順"), tr("しきい値"));
    rankPlot_->setTexts(tr("よい順のスコア"), tr("順位"), tr("合格の境界"));
    ruleGroup_->setTitle(tr("基準"));
    scoreKindCaption_->setText(tr("スコア", "the kind of score"));
    for (int i = 0; i < scoreKind_->count(); ++i)
        scoreKind_->setItemText(i, tr(kScoreKindNames[scoreKind_->itemData(i).toInt()]));
    const char* const rules[] = {QT_TR_NOOP("レベル"), QT_TR_NOOP("上位 N 枚"),
                                 QT_TR_NOOP("上位 %")};
    for (int id : {LevelButton, BestButton, PercentButton})
        ruleChoice_->button(id)->setText(tr(rules[id]));
    apply_->setText(tr("適用"));
    updateApply();
    useSuggestion_->setText(tr("適用"));
    export_->setText(tr("CSV に保存"));
    exclude_->setText(tr("注意付きを除外"));
    showSuggestion();
    model_->retranslate();
    // A caption longer than its column (in English) widens the column, sort mark included.
    const QHeaderView* header = table_->horizontalHeader();
    for (int c = 0; c + 1 < ScoresTableModel::ColumnCount; ++c) {
        const int need = header->fontMetrics().horizontalAdvance(
                             model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                         24;
        if (table_->columnWidth(c) < need) table_->setColumnWidth(c, need);
    }
    fitSideToColumns();
}

void ScoresWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

bool ScoresWindow::currentRule(PassRule& rule) const {
    const QString text = number_->text().trimmed();
    switch (ruleChoice_->checkedId()) {
    case BestButton:
        rule.kind = PassRule::Kind::Best;
        return ParseCount(text, rule.best);
    case PercentButton: {
        rule.kind = PassRule::Kind::BestPercent;
        // A decimal comma, as many of the users' own locales write it, reads as a point.
        QString number = text;
        number.replace(QLatin1Char(','), QLatin1Char('.'));
        return ParsePercent(number.toStdString(), rule.percent);
    }
    default:
        rule.kind = PassRule::Kind::Level;
        return true;
    }
}

void ScoresWindow::updateApply() {
    PassRule rule;
    const bool ok = currentRule(rule);
    apply_->setEnabled(ok);
    number_->setEnabled(ruleChoice_->checkedId() != LevelButton);
    // A greyed 適用 says why.
    if (!ok && ruleChoice_->checkedId() == BestButton)
        ruleProblem_->setText(tr("上位 N 枚には 1 以上の整数を入れてください"));
    else if (!ok)
        ruleProblem_->setText(tr("上位 % には 0 より大きく 100 以下の数を入れてください"));
    ruleProblem_->setVisible(!ok);
}

void ScoresWindow::exportCsv() {
    const ScoresData& s = shownData_;
    if (s.files.empty()) return;
    // Where the last export went; the first one goes beside the frames.
    Preferences preferences;
    const FileDialogKind kind = FileDialogKind::ScoresSave;
    const QStringList filters = {QStringLiteral("CSV (*.csv)")};
    const UserDialogs::SaveChoice choice = Dialogs().getSaveFile(
        this, tr("CSV に保存"), filters, preferences.dialogFilter(kind, int(filters.size())),
        preferences.dialogFolder(
            kind, QFileInfo(QString::fromStdString(s.files[0].file)).absolutePath()));
    if (!choice.accepted || choice.file.isEmpty()) return;
    const QString file = QString::fromStdString(CsvFileName(choice.file.toStdString()));
    preferences.keepDialogChoice(kind, file, choice.filterIndex);
    const std::string csv = ScoresCsv(s.files, s.scores, s.passed, &ranks_, &s.flags);
    std::string error;
    if (!SaveWholeFile(file, QByteArray::fromStdString(csv), error))
        Dialogs().showError(this, tr("保存できません: %1\n%2").arg(file, ReasonText(error)));
}
