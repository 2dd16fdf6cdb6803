#include "selector_window.h"

#include <stdexcept>

TSelector* Selector = nullptr;

TSelector::TSelector(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Selector");
    if (CreateSelectorState(State) != 0)
        throw std::runtime_error("not enough memory for the selector's tables");
}

void TSelector::ShowSelector() {
    show();
    raise();
    activateWindow();
}
