#pragma once
// What a long job (export, import) needs from its window: messages, the
// progress bar (0..10000), the phase label and event pumping. The windows
// implement it with widgets.

#include <string>

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
