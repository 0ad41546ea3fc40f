#include "WindowConventions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "VelkanFont.h"
#include "WindowAccessibility.h"
#include "gMjDisp.h"

namespace {

template <typename T>
bool Contains(const std::vector<T*>& list, const QWidget* widget) {
    return std::find(list.begin(), list.end(), widget) != list.end();
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

WindowConventions::WindowConventions(MessageSink& messages, std::string programName,
                                     const QString& caption, ControlMasterVariant variant,
                                     QWidget* parent)
    : QWidget(parent),
      messages_(messages),
      programName_(std::move(programName)),
      caption_(caption),
      variant_(variant),
      mdb_(messages) {
    InstallWindowAccessibility();
    setWindowTitle(caption);
    setFont(VelkanFont());
    // Key preview: the window sees every key of its inputs before they do.
    qApp->installEventFilter(this);
}

WindowConventions::~WindowConventions() {
    qApp->removeEventFilter(this);
    if (!unloaded_) {
        navigator_.Detach();
        mdb_.CloseDatabase();
    }
}

void WindowConventions::BindCaption(QLabel* label, QWidget* input) {
    label->setBuddy(input);
    input->setAccessibleName(label->text());
}

void WindowConventions::setCombo1(QComboBox* combo) {
    combo1_ = combo;
}

void WindowConventions::addEnterText(TaviText* text) {
    enterTexts_.push_back(text);
}

void WindowConventions::addEnterDate(TaviDate* date) {
    enterDates_.push_back(date);
}

void WindowConventions::addKeyAction(int key, std::function<void()> action) {
    keyActions_[key] = std::move(action);
}

void WindowConventions::setCommandBar(TaviCommand* bar) {
    connect(bar, &TaviCommand::functionKey, this,
            [this](int key) { FormKeyDown(key, Qt::NoModifier); });
}

bool WindowConventions::Startup() {
    StartupResult result = RunStartup(programName_, caption_.toStdString(), messages_);
    if (result.outcome != StartupOutcome::Ready) {
        Unload();
        return false;
    }
    lock_ = std::move(result.lock);
    entries_ = std::move(result.entries);
    combo1_->clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        combo1_->addItem(QString::fromStdString(ComboItemText(i, entries_[i])),
                         static_cast<int>(i));
    }
    ResetComboSelection();
    ClearWindow();
    if (!ReadSettings()) {
        Unload();
        return false;
    }
    navigator_.Attach(this);
    started_ = true;
    return true;
}

void WindowConventions::ResetComboSelection() {
    combo1_->setCurrentIndex(-1);
    if (combo1_->count() > 0)
        combo1_->setCurrentIndex(0);
}

bool WindowConventions::ReadSettings() {
    ++controlMasterReads_;
    const auto index = static_cast<std::int16_t>(combo1_->currentIndex());
    return ReadControlMaster(index, entries_, mdb_, messages_, variant_, *this, settings_);
}

void WindowConventions::Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    started_ = false;
    navigator_.Detach();
    ReleaseWindowObjects();
    mdb_.CloseDatabase();
    lock_.reset();
    close();
    emit unloaded();
}

void WindowConventions::closeEvent(QCloseEvent* event) {
    // Closing the window in the middle of a job would pull the database from under it.
    if (jobRunning_) {
        event->ignore();
        return;
    }
    Unload();
    event->accept();
}

void WindowConventions::setCalendarMode(int mode) {
    for (TaviDate* date : findChildren<TaviDate*>())
        date->setCalendarMode(mode);
}

void WindowConventions::showDatabasePath(const std::string& path) {
    if (databasePath_ != nullptr)
        databasePath_->setText(QString::fromStdString(path));
}

void WindowConventions::notifyNavigator() {
    if (navigator_.attached())
        navigator_.KeyNotification();
}

