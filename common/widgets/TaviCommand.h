#pragma once
// Function-key bar: twelve buttons, button n standing for key F(n+1).

#include <QPushButton>
#include <QWidget>
#include <array>

class TaviCommand : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kButtons = 12;

    explicit TaviCommand(QWidget* parent = nullptr);

    QPushButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }
    // The caption of button n in both windows ("" for the unused keys).
    static QString Caption(int index);

  signals:
    // Qt::Key_F1 + n for a click on button n.
    void functionKey(int key);

  private:
    std::array<QPushButton*, kButtons> buttons_{};
};
