#pragma once
// How logic shows message boxes without depending on a display. The windows
// implement it with QMessageBox; tests use RecordingMessages.

#include <string>

enum class MsgIcon { None, Question, Exclamation, Information };
enum class MsgButtons { Ok, YesNo, RetryCancel, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Retry, Cancel };

// Title of every message box of both tools (ideographic space between the words).
inline constexpr const char* kMessageTitle = "ソルベナ　浄化槽システム";

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // An empty title means the program's default title (the program name).
    virtual MsgAnswer show(const std::string& text, const std::string& title, MsgIcon icon,
                           MsgButtons buttons) = 0;

    // The usual boxes of the tools, all with the system title.
    MsgAnswer warn(const std::string& text) {
        return show(text, kMessageTitle, MsgIcon::Exclamation, MsgButtons::Ok);
    }
    MsgAnswer inform(const std::string& text) {
        return show(text, kMessageTitle, MsgIcon::Information, MsgButtons::Ok);
    }
    bool confirm(const std::string& text) {
        return show(text, kMessageTitle, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
    }
    // A question with a third way out: Yes, No or Cancel (Esc).
    MsgAnswer ask(const std::string& text) {
        return show(text, kMessageTitle, MsgIcon::Question, MsgButtons::YesNoCancel);
    }
};
