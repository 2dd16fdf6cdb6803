#pragma once
// The frame selector's window: file list, frequency graph, selection and move.

#include "analysis_results.h"
#include "band_suggestion.h"
#include "fft_plan.h"
#include "graph.h"
#include "move_journal.h"
#include "ranking.h"
#include "selection_session.h"
#include "window_mode.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class GraphCanvas;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class ScoresWindow;
class UpDownSpinner;
namespace framesifter {
class RunProgress;
}

class SelectorWindow : public QWidget {
    Q_OBJECT
public:
    explicit SelectorWindow(QWidget* parent = nullptr);
    // Stops a run or move under way and waits for its thread.
    ~SelectorWindow() override;

    // Each list entry shows a file's name and keeps its full path (PATH#N for a video's frame)
    // under this role.
    static constexpr int kPathRole = Qt::UserRole;
    // A file-list entry that the last run left out keeps its reason under this role.
    static constexpr int kLeftOutRole = Qt::UserRole + 2;

    // An analysis run or a move is going on in its own thread.
    bool busy() const { return bool(work_); }

    // Shows the window modelessly, or brings it to the front. The graph is cleared to white
    // unless the last completed run was over exactly the listed files.
    void showSelector();

    // Writes the band, pass level, window mode, score kind and place to the preferences; done
    // on every change of the first four, on hiding, and by the main window when the program
    // ends.
    void keepPreferences();

    // The program is ending: a run or move under way is stopped and its thread joined, the
    // scores window closed, and this window closes instead of only hiding.
    void endForQuit();

    // The file dialog's entries, in order.
    static QStringList openFilters();

    // The scores window, owned here and hidden (not destroyed) on close. It shows the
    // session: the last completed run's scores over the band and the passes.
    ScoresWindow* scoresWindow() const { return scoresWindow_.get(); }

    // The list, run, band, rule and passes that every view here and the scores window show.
    framesifter::SelectionSession& session() { return session_; }
    const framesifter::SelectionSession& session() const { return session_; }
    // The band and scale the graph is drawn at.
    const framesifter::GraphView& graphView() const { return graphView_; }

    // Where files were last chosen in another window: the open dialog starts there while it
    // keeps no folder of its own, and so does the undo chooser before any move.
    void followFolder(const QString& folder) { lastFolder_ = folder; }
    // Called on the reading thread before frame `index` of each later run is read: lets a test
    // hold a run where it wants it.
    void setFrameReadHook(std::function<void(int index)> hook) { readHook_ = std::move(hook); }
    // Called on the moving thread after each block a later move copies across file systems:
    // lets a test hold a move where it wants it.
    void setMoveCopyHook(std::function<void(std::uint64_t bytesCopied)> hook) {
        copyHook_ = std::move(hook);
    }

signals:
    // A run or move has ended and the window shows its outcome.
    void workFinished();
    // The user asked to look at frame `index` of `list`: the file list, the pass list, or
    // the scores table in its order.
    void frameOpenRequested(const framesifter::FrameList& list, int index);
    // Files were chosen in the open dialog, in `folder`.
    void folderChosen(const QString& folder);

public slots:
    void showScores();
    // Asks for a Good folder and undoes the moves recorded there. The questions and the
    // progress, which a stop ends between files, appear over `asker` (this window when null),
    // since the undo may be started while this window is hidden.
    void undoMoves(QWidget* asker = nullptr);
    // Takes the first pass-list entry of `frame` out of the list; no file is touched.
    void dropPassed(const framesifter::FrameRef& frame);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void openFiles();
    void runAnalysis();
    void selectPassed();
    void movePassed();
    void enlargeGraph();
    void shrinkGraph();
    void showPassLevel();
    void inspectFile();
    void inspectPassed();
    void pressGraph(Qt::MouseButton button, int x, int y);
    // The pass list as `rule` selects it, as Select does for the level.
    void applyRule(const framesifter::PassRule& rule);
    // A scores-window click: selects the file-list row and draws its curve.
    void showScoredFrame(int index);
    // Sets the band markers to `band`, as clicks on the graph would, and scores over it.
    void useBand(framesifter::Band band);

private:
    void buildControls();
    // Sets every text that follows the language.
    void retranslate();
    // The kept band, level, mode, score kind and place, each within its range.
    void restorePreferences();
    void connectControls();
    void drawGraph(framesifter::GraphForm form);
    // The two counts show what the lists hold after every change of them.
    void showCounts();
    void clearStaleGraph();
    void placeCount(QLabel* label, int left, int count);
    void inspect(QListWidget* list);
    // The frames a list shows, in its order.
    framesifter::FrameList listFrames(const QListWidget* list) const;
    void selectByRule(const framesifter::PassRule& rule);
    // The lists show the session's entries and passes after each change of them.
    void showEntries();
    void showPasses();

