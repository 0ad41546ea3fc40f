#include "ImportHistoryView.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "Database.h"
#include "MessageSink.h"
#include "PlatformError.h"
#include "UndoImport.h"

void ImportHistoryList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const int step = (event->modifiers() & Qt::ShiftModifier) != 0 ? -1 : 1;
        const int row = currentRow() + step;
        if (row >= 0 && row < count())
            setCurrentRow(row);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

ImportHistoryView::ImportHistoryView(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("FrameHistory"));
    auto* column = new QVBoxLayout(this);
    auto* caption =
        new QLabel(QStringLiteral("取込履歴（F4：選択した取込を元に戻す　Esc・F9：戻る）"), this);
    caption->setObjectName(QStringLiteral("LabelHistory"));
    column->addWidget(caption);
    list_ = new ImportHistoryList(this);
    list_->setObjectName(QStringLiteral("ListHistory"));
    list_->setAccessibleName(QStringLiteral("取込履歴"));
    list_->setUniformItemSizes(true);
    caption->setBuddy(list_);
    column->addWidget(list_, 1);
}

bool ImportHistoryView::Load(Database* db, MessageSink& messages, std::int64_t keep) {
    list_->clear();
    numbers_.clear();
    if (db == nullptr)
        return false;
    std::vector<JournalEntry> entries;
    try {
        entries = ReadJournal(*db);
    } catch (const PlatformError& e) {
        messages.warn(e.description());
        return false;
    }
    QStringList lines;
    int selected = 0;
    for (const JournalEntry& entry : entries) {
        if (entry.number == keep)
            selected = lines.size();
        lines.append(QString::fromStdString(JournalEntryLine(entry)));
        numbers_.push_back(entry.number);
    }
    list_->addItems(lines);
    if (!lines.isEmpty())
        list_->setCurrentRow(selected);
    return true;
}

std::int64_t ImportHistoryView::SelectedEntry() const {
    const int row = list_->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= numbers_.size())
        return 0;
    return numbers_[static_cast<std::size_t>(row)];
}
