#pragma once
// Test double of MessageSink: records every box and answers from a queue
// (Yes / Ok by default; Cancel for a retry prompt so that no test loops).

#include <deque>
#include <string>
#include <vector>

#include "MessageSink.h"
#include "ShownTexts.h"

class RecordingMessages : public MessageSink {
  public:
    struct Shown {
        std::string text;
        std::string title;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer answer;
    };

    MsgAnswer show(const std::string& text, const std::string& title, MsgIcon icon,
                   MsgButtons buttons) override {
        MsgAnswer answer = defaultAnswer(buttons);
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        shown::Note(text);
        shown::Note(title);
        shown.push_back({text, title, icon, buttons, answer});
        return answer;
    }

    // Queue the answer to the next box.
    void answerNext(MsgAnswer answer) { answers_.push_back(answer); }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : shown)
            out.push_back(s.text);
        return out;
    }
    void clear() {
        shown.clear();
        answers_.clear();
    }

    std::vector<Shown> shown;

  private:
    static MsgAnswer defaultAnswer(MsgButtons buttons) {
        switch (buttons) {
            case MsgButtons::YesNo:
            case MsgButtons::YesNoCancel:
                return MsgAnswer::Yes;
            case MsgButtons::RetryCancel:
                return MsgAnswer::Cancel;  // never loop on a retry prompt in a test
            case MsgButtons::Ok:
                break;
        }
        return MsgAnswer::Ok;
    }
    std::deque<MsgAnswer> answers_;
};
