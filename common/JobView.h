#pragma once
// What a long job (export, import) needs from its window: messages, the
// progress bar (0..10000), the phase label and event pumping. The windows
// implement it with widgets; tests and benchmarks use HeadlessJobView.

#include <string>
#include <vector>

#include "MessageSink.h"

class JobView {
  public:
    virtual ~JobView() = default;
    virtual MessageSink& messages() = 0;
    // true: disable the input frames, hide the function-key bar, hourglass pointer.
    virtual void setBusy(bool busy) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgress(int value) = 0;  // 0..10000
    virtual void setPhaseVisible(bool visible) = 0;
    virtual void setPhase(const std::string& text) = 0;  // shown at once (label repainted)
    // Let pending window events run and repaint the window.
    virtual void pumpEvents() = 0;
};

class HeadlessJobView : public JobView {
  public:
    explicit HeadlessJobView(MessageSink& messages) : messages_(messages) {}
    MessageSink& messages() override { return messages_; }
    void setBusy(bool b) override { busy = b; }
    void setProgressVisible(bool v) override { progressVisible = v; }
    void setProgress(int value) override {
        progress = value;
        ++progressUpdates;
    }
    void setPhaseVisible(bool v) override { phaseVisible = v; }
    void setPhase(const std::string& text) override {
        phase = text;
        if (!text.empty() && (phases.empty() || phases.back() != text))
            phases.push_back(text);
    }
    void pumpEvents() override { ++pumps; }

    bool busy = false;
    bool progressVisible = false;
    bool phaseVisible = false;
    int progress = 0;
    long progressUpdates = 0;
    long pumps = 0;
    std::string phase;
    std::vector<std::string> phases;  // distinct non-empty phase texts in order

  private:
    MessageSink& messages_;
};
