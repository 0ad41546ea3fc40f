#pragma once
// What both windows share: start-up and unload, the key handler that sees
// every key first (F1/Esc end, F4 runs the window's job, everything else goes
// to the key navigator), Enter and Shift+Enter in the inputs, and the
// database combo that re-reads the control master when it is left.

#include <QComboBox>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ControlMaster.h"
#include "KeyNavigator.h"
#include "MessageSink.h"
#include "Startup.h"
#include "gMjMDB.h"

class QLabel;
class TaviCommand;
class TaviDate;
class TaviText;

class WindowConventions : public QWidget, public ControlMasterWindow {
    Q_OBJECT
  public:
    WindowConventions(MessageSink& messages, std::string programName, const QString& caption,
                      ControlMasterVariant variant, QWidget* parent = nullptr);
    ~WindowConventions() override;

    // The window's load: registry entries, single instance, Combo1, the
    // window's clear, the control master, the navigator. False when the window
    // has unloaded (its messages have been shown).
    bool Startup();
    // Releases the navigator and what the window holds, closes the database
    // and closes the window.
    void Unload();
    bool isUnloaded() const { return unloaded_; }

    // The window key handler; the function-key bar calls it with F(n+1).
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void ResetComboSelection();

    MessageSink& messages() { return messages_; }
    gMjMDB& mdb() { return mdb_; }
    KeyNavigator& navigator() { return navigator_; }
    QComboBox* Combo1() const { return combo1_; }
    const std::vector<DatabaseEntry>& entries() const { return entries_; }
    const ControlMasterSettings& settings() const { return settings_; }
    bool EnterPressed() const { return enterPressed_; }
    bool jobRunning() const { return jobRunning_; }
    // How often the control master has been read (start-up included).
    int controlMasterReads() const { return controlMasterReads_; }

    // ControlMasterWindow: every date input of the window; the database path box.
    void setCalendarMode(int mode) override;
    void showDatabasePath(const std::string& path) override;

    // Links a caption label to its input: the label's mnemonic buddy and the
    // input's accessible name.
    static void BindCaption(QLabel* label, QWidget* input);

  signals:
    void unloaded();

  protected:
    virtual void ClearWindow() = 0;
    // F4.
    virtual void MainAction() = 0;
    // A function key besides F1, Esc and F4 that this window acts on (the
    // import window's F3): it is handled like F4, from the key or the bar.
    void addKeyAction(int key, std::function<void()> action);
    // Esc, before it asks to end the program: true when the window used the
    // key itself (the import window leaves its history view).
    virtual bool EscapeAction() { return false; }
    // Unload: what the window holds besides the navigator and the database.
    virtual void ReleaseWindowObjects() {}
    // A text input with Enter handlers lost the focus (before EnterPressed is reset).
    virtual void TextFocusLost(TaviText*) {}

    // While a job runs the window acts on no key and no focus change.
    friend class JobScreen;
    void setJobRunning(bool running) { jobRunning_ = running; }

    // Inputs that follow the conventions.
    void setCombo1(QComboBox* combo);
    void setDatabasePathText(TaviText* text) { databasePath_ = text; }
    void addEnterText(TaviText* text);
    void addEnterDate(TaviDate* date);
    void setCommandBar(TaviCommand* bar);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool ReadSettings();
    bool handleKeyPress(QWidget* target, int key, Qt::KeyboardModifiers modifiers,
                        const QString& text);
    void handleFocusIn(QWidget* target);
    void handleFocusOut(QWidget* target);
    void notifyNavigator();

    MessageSink& messages_;
    std::string programName_;
    QString caption_;
    ControlMasterVariant variant_;
    gMjMDB mdb_;
    KeyNavigator navigator_;
    std::unique_ptr<InstanceLock> lock_;
    std::vector<DatabaseEntry> entries_;
    ControlMasterSettings settings_;

    QComboBox* combo1_ = nullptr;
    TaviText* databasePath_ = nullptr;
    std::vector<TaviText*> enterTexts_;
    std::vector<TaviDate*> enterDates_;
    std::map<int, std::function<void()>> keyActions_;

    bool started_ = false;
    bool unloaded_ = false;
    bool enterPressed_ = false;
    bool jobRunning_ = false;
    int controlMasterReads_ = 0;
};