void WindowConventions::FormKeyDown(int key, Qt::KeyboardModifiers) {
    if (unloaded_ || jobRunning_)
        return;
    if (key == Qt::Key_Escape && EscapeAction()) {
        notifyNavigator();
        return;
    }
    if (key == Qt::Key_F1 || key == Qt::Key_Escape) {
        if (messages_.confirm("終了してもよろしいですか")) {
            Unload();
            return;
        }
        notifyNavigator();
        return;
    }
    if (key == Qt::Key_F4) {
        MainAction();
    } else if (const auto action = keyActions_.find(key); action != keyActions_.end()) {
        action->second();
    }
    if (!unloaded_)
        notifyNavigator();
}

bool WindowConventions::handleKeyPress(QWidget* target, int key, Qt::KeyboardModifiers modifiers,
                                       const QString& text) {
    if (jobRunning_)
        return true;
    if (key == Qt::Key_F1 || key == Qt::Key_Escape || key == Qt::Key_F4 ||
        keyActions_.count(key) != 0) {
        FormKeyDown(key, modifiers);
        return true;
    }
    notifyNavigator();
    if (!IsEnter(key))
        return false;

    const bool shift = (modifiers & Qt::ShiftModifier) != 0;
    if (target == combo1_) {
        if (shift) {
            navigator_.Previous();
            return true;
        }
        enterPressed_ = true;
        if (!ReadSettings()) {
            Unload();
            return true;
        }
        navigator_.Next();
        return true;
    }
    if (Contains(enterTexts_, target)) {
        if (shift) {
            navigator_.Previous();
        } else {
            enterPressed_ = true;
            navigator_.Next();
        }
        return true;
    }
    if (Contains(enterDates_, target)) {
        if (shift) {
            navigator_.Previous();
        } else {
            navigator_.Next();
        }
        return true;
    }
    // Enter types nothing anywhere else either.
    std::int16_t keyAscii = text.isEmpty() ? 13 : static_cast<std::int16_t>(text[0].unicode());
    pMjComon::SuppressEnterKey(keyAscii);
    return keyAscii == 0 && qobject_cast<QLineEdit*>(target) != nullptr;
}

void WindowConventions::handleFocusIn(QWidget* target) {
    if (target == combo1_) {
        navigator_.SetCurrent(navigator_.TabIndexOf(target));
        enterPressed_ = false;
    } else if (Contains(enterTexts_, target)) {
        navigator_.SetCurrent(navigator_.TabIndexOf(target));
        static_cast<TaviText*>(target)->SelectRange(0, 99);
        enterPressed_ = false;
    } else if (Contains(enterDates_, target)) {
        navigator_.SetCurrent(navigator_.TabIndexOf(target));
        static_cast<TaviDate*>(target)->SelectRange(0, 99);
    }
}

void WindowConventions::handleFocusOut(QWidget* target) {
    if (target == combo1_) {
        if (enterPressed_) {
            enterPressed_ = false;
            return;
        }
        if (!ReadSettings()) {
            Unload();
            return;
        }
        enterPressed_ = false;
    } else if (Contains(enterTexts_, target)) {
        TextFocusLost(static_cast<TaviText*>(target));
        enterPressed_ = false;
    }
}

bool WindowConventions::eventFilter(QObject* watched, QEvent* event) {
    if (unloaded_ || !watched->isWidgetType())
        return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::FocusIn && type != QEvent::FocusOut) {
        return false;
    }
    auto* target = static_cast<QWidget*>(watched);
    if (target != this && !isAncestorOf(target))
        return false;

    if (type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        return handleKeyPress(target, key->key(), key->modifiers(), key->text());
    }
    // Focus moving to a popup, a message box or another program is no leaving of the input.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (!started_ || jobRunning_ || reason == Qt::PopupFocusReason ||
        reason == Qt::ActiveWindowFocusReason) {
        return false;
    }
    if (type == QEvent::FocusIn) {
        handleFocusIn(target);
    } else {
        handleFocusOut(target);
    }
    return false;
}
