#pragma once
// Message boxes of both windows on QMessageBox, with Japanese button texts
// whatever the desktop language.

#include <QPointer>
#include <QWidget>

#include "MessageSink.h"

class QtMessageSink : public MessageSink {
  public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MsgAnswer show(const std::string& text, const std::string& title, MsgIcon icon,
                   MsgButtons buttons) override;

  private:
    QPointer<QWidget> parent_;
};