    using ListEntry = framesifter::SelectionSession::Entry;
    // Chosen files, in list order, as entries: a video gives one entry per frame. False,
    // after a message naming the video, when one cannot be read or the entries would pass
    // the most a list may hold.
    bool expandVideos(const std::vector<ListEntry>& chosen, std::vector<ListEntry>& entries);
    static QString moveQuestion(const std::vector<framesifter::FrameRef>& sources);
    void showUndone(const framesifter::UndoReport& report, QWidget* owner);

    // What the window shares with the thread of a run or move.
    struct Work;
    void startWork(std::unique_ptr<Work> work);
    void setBusy(bool on);
    void stopWork();
    void showUndoProgress(QWidget* owner);
    void pollWork();
    void askWorkQuestion();
    void finishRun(Work& work);
    void finishMove(Work& work);
    void finishUndo(Work& work);
    void markLeftOut();

    framesifter::SelectionSession session_;
    framesifter::GraphView graphView_;  // the session's band, and the scale
    const framesifter::FftPlan plan_{framesifter::kWindowSize};

    QWidget* panel_ = nullptr;
    QLabel* fileCaption_ = nullptr;
    QLabel* fileCount_ = nullptr;
    QLabel* graphCaption_ = nullptr;
    QLabel* passedCaption_ = nullptr;
    QLabel* passedCount_ = nullptr;
    QListWidget* fileList_ = nullptr;  // the opened files
    QListWidget* passedList_ =
        nullptr;  // the files that passed (their paths inside "Good" once moved)
    GraphCanvas* graphCanvas_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QGroupBox* imageGroup_ = nullptr;
    QGroupBox* graphGroup_ = nullptr;
    QGroupBox* passGroup_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* scaleUpButton_ = nullptr;
    QPushButton* scaleDownButton_ = nullptr;
    QPushButton* fftButton_ = nullptr;
    QRadioButton* centreModeButton_ = nullptr;
    QRadioButton* peakModeButton_ = nullptr;
    QLineEdit* passLevel_ = nullptr;  // shows the spinner's level, never edited by hand
    UpDownSpinner* passLevelSpinner_ = nullptr;
    QPushButton* selectButton_ = nullptr;
    QPushButton* moveButton_ = nullptr;
    QLabel* workCount_ = nullptr;  // "done / total" over the graph while a run or move goes on
    QPointer<QProgressDialog> undoProgress_;  // over the window that started an undo

    std::unique_ptr<ScoresWindow> scoresWindow_;
    std::unique_ptr<Work> work_;
    std::function<void(std::uint64_t)> copyHook_;
    std::thread worker_;
    framesifter::RunProgress* progress_ = nullptr;
    QElapsedTimer workStarted_;
    bool stopOffered_ = false;  // the FFT button reads Stop while an analysis runs
    QString lastGood_;          // the Good folder of the last move, where the undo chooser opens
    QString lastFolder_;        // where files were last chosen, here or in another window
    std::function<void(int)> readHook_;
    bool asking_ = false;    // the question about a bad frame is on screen
    bool quitting_ = false;  // a close ends the window: the program is ending

    // Row selected when the mouse went down on the file / pass list, to tell a click on the
    // entry already selected (analysed again) from one that changes the selection.
    int pressedFileRow_ = -1;
    int pressedPassedRow_ = -1;
};
