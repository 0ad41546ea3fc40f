#include "KeyNavigator.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

bool KeyNavigator::IsInput(const QWidget* widget) {
    if ((widget->focusPolicy() & Qt::TabFocus) == 0)
        return false;
    return qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

void KeyNavigator::Attach(QWidget* window) {
    window_ = window;
    current_ = TabIndexOf(QApplication::focusWidget());
}

void KeyNavigator::Detach() {
    window_.clear();
    current_ = -1;
}

std::vector<QWidget*> KeyNavigator::Inputs() const {
    std::vector<QWidget*> inputs;
    if (window_.isNull())
        return inputs;
    QWidget* w = window_->nextInFocusChain();
    while (w != nullptr && w != window_.data()) {
        if (window_->isAncestorOf(w) && IsInput(w))
            inputs.push_back(w);
        w = w->nextInFocusChain();
    }
    return inputs;
}

int KeyNavigator::TabIndexOf(const QWidget* input) const {
    if (input == nullptr)
        return -1;
    const auto inputs = Inputs();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i] == input)
            return static_cast<int>(i);
    }
    return -1;
}

void KeyNavigator::SetCurrent(int tabIndex) {
    current_ = tabIndex;
}

void KeyNavigator::KeyNotification() {
    const int focused = TabIndexOf(QApplication::focusWidget());
    if (focused >= 0)
        current_ = focused;
}

bool KeyNavigator::Next() {
    return Move(1);
}

bool KeyNavigator::Previous() {
    return Move(-1);
}

bool KeyNavigator::Move(int step) {
    const auto inputs = Inputs();
    const int count = static_cast<int>(inputs.size());
    if (count == 0)
        return false;
    int from = TabIndexOf(QApplication::focusWidget());
    if (from < 0)
        from = current_;
    if (from < 0)
        from = step > 0 ? -1 : 0;
    for (int k = 1; k <= count; ++k) {
        const int i = ((from + step * k) % count + count) % count;
        QWidget* candidate = inputs[static_cast<std::size_t>(i)];
        if (!candidate->isEnabled() || !candidate->isVisible())
            continue;
        candidate->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        current_ = i;
        return true;
    }
    return false;
}
