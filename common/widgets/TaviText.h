#pragma once
// Single-line text input of both windows.

#include <QLineEdit>

class TaviText : public QLineEdit {
    Q_OBJECT
  public:
    explicit TaviText(QWidget* parent = nullptr);

    // Selects `length` characters from `start`, clipped to the text (99 selects all).
    void SelectRange(int start, int length);
    int SelStart() const;
    int SelLength() const;
    QString SelText() const;
};
