#pragma once
// The past imports of the chosen database inside the import window (F9):
// one line per journal entry, newest first. Enter and Shift+Enter move
// between the lines like between the window's inputs.

#include <QGroupBox>
#include <QListWidget>
#include <cstdint>
#include <vector>

class Database;
class MessageSink;

class ImportHistoryList : public QListWidget {
    Q_OBJECT
  public:
    using QListWidget::QListWidget;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class ImportHistoryView : public QGroupBox {
    Q_OBJECT
  public:
    explicit ImportHistoryView(QWidget* parent = nullptr);

    // Reads the journal of `db` again; false (with a message) when it cannot
    // be read. The line of `keep` stays selected when it is still there.
    bool Load(Database* db, MessageSink& messages, std::int64_t keep = 0);
    // The entry of the selected line, 0 when none.
    std::int64_t SelectedEntry() const;
    ImportHistoryList* list() const { return list_; }

  private:
    ImportHistoryList* list_ = nullptr;
    std::vector<std::int64_t> numbers_;  // entry of each line
};
