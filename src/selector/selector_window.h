#pragma once
// The frame selector's window: file list, frequency graph, selection and move.

#include "selector_state.h"

#include <QWidget>

class TSelector : public QWidget {
    Q_OBJECT
public:
    explicit TSelector(QWidget* parent = nullptr);

    // What the main window's "セレクト" and "設定(&S)" do: clear the graph to white,
    // show modelessly or bring to the front.
    void ShowSelector();

    SelectorState State;
};

// The single selector window, created at start-up.
extern TSelector* Selector;
