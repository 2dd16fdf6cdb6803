#pragma once
// The frame selector's window: file list, frequency graph, selection and move.

#include "analysis_results.h"
#include "fft_plan.h"
#include "graph.h"
#include "window_mode.h"

#include <QImage>
#include <QWidget>

#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QRadioButton;

// The graph control: keeps its picture between redraws and reports mouse presses in
// picture coordinates.
class GraphImage : public QWidget {
    Q_OBJECT
public:
    explicit GraphImage(QWidget* parent = nullptr);
    QImage Picture;   // the drawing surface; call update() after drawing into it

signals:
    void mouseDown(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

// A small up-down spinner: the upper half raises the position, the lower half lowers it,
// within minimum..maximum without wrapping. Up and Down keys do the same.
class UpDownSpinner : public QWidget {
    Q_OBJECT
public:
    UpDownSpinner(int minimum, int maximum, int position, QWidget* parent = nullptr);
    int position() const { return position_; }
    void setPosition(int position);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // One arrow click: moves by one step within the range and emits clicked.
    void step(bool up);

signals:
    // After an arrow was clicked (the position has already moved).
    void clicked(bool up);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int minimum_;
    int maximum_;
    int position_;
    int pressed_ = 0;   // +1 upper arrow held, -1 lower, 0 none
};

class TSelector : public QWidget {
    Q_OBJECT
public:
    explicit TSelector(QWidget* parent = nullptr);

    // What the main window's "セレクト" and "設定(&S)" do: clear the graph to white,
    // show modelessly or bring to the front.
    void ShowSelector();

    AnalysisResults Results;   // the last run's table and curves
    GraphView View;            // band markers and scale
    const FftPlan Plan{kWindowSize};

    // The controls, named as the handlers refer to them.
    QWidget* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QListWidget* ListBox1;   // names of the opened files
    QListWidget* ListBox2;   // names of the passed files
    QListWidget* ListBox3;   // hidden: full paths of ListBox1's files
    QListWidget* ListBox4;   // hidden: full paths of ListBox2's files (inside Good once moved)
    GraphImage* Image1;
    QProgressBar* ProgressBar1;
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox3;
    QPushButton* BitBtn1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QLineEdit* Edit1;
    UpDownSpinner* UpDown1;

    // The file dialog's entries, in order.
    static QStringList OpenFilters();

public slots:
    void BitBtn1Click();   // 開く
    void Button1Click();   // FFT
    void Button2Click();   // Select
    void Button3Click();   // +
    void Button4Click();   // -
    void Button5Click();   // 移動
    void UpDown1Click();
    void Edit1Change();
    void ListBox1Click();
    void ListBox2Click();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);

public:
    void DrawGraph(GraphForm form);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class F>
    void Guarded(F&& handler);
    void ReportError(const QString& text);
    void BuildControls();
    void PlaceCountLabel(QLabel* label, int left, const QString& text);
    void InspectFrame(QListWidget* names, QListWidget* paths);
    WindowMode CurrentMode() const;
    static std::vector<std::string> Paths(const QListWidget* list);

    // Row selected when the mouse went down on ListBox1 / ListBox2, to tell a click on the
    // entry already selected (analysed again) from one that changes the selection.
    int pressedRow1_ = -1;
    int pressedRow2_ = -1;
};

// The single selector window, created at start-up.
extern TSelector* Selector;
