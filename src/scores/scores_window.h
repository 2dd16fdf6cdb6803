#pragma once
// The scores window: each frame's score over the list and sorted best first, a table of
// them, the choice of score (band or normalised) and of pass rule (level, best N, best %),
// whether flagged frames are left out, and CSV export.

#include "ranking.h"
#include "scores_data.h"

#include <QMetaType>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class ScoresPlot;
class ScoresTableModel;

class ScoresWindow : public QWidget {
    Q_OBJECT
public:
    explicit ScoresWindow(QWidget* parent = nullptr);

    void setData(const ScoresData& data);
    // Shows `session` from now on, after each of its changes; the choice "スコア" then sets
    // the session's score kind, the check box "注意付きを除外" its exclusion, and the table's
    // order its scores order.
    void follow(framesifter::SelectionSession* session);
    // While a move or undo works through the passes, a new score kind, which would clear
    // them, is not offered.
    void holdScoreKind(bool hold);
    const ScoresData& data() const { return data_; }
    // The list index of each table row, top to bottom, as the table is sorted now.
    std::vector<int> tableOrder() const;

signals:
    // A frame's 0-based list index (left-out frames counted): clicked on a plot, or
    // double-clicked to be opened.
    void frameClicked(int index);
    void frameOpened(int index);
    void ruleApplied(const framesifter::PassRule& rule);
    // The suggested band was chosen for the selector's markers.
    void bandChosen(framesifter::Band band);

protected:
    void changeEvent(QEvent* event) override;

private:
    // The rule the group shows; false when its number cannot be read.
    bool currentRule(framesifter::PassRule& rule) const;
    // Asks for a file through the dialogs interface and writes the CSV there.
    void exportCsv();

    int digitWidth() const;
    void setUpTable();
    QGroupBox* makeRuleGroup();
    QHBoxLayout* makeScoreKindRow();
    QHBoxLayout* makeSuggestionRow();
    void layOut(QGroupBox* rules, QHBoxLayout* suggestionRow);
    // The list index of a frame shown in the list plot or the table, or of a rank plot point;
    // -1 for none.
    int listIndex(int shown) const;
    int rankedIndex(int point) const;
    void connectFrameClicks();
    void connectControls();
    // The frames not left out, with their ranks, into the plots and the table.
    void showFrames(const std::vector<int>& ranks);
    void widenScoreColumn();
    void fitSideToColumns();
    // The Flags column's width for the flags shown.
    int flagsColumnNeed() const;
    void updateApply();
    // Sets every text that follows the language.
    void retranslate();
    void showSuggestion();
    void showScoreKind();
    void updateScoreKindEnabled();

    framesifter::SelectionSession* session_ = nullptr;
    ScoresData data_;
    ScoresData shownData_;     // the frames not left out, as the plots and the table show them
    std::vector<int> shown_;   // shown frame -> list index
    std::vector<int> ranks_;   // one per shown frame; 0 for a flagged frame left out
    std::vector<int> ranked_;  // rank plot point -> shown frame
    ScoresPlot* listPlot_;
    ScoresPlot* rankPlot_;
    QWidget* side_;  // the table and the controls beside the plots
    QTableView* table_;
    ScoresTableModel* model_;
    QGroupBox* ruleGroup_;
    QLabel* scoreKindCaption_;
    QComboBox* scoreKind_;
    bool scoreKindHeld_ = false;
    QButtonGroup* ruleChoice_;
    QLineEdit* number_;
    QPushButton* apply_;
    QLabel* ruleProblem_;  // why the number cannot be applied
    QPushButton* export_;
    QCheckBox* exclude_;
    QLabel* suggestion_;
    QPushButton* useSuggestion_;
};

Q_DECLARE_METATYPE(framesifter::PassRule)
