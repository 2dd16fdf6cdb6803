#pragma once
// The main window: tool bar, menu and the MDI area that holds the image windows.

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QToolButton;
class TChild;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The active child if it is an image window, else nullptr.
    TChild* ActiveImageWindow() const;
    // The image windows in the MDI area's creation order.
    QList<TChild*> ImageWindows() const;

    // Open the given files as the dialog entry (0 BMP, 1 FITS, 2 JPEG) says. Stops at the
    // first file that cannot be read, after saying so. Returns how many windows were opened.
    int OpenFiles(const QStringList& files, int filterIndex);
    // Save the window's picture under the name chosen with entry 0 (BMP) or 1 (JPEG).
    bool SaveImageWindow(TChild* child, const QString& chosen, int filterIndex);

    QWidget* SpeedBar = nullptr;
    QToolButton* OpenButton = nullptr;
    QToolButton* SaveButton = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Button3 = nullptr;
    QMdiArea* MdiArea = nullptr;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* P1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* S1 = nullptr;
    QAction* S2 = nullptr;
    QMenu* Window1 = nullptr;
    QAction* C1 = nullptr;
    QAction* L1 = nullptr;
    QAction* V1 = nullptr;

    static const QStringList& OpenFilters();
    static const QStringList& SaveFilters();

public slots:
    void OpenButtonClick();
    void Open1Click();
    void SaveButtonClick();
    void Save1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void S2Click();
    void C1Click();
    void L1Click();
    void V1Click();

signals:
    // The main window has closed: the program ends, whatever other windows are shown.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    void BuildSpeedBar();
    void BuildMenu();
    void OpenCommand();
    void SaveCommand();
    void ShowSelectorCommand();
    void ChildActivated(QMdiSubWindow* window);

    int openFilter_ = 0;
    int saveFilter_ = 0;
    QPointer<QMdiSubWindow> lastActive_;
};

extern TMainForm* MainForm;

// The overwrite question of the save command.
extern const char* const kOverwriteQuestion;
