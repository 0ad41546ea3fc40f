#pragma once
// What the import needs from its window beyond a long job's progress: the
// list of rejected rows under the summary.

#include <string>

#include "JobView.h"

class ImportView : public JobView {
  public:
    // setBusy(true) locks the window (disabled, bar hidden, FrameData1/2 disabled).
    virtual void setErrorListVisible(bool visible) = 0;  // FrameData3
    virtual void clearErrorList() = 0;                   // List1
    virtual void addErrorLine(const std::string& line) = 0;
};
