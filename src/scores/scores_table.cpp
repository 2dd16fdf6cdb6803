#include "scores_table.h"

#include "frame_flags.h"
#include "frame_ref.h"
#include "natural_order.h"
#include "score_csv.h"
#include "shown_name.h"

#include <algorithm>
#include <climits>
#include <numeric>

namespace {

// The short names of a flag set, in FrameFlag order.
QString FlagCaption(std::uint8_t flags) {
    static const char* const names[framesifter::kFlagCount] = {
        QT_TRANSLATE_NOOP("ScoresTableModel", "飽和"), QT_TRANSLATE_NOOP("ScoresTableModel", "端"),
        QT_TRANSLATE_NOOP("ScoresTableModel", "明るさ"),
        QT_TRANSLATE_NOOP("ScoresTableModel", "重複"),
        QT_TRANSLATE_NOOP("ScoresTableModel", "異種")};
    QStringList parts;
    for (int b = 0; b < framesifter::kFlagCount; ++b)
        if (flags & (1u << b)) parts << ScoresTableModel::tr(names[b]);
    return parts.join(QLatin1Char(' '));
}

}  // namespace

ScoresTableModel::ScoresTableModel(QObject* parent) : QAbstractTableModel(parent) {}

QString ScoresTableModel::flagCaption(std::uint8_t flags) { return FlagCaption(flags); }

void ScoresTableModel::setData(const ScoresData& data, const std::vector<int>& ranks,
                               const std::vector<int>& positions) {
    beginResetModel();
    const std::size_t n = data.files.size();
    paths_.resize(n);
    names_.resize(n);
    utf8Names_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        paths_[k] = QString::fromStdString(framesifter::FrameRefText(data.files[k]));
        names_[k] = framesifter::FrameDisplayName(data.files[k]);
        utf8Names_[k] = names_[k].toStdString();
    }
    scores_ = data.scores;
    ranks_ = ranks;
    passed_ = data.passed;
    flags_ = data.flags;
    flags_.resize(n, 0);
    scores_.resize(n, 0.0);
    ranks_.resize(n, 0);
    passed_.resize(n, 0);
    positions_ = positions;
    for (std::size_t k = positions_.size(); k < n; ++k) positions_.push_back(int(k) + 1);
    rows_.resize(n);
    sortRows();
    endResetModel();
}

int ScoresTableModel::fileAt(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[std::size_t(row)] : -1;
}

int ScoresTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int ScoresTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScoresTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    const std::size_t k = std::size_t(rows_[std::size_t(index.row())]);
    if (role == Qt::ToolTipRole && index.column() == File) return paths_[k];
    if (role == Qt::ToolTipRole && index.column() == Flags && flags_[k])
        return FlagCaption(flags_[k]);
    if (role == Qt::TextAlignmentRole && index.column() != File)
        return int((index.column() == Passed  ? Qt::AlignHCenter
                    : index.column() == Flags ? Qt::AlignLeft
                                              : Qt::AlignRight) |
                   Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case Position:
        return positions_[k];
    case File:
        return names_[k];
    case Score:
        return QString::fromStdString(framesifter::ShortScoreText(scores_[k]));
    case Rank:
        return ranks_[k] ? QVariant(ranks_[k]) : QVariant(QString());
    case Passed:
        return passed_[k] ? QStringLiteral("○") : QString();
    case Flags:
        return FlagCaption(flags_[k]);
    }
    return {};
}

QVariant ScoresTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const captions[] = {QT_TR_NOOP("番号"),   QT_TR_NOOP("ファイル"),
                                           QT_TR_NOOP("スコア"), QT_TR_NOOP("順位"),
                                           QT_TR_NOOP("合格"),   QT_TR_NOOP("注意")};
    return section >= 0 && section < ColumnCount ? tr(captions[section]) : QVariant();
}

void ScoresTableModel::retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (rowCount() > 0) emit dataChanged(index(0, Flags), index(rowCount() - 1, Flags));
}

void ScoresTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    sortColumn_ = column;
    sortOrder_ = order;
    sortRows();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ScoresTableModel::sortRows() {
    std::iota(rows_.begin(), rows_.end(), 0);
    // Equal keys keep list order, whichever way the column is sorted.
    const auto by = [this](auto key) {
        const bool down = sortOrder_ == Qt::DescendingOrder;
        std::stable_sort(rows_.begin(), rows_.end(), [&](int a, int b) {
            return down ? key(std::size_t(b)) < key(std::size_t(a))
                        : key(std::size_t(a)) < key(std::size_t(b));
        });
    };
    switch (sortColumn_) {
    case Position:
        if (sortOrder_ == Qt::DescendingOrder) std::reverse(rows_.begin(), rows_.end());
        break;
    case File:
        // As the selector lists files: digit runs read as numbers.
        std::stable_sort(rows_.begin(), rows_.end(), [this](int a, int b) {
            const std::string& na = utf8Names_[std::size_t(a)];
            const std::string& nb = utf8Names_[std::size_t(b)];
            return sortOrder_ == Qt::DescendingOrder ? framesifter::NaturalLess(nb, na)
                                                     : framesifter::NaturalLess(na, nb);
        });
        break;
    case Score:
        by([this](std::size_t k) { return scores_[k]; });
        break;
    case Rank:
        // Frames without a rank last.
        by([this](std::size_t k) { return ranks_[k] ? ranks_[k] : INT_MAX; });
        break;
    case Passed:
        by([this](std::size_t k) { return passed_[k] != 0; });
        break;
    case Flags:
        by([this](std::size_t k) { return flags_[k]; });
        break;
    }
}
