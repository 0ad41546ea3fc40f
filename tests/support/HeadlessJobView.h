#pragma once
// JobView without a window for tests and benchmarks: it records what the job
// showed (busy state, progress, phases) and counts progress updates and
// event pumps.

#include <string>
#include <vector>

#include "JobView.h"
#include "MessageSink.h"
#include "ShownTexts.h"

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
        shown::Note(text);
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
