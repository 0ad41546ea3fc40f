// The history view of the import window (F9): the past imports newest
// first, moved through with Enter and Shift+Enter, one undone with F4 and
// the confirmation, left with Esc or F9.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <memory>

#include "ImportHistoryView.h"
#include "RecordingMessages.h"
#include "TaviCommand.h"
#include "TaviText.h"
#include "common/widgets/WindowTestSupport.h"
#include "frmVelkanDataImport.h"
#include "import/ImportTestSupport.h"

namespace {

const char* const kUndoConfirm = "選択した取込を元に戻してもよろしいですか";

// One contract line revised from 12000 to 13200.
std::string PrepareHistoryRun(TestInstallation& installation, const std::string& database) {
    using namespace importtest;
    {
        Database db(database, false);
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddBillingLine(db, 12345, 3, 2, 1000);
    }
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, 1100.0));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}}));
    const std::string book = installation.path("fee.xls");
    WriteWorkbook(book, {contract, billing});
    return book;
}

std::string AnnualAmount(const std::string& database) {
    Database db(database, true);
    Statement st = db.prepare("SELECT 年間金額 FROM 浄化槽契約内訳マスタ WHERE ＩＤ = 1");
    return st.step() ? FieldText(st.column(0)) : "";
}

}  // namespace

TEST(ImportHistoryWindow, F9ListsThePastImportsAndF4UndoesTheChosenOne) {
    TestInstallation installation;
    RecordingMessages messages;
    const std::string database = installation.addDatabase("本社", {});
    const std::string book = PrepareHistoryRun(installation, database);
    auto window = std::make_unique<frmVelkanDataImport>(messages);
    ASSERT_TRUE(window->Startup());
    ASSERT_TRUE(ShowActive(*window));
    EXPECT_EQ(window->TaviCommand1()->button(8)->text(), "履歴");
    auto focused = [] { return QApplication::focusWidget(); };

    // Two imports: the first changes the amount, the second nothing.
    for (int run = 0; run < 2; ++run) {
        ClickFocus(window->txtPath());
        window->txtPath()->setText(QString::fromStdString(book));
        QTest::keyClick(focused(), Qt::Key_F4);
    }
    ASSERT_EQ(AnnualAmount(database), "13200");
    messages.clear();

    QTest::keyClick(focused(), Qt::Key_F9);
    ImportHistoryView* history = window->HistoryView();
    ASSERT_TRUE(history->isVisible());
    EXPECT_FALSE(window->FrameData1()->isVisible());
    EXPECT_FALSE(window->FrameData3()->isVisible());
    QListWidget* list = history->list();
    EXPECT_EQ(focused(), list);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(history->SelectedEntry(), 2) << "newest first";
    EXPECT_TRUE(list->item(1)->text().contains("fee.xls")) << list->item(1)->text().toStdString();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(history->SelectedEntry(), 1);
    QTest::keyClick(list, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(history->SelectedEntry(), 2);
    QTest::keyClick(list, Qt::Key_Return);

    // No at the confirmation changes nothing.
    messages.answerNext(MsgAnswer::No);
    QTest::keyClick(focused(), Qt::Key_F4);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{kUndoConfirm});
    EXPECT_EQ(AnnualAmount(database), "13200");

    messages.clear();
    QTest::keyClick(focused(), Qt::Key_F4);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, kUndoConfirm);
    EXPECT_EQ(messages.shown[1].text.rfind("取込を元に戻しました", 0), 0u);
    EXPECT_EQ(AnnualAmount(database), "12000");
    ASSERT_TRUE(history->isVisible());
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(history->SelectedEntry(), 1) << "the undone entry stays chosen";
    EXPECT_TRUE(list->currentItem()->text().contains("取消済み"));
    EXPECT_EQ(LayoutProblems(*window), std::vector<std::string>{});
    const QString file = SaveScreenshot(*window, "import-history.png",
                                        QString::fromStdString(installation.path("shots")));
    EXPECT_FALSE(QImage(file).isNull());

    messages.clear();
    QTest::keyClick(focused(), Qt::Key_F4);
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{kUndoConfirm, "選択した取込はすでに元に戻されています"}));

    // Esc goes back without asking to end; F9 in and out again.
    messages.clear();
    QTest::keyClick(focused(), Qt::Key_Escape);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(history->isVisible());
    EXPECT_TRUE(window->FrameData1()->isVisible());
    QTest::mouseClick(window->TaviCommand1()->button(8), Qt::LeftButton);
    EXPECT_TRUE(history->isVisible());
    QTest::keyClick(focused(), Qt::Key_F9);
    EXPECT_FALSE(history->isVisible());
    EXPECT_FALSE(window->isUnloaded());
}
