#pragma once
// The main window: tool bar, menu and the MDI area that holds the image windows. It owns
// the program's other windows: the version dialog, the selector and the notice window.

#include "frame_list.h"
#include "frame_ref.h"
#include "language.h"
#include "viewer_rules.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ImageWindow;
class MainWindow;
class NoticeWindow;
class QAction;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPushButton;
class SelectorWindow;
class VersionDialog;

// Closing `window` ends the program's event loop with status 0, whatever other windows of
// the program are still open.
void EndProgramWhenClosed(const MainWindow& window);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window, reads the settings file in the current folder (written there at
    // close too), then creates the version dialog, the selector and the notice window, in that
    // order, all hidden. Throws on failure.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    VersionDialog* versionDialog() const { return versionDialog_.get(); }
    SelectorWindow* selectorWindow() const { return selectorWindow_.get(); }
    NoticeWindow* noticeWindow() const { return noticeWindow_.get(); }

    // The active child if it is an image window, else nullptr.
    ImageWindow* activeImageWindow() const;
    // The image windows in the MDI area's creation order.
    QList<ImageWindow*> imageWindows() const;

    // Open the given files as the dialog entry (0 BMP, 1 FITS, 2 JPEG, 3 SER) says; a video
    // opens at its first frame in a window that steps through its frames. Stops at the
    // first file that cannot be read, after saying so. Returns how many windows were opened.
    int openFiles(const QStringList& files, int filterIndex);
    // Open local files as a drop does: each as its extension says, others left out. Stops
    // at the first file that cannot be read. Returns how many windows were opened.
    int openDroppedFiles(const QList<QUrl>& urls);
    // Opens frame `index` of `list` in a new image window that steps through the list,
    // zoomed to show it whole. A window of one of the selector's lists follows it (see
    // followSelection), and Delete there takes the shown frame out of the pass list
    // (frameDropped), or says that it is not passed. Returns the window, or nullptr after
    // saying why not.
    ImageWindow* showFrame(framesifter::FrameList list, int index);
    // The same for frames of no list of the selector's; `passList`: Delete takes the shown
    // frame out of the window and reports it (frameDropped).
    ImageWindow* showFrame(const std::vector<framesifter::FrameRef>& frames, int index,
                           bool passList);
    // Every frame window of the selector's lists shows its list as it is now, with the frame it
    // showed; a window whose frame has left its list closes.
    void followSelection();

    // Save the window's picture under the name chosen with entry 0 (BMP) or 1 (JPEG).
    bool saveImageWindow(ImageWindow* window, const QString& chosen, int filterIndex);

    static QStringList openFilters();
    static QStringList saveFilters();

signals:
    // The main window has closed: the program ends, whatever other windows are shown.
    void closed();
    // The user took this frame out of the pass list in a frame window.
    void frameDropped(const framesifter::FrameRef& frame);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // An action named `name` (its object name) that runs `command` in the command guard.
    template <class F>
    QAction* newCommand(const char* name, const QString& text, F command);
    void createActions();
    void buildToolBar();
    void buildMenu();
    // Sets every text that follows the language.
    void retranslate();
    void chooseLanguage(Language language);
    void open();
    // Files were chosen or dropped in `folder`; the selector hears of it too.
    void followFolder(const QString& folder);
    void save();
    void zoomIn();
    void zoomOut();
    void closeActiveWindow();
    void closeAllWindows();
    void imageWindowActivated(QMdiSubWindow* window);
    // Save has something to save only while an image window is open.
    void enableSave();
    // The geometry kept from the last run, when it is still on a screen.
    void restoreKeptGeometry();
    void keepGeometry();
    void placeNewWindow(QMdiSubWindow* window);
    bool fillFrame(ImageWindow* window, int index);
    bool openVideo(const QString& file);
    // The shown frame again, at its zoom, after the choice of grey scale changed.
    void redrawFrame(ImageWindow* window);
    void stepFrame(ImageWindow* window, int delta);
    void dropFrame(ImageWindow* window);
    // A window of frames of no list: the shown frame leaves the window alone.
    void dropOwnFrame(ImageWindow* window);

    // One action per command, shared by the menu and the tool bar.
    QAction* openAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* zoomInAction_ = nullptr;
    QAction* zoomOutAction_ = nullptr;
    QAction* selectorAction_ = nullptr;
    QAction* scoresAction_ = nullptr;
    QAction* undoMoveAction_ = nullptr;
    QAction* closeWindowAction_ = nullptr;
    QAction* closeAllAction_ = nullptr;
    QAction* versionAction_ = nullptr;
    QAction* japaneseAction_ = nullptr;  // checkable, in languageMenu
    QAction* englishAction_ = nullptr;

    QWidget* toolBar_ = nullptr;
    QLineEdit* zoomText_ = nullptr;
    QPushButton* selectorButton_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;

    QMenu* fileMenu_ = nullptr;
    QMenu* selectorMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* languageMenu_ = nullptr;

    QString settingsFolder_;  // absolute, fixed at start
    // Where files were last chosen or dropped, here or in the selector: a dialog that keeps no
    // folder of its own starts there.
    QString lastFolder_;
    QPointer<QMdiSubWindow> lastActive_;
    QPointer<QMdiSubWindow> newestWindow_;  // where the next new window cascades from
    // The window whose Delete is taking its frame out: it shows the next one instead of closing.
    ImageWindow* dropping_ = nullptr;
    std::unique_ptr<VersionDialog> versionDialog_;
    std::unique_ptr<SelectorWindow> selectorWindow_;
    std::unique_ptr<NoticeWindow> noticeWindow_;
};

// The overwrite question of the save command, in Japanese; tr() gives the shown text.
extern const char* const kOverwriteQuestion;

// Shows `language` in every window at once and keeps the choice in the preferences. False,
// with `error` naming what could not be loaded, when its translation is missing (the choice
// is kept all the same).
[[nodiscard]] bool ChooseLanguage(Language language, std::string& error);
