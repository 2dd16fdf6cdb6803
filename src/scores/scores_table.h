#pragma once
// The table of scores: list position, file, score, rank, passed, the frame's flags. It sorts itself
// on typed values (numbers as numbers) through a row permutation, which stays fast at 100,000 rows.

#include "scores_data.h"

#include <QAbstractTableModel>

class ScoresTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Position, File, Score, Rank, Passed, Flags, ColumnCount };

    explicit ScoresTableModel(QObject* parent = nullptr);
    // ranks: 1-based, one per file (0: not ranked, shown empty); positions: each file's 1-based
    // place in the list, rising (1, 2, 3... when empty).
    void setData(const ScoresData& data, const std::vector<int>& ranks,
                 const std::vector<int>& positions = {});
    // The short names of a flag set, as the Flags column shows them.
    static QString flagCaption(std::uint8_t flags);
    // The file (0-based list index) shown on a row.
    int fileAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The captions and flag names follow the language: views are told to fetch them again.
    void retranslate();
    void sort(int column, Qt::SortOrder order) override;

private:
    void sortRows();

    std::vector<QString> names_;
    std::vector<std::string> utf8Names_;
    std::vector<QString> paths_;
    std::vector<double> scores_;
    std::vector<int> ranks_;
    std::vector<int> positions_;
    std::vector<char> passed_;
    std::vector<std::uint8_t> flags_;
    std::vector<int> rows_;  // row -> file
    int sortColumn_ = Position;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
