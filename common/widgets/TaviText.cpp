#include "TaviText.h"

#include <algorithm>

TaviText::TaviText(QWidget* parent) : QLineEdit(parent) {}

void TaviText::SelectRange(int start, int length) {
    const int size = static_cast<int>(text().size());
    start = std::clamp(start, 0, size);
    length = std::clamp(length, 0, size - start);
    setSelection(start, length);
}

int TaviText::SelStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

int TaviText::SelLength() const {
    return static_cast<int>(selectedText().size());
}

QString TaviText::SelText() const {
    return selectedText();
}
