#pragma once
// Small layout helpers both windows build with.

#include <QLabel>
#include <QSizePolicy>
#include <QString>
#include <QWidget>

// A caption label; plain text, so a caption never turns into markup.
inline QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Progress widgets appear and disappear during a job; the layout keeps their
// place so the window does not jump.
inline void KeepSpaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}
