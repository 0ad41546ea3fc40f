#pragma once
// The window side of a long job. The job reports every record (progress,
// phase text, a chance to run events); the screen cannot follow that pace:
// a synchronous repaint per record made a 65,533-row export take minutes
// instead of a second. So what reaches the screen is decided by elapsed
// time: the bar and pending events are brought up to date at most once per
// kScreenIntervalMs, while a new phase text, the start and end of a stage
// (0 and 10000) and every visibility change show at once. Keys, clicks and
// closing stay refused while the job runs; they simply wait for the next
// update, which is never more than one interval away.

#include <QElapsedTimer>
#include <QPointer>
#include <string>
#include <vector>

#include "JobView.h"
#include "WindowConventions.h"

class QLabel;
class QProgressBar;

class JobScreen {
  public:
    // About 25 updates a second: the bar moves smoothly and the window
    // answers expose events, at a cost the job does not feel.
    static constexpr qint64 kScreenIntervalMs = 40;

    // `lockedFrames` are disabled and `commandBar` is hidden while a job runs.
    JobScreen(WindowConventions& window, QProgressBar* bar, QLabel* phaseLabel,
              std::vector<QWidget*> lockedFrames, QWidget* commandBar);

    void setBusy(bool busy);
    void setProgressVisible(bool visible);
    void setProgress(int value);
    void setPhaseVisible(bool visible);
    void setPhase(const std::string& text);
    void pumpEvents();

    bool busy() const { return busy_; }
    // Times the screen was brought up to date by pumpEvents.
    long screenUpdates() const { return screenUpdates_; }

  private:
    bool due() const;
    void showProgress(int value);

    WindowConventions& window_;
    QProgressBar* bar_;
    QLabel* label_;
    std::vector<QWidget*> lockedFrames_;
    QWidget* commandBar_;

    bool busy_ = false;
    QPointer<QWidget> focusBefore_;
    QElapsedTimer lastUpdate_;  // invalid until the first update: the first pump shows at once
    int pendingValue_ = -1;     // a value the bar has not been given yet
    std::string phase_;         // the text the label shows
    long screenUpdates_ = 0;
};

// A job view of a window: the JobView calls go to its JobScreen; the window's
// own view adds what its job needs besides (focus, error list).
template <class View>
class WindowJobView : public View {
  public:
    WindowJobView(WindowConventions& window, QProgressBar* bar, QLabel* phaseLabel,
                  std::vector<QWidget*> lockedFrames, QWidget* commandBar)
        : window_(window), screen_(window, bar, phaseLabel, std::move(lockedFrames), commandBar) {}

    MessageSink& messages() override { return window_.messages(); }
    void setBusy(bool busy) override { screen_.setBusy(busy); }
    void setProgressVisible(bool visible) override { screen_.setProgressVisible(visible); }
    void setProgress(int value) override { screen_.setProgress(value); }
    void setPhaseVisible(bool visible) override { screen_.setPhaseVisible(visible); }
    void setPhase(const std::string& text) override { screen_.setPhase(text); }
    void pumpEvents() override { screen_.pumpEvents(); }

    bool busy() const { return screen_.busy(); }
    const JobScreen& screen() const { return screen_; }

  private:
    WindowConventions& window_;
    JobScreen screen_;
};
