#pragma once
// Focus movement between the inputs of a window: the text, date and combo
// inputs in the window's tab order, skipping disabled and hidden ones.

#include <QPointer>
#include <QWidget>
#include <vector>

class KeyNavigator {
  public:
    void Attach(QWidget* window);
    void Detach();
    bool attached() const { return !window_.isNull(); }

    // Focus to the next / previous input in tab order (wrapping); false when none can take it.
    bool Next();
    bool Previous();
    // After every key the window dealt with: keeps the current input in step with the focus.
    void KeyNotification();
    // An input gained the focus; `tabIndex` is its position in the tab order.
    void SetCurrent(int tabIndex);

    int current() const { return current_; }
    // Position of an input in the window's tab order, -1 when it is not an input.
    int TabIndexOf(const QWidget* input) const;
    // The inputs in tab order (hidden and disabled ones included).
    std::vector<QWidget*> Inputs() const;
    static bool IsInput(const QWidget* widget);

  private:
    bool Move(int step);
    QPointer<QWidget> window_;
    int current_ = -1;
};
