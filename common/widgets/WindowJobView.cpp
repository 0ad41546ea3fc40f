#include "WindowJobView.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>

JobScreen::JobScreen(WindowConventions& window, QProgressBar* bar, QLabel* phaseLabel,
                     std::vector<QWidget*> lockedFrames, QWidget* commandBar)
    : window_(window),
      bar_(bar),
      label_(phaseLabel),
      lockedFrames_(std::move(lockedFrames)),
      commandBar_(commandBar) {}

void JobScreen::setBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    // The window takes no key, no click on its inputs and no close while the
    // job runs, yet keeps repainting its progress: the input frames are
    // disabled and the window ignores keys, rather than the whole window
    // being disabled. Keys are refused before the frames lose the focus.
    if (busy) {
        window_.setJobRunning(true);
        focusBefore_ = QApplication::focusWidget();
    }
    for (QWidget* frame : lockedFrames_)
        frame->setEnabled(!busy);
    commandBar_->setVisible(!busy);
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        lastUpdate_.invalidate();
        phase_ = label_->text().toStdString();
        return;
    }
    if (pendingValue_ >= 0)
        showProgress(pendingValue_);
    QApplication::restoreOverrideCursor();
    // Back to the input the user left, which disabling the frames took the focus from.
    if (focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible())
        focusBefore_->setFocus(Qt::OtherFocusReason);
    window_.setJobRunning(false);
    window_.repaint();
}

void JobScreen::setProgressVisible(bool visible) {
    if (pendingValue_ >= 0)
        showProgress(pendingValue_);
    bar_->setVisible(visible);
    // Shown before the job's first long step (the query), not after it.
    if (visible)
        bar_->repaint();
}

void JobScreen::setProgress(int value) {
    // A stage's first and last value always show; values between wait for
    // the next screen update.
    if (value == bar_->minimum() || value == bar_->maximum()) {
        showProgress(value);
        return;
    }
    pendingValue_ = value;
}

void JobScreen::setPhaseVisible(bool visible) {
    label_->setVisible(visible);
    if (visible)
        label_->repaint();
}

void JobScreen::setPhase(const std::string& text) {
    // The job names its phase on every record; only a new text costs a paint.
    if (text == phase_)
        return;
    phase_ = text;
    label_->setText(QString::fromStdString(text));
    label_->repaint();
}

void JobScreen::pumpEvents() {
    if (!due())
        return;
    if (pendingValue_ >= 0)
        showProgress(pendingValue_);
    // Pending expose and update requests are painted here, as is the bar's new value.
    QCoreApplication::processEvents();
    ++screenUpdates_;
    lastUpdate_.start();
}

bool JobScreen::due() const {
    return !lastUpdate_.isValid() || lastUpdate_.hasExpired(kScreenIntervalMs);
}

void JobScreen::showProgress(int value) {
    pendingValue_ = -1;
    bar_->setValue(value);
}
