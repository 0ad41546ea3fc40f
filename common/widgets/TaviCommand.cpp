#include "TaviCommand.h"

#include <QHBoxLayout>

#include "VelkanFont.h"

QString TaviCommand::Caption(int index) {
    switch (index) {
        case 0:
            return QStringLiteral("終了");
        case 3:
            return QStringLiteral("実行");
        case 4:
            return QStringLiteral("取消");
        case 5:
            return QStringLiteral("複写");
        case 6:
            return QStringLiteral("行挿入");
        case 7:
            return QStringLiteral("行削除");
        case 10:
            return QStringLiteral("前画面");
        case 11:
            return QStringLiteral("次画面");
        default:
            return {};
    }
}

TaviCommand::TaviCommand(QWidget* parent) : QWidget(parent) {
    setFont(VelkanFont());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int n = 0; n < kButtons; ++n) {
        auto* button = new QPushButton(Caption(n), this);
        button->setObjectName(QStringLiteral("TaviCommand_%1").arg(n));
        // The bar mirrors the keys; clicking it must not move the input focus.
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(QStringLiteral("F%1").arg(n + 1));
        button->setAccessibleName(Caption(n).isEmpty() ? QStringLiteral("F%1").arg(n + 1)
                                                       : Caption(n));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(button);
        // Keys F1 to F4, F5 to F8 and F9 to F12 sit in groups of four, as on the keyboard.
        if (n == 3 || n == 7)
            layout->addSpacing(8);
        connect(button, &QPushButton::clicked, this,
                [this, n] { emit functionKey(Qt::Key_F1 + n); });
        buttons_[static_cast<std::size_t>(n)] = button;
    }
}
