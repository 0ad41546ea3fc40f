#pragma once
// The window of a long job (export, import) for tests and benchmarks, with
// nothing on screen: it records what the job showed (the busy state and its
// changes, the progress bar and its updates, the phase label and the distinct
// phases in order, the event pumps; for the import the error list; for the
// export the focus moves) and puts the message boxes into a recording sink of
// its own, `recorded`, or into the sink it is given. Every text shown passes
// shown::Note.
//
//   RecordingJobView<JobView>, RecordingJobView<ExportView>, RecordingJobView<ImportView>
//
// A test that needs more (answers, a failure at some call, a hook) derives
// from it and calls the overridden function first. QuietJobView keeps only
// the latest state and the counters, so that the recording neither allocates
// nor notes texts while a benchmark runs.

#include <concepts>
#include <string>
#include <vector>

#include "JobView.h"
#include "MessageSink.h"
#include "RecordingMessages.h"
#include "ShownTexts.h"

// Declared only, so that the support library does not depend on the jobs: a
// test that names either view includes its header.
class ExportView;
class ImportView;

namespace recording {

// The part every job's window has.
template <class Base, class Sink>
class JobPart : public Base {
    static_assert(std::derived_from<Base, JobView>);
    static_assert(std::derived_from<Sink, RecordingMessages>);

  public:
    JobPart() : sink_(&recorded) {}
    // The boxes go to `given`, which outlives the view; `recorded` stays empty.
    explicit JobPart(MessageSink& given) : sink_(&given) {}
    // A copy would show its boxes in the original's sink.
    JobPart(const JobPart&) = delete;
    JobPart& operator=(const JobPart&) = delete;

    MessageSink& messages() override { return *sink_; }
    void setBusy(bool b) override {
        busy = b;
        if (keepHistory)
            busyChanges.push_back(b);
    }
    void setProgressVisible(bool v) override { progressVisible = v; }
    void setProgress(int value) override {
        if (value < 0 || value > 10000)
            progressOutOfRange = true;
        progress = value;
        ++progressUpdates;
    }
    void setPhaseVisible(bool v) override { phaseVisible = v; }
    void setPhase(const std::string& text) override {
        if (!keepHistory)
            return;
        shown::Note(text);
        phase = text;
        if (!text.empty() && (phases.empty() || phases.back() != text))
            phases.push_back(text);
    }
    void pumpEvents() override { ++pumps; }

    // The texts of the boxes shown in `recorded`.
    std::vector<std::string> texts() const { return recorded.texts(); }

    Sink recorded;
    // false: the latest state and the counters only (no texts, no histories).
    bool keepHistory = true;

    bool busy = false;
    std::vector<bool> busyChanges;
    bool progressVisible = false;
    int progress = 0;
    long progressUpdates = 0;
    bool progressOutOfRange = false;  // some value outside 0..10000 was set
    bool phaseVisible = false;
    std::string phase;
    std::vector<std::string> phases;  // distinct non-empty phase texts in order
    long pumps = 0;

  private:
    MessageSink* sink_;
};

}  // namespace recording

template <class Base, class Sink = RecordingMessages>
class RecordingJobView : public recording::JobPart<Base, Sink> {
  public:
    using recording::JobPart<Base, Sink>::JobPart;
};

template <class Base, class Sink>
requires std::derived_from<Base, ExportView>
class RecordingJobView<Base, Sink> : public recording::JobPart<Base, Sink> {
  public:
    using recording::JobPart<Base, Sink>::JobPart;
    void focusAtJobStart() override { ++focusCalls; }
    int focusCalls = 0;
};

template <class Base, class Sink>
requires std::derived_from<Base, ImportView>
class RecordingJobView<Base, Sink> : public recording::JobPart<Base, Sink> {
  public:
    using recording::JobPart<Base, Sink>::JobPart;
    void setErrorListVisible(bool visible) override { errorListVisible = visible; }
    void clearErrorList() override { errorLines.clear(); }
    void addErrorLine(const std::string& line) override {
        ++errorLinesAdded;
        if (!this->keepHistory)
            return;
        shown::Note(line);
        errorLines.push_back(line);
    }

    bool errorListVisible = false;
    std::vector<std::string> errorLines;  // the list as shown
    long errorLinesAdded = 0;             // cleared or not
};

template <class Base, class Sink = RecordingMessages>
class QuietJobView : public RecordingJobView<Base, Sink> {
  public:
    QuietJobView() { this->keepHistory = false; }
    explicit QuietJobView(MessageSink& given) : RecordingJobView<Base, Sink>(given) {
        this->keepHistory = false;
    }
};
