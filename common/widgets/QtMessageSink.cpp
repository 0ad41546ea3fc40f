#include "QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "VelkanFont.h"

MsgAnswer QtMessageSink::show(const std::string& text, const std::string& title, MsgIcon icon,
                              MsgButtons buttons) {
    QMessageBox box(parent_.data());
    box.setFont(VelkanFont());
    box.setWindowTitle(title.empty() ? QApplication::applicationName()
                                     : QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    // The first button (Yes, OK, Retry) is the default, so Enter answers it.
    QPushButton* first = nullptr;
    QPushButton* second = nullptr;
    QPushButton* third = nullptr;
    switch (buttons) {
        case MsgButtons::Ok:
            first = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setEscapeButton(first);
            break;
        case MsgButtons::YesNo:
            first = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
            second = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
            box.setEscapeButton(second);
            break;
        case MsgButtons::RetryCancel:
            first = box.addButton(QStringLiteral("再試行"), QMessageBox::AcceptRole);
            second = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            box.setEscapeButton(second);
            break;
        case MsgButtons::YesNoCancel:
            first = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
            second = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
            third = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            box.setEscapeButton(third);
            break;
    }
    box.setDefaultButton(first);
    box.exec();
    const bool firstChosen = box.clickedButton() == first;
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
            return firstChosen ? MsgAnswer::Yes : MsgAnswer::No;
        case MsgButtons::RetryCancel:
            return firstChosen ? MsgAnswer::Retry : MsgAnswer::Cancel;
        case MsgButtons::YesNoCancel:
            if (firstChosen)
                return MsgAnswer::Yes;
            return box.clickedButton() == second ? MsgAnswer::No : MsgAnswer::Cancel;
    }
    return MsgAnswer::Ok;
}
