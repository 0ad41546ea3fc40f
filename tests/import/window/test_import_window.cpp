// The import window on the offscreen platform: start-up, keys, the path
// check through the driver, the browse dialog and a whole run on a workbook
// written by the export window.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "RecordingMessages.h"
#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "common/widgets/WindowTestSupport.h"
#include "frmVelkanDataImport.h"
#include "import/CheckTestSupport.h"
#include "import/ImportTestSupport.h"

namespace {

class ImportWindowTest : public ::testing::Test {
  protected:
    bool Start() {
        window = std::make_unique<frmVelkanDataImport>(messages);
        if (!window->Startup())
            return false;
        return ShowActive(*window);
    }
    QWidget* Focused() const { return QApplication::focusWidget(); }
    void PressF4InPath(const QString& path) {
        ClickFocus(window->txtPath());
        window->txtPath()->setText(path);
        QTest::keyClick(Focused(), Qt::Key_F4);
    }

    TestInstallation installation;
    RecordingMessages messages;
    std::unique_ptr<frmVelkanDataImport> window;
};

}  // namespace

TEST_F(ImportWindowTest, StartsIdleWithTheErrorListHidden) {
    const std::string db = installation.addDatabase("本社", {2, 0, 0});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->windowTitle(), "消費税対応処理(データ取込)");
    EXPECT_EQ(window->Combo1()->itemText(0), "データベース１：本社");
    EXPECT_EQ(window->TaviText1()->text().toStdString(), db);
    EXPECT_TRUE(window->txtPath()->text().isEmpty());
    EXPECT_TRUE(window->BrowseInitialFolder().isEmpty());
    EXPECT_FALSE(window->FrameData3()->isVisible());
    EXPECT_FALSE(window->ProgressBar1()->isVisible());
    EXPECT_EQ(window->ProgressBar1()->maximum(), 10000);
    EXPECT_TRUE(window->TaviCommand1()->isVisible());
    EXPECT_EQ(window->TaviDate1()->calendarMode(), 2);
    EXPECT_EQ(window->TaviDate2()->calendarMode(), 2);

    const char* captions[][2] = {
        {"Label1", "シート名"}, {"Label2", "セル"}, {"Label3", "得意先"}, {"Label4", "エラー内容"}};
    for (const auto& c : captions) {
        auto* label = window->findChild<QLabel*>(c[0]);
        ASSERT_NE(label, nullptr) << c[0];
        EXPECT_EQ(label->text(), c[1]);
        EXPECT_EQ(label->font().families().value(0), "ＭＳ ゴシック");
    }
    EXPECT_EQ(window->txtPath()->accessibleName(), "取込先Excel");
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window) << "announced as a window, not a filler";
    EXPECT_EQ(frame->text(QAccessible::Name), "消費税対応処理(データ取込)");
    EXPECT_EQ(window->Combo1()->accessibleName(), "データベース選択");
    EXPECT_EQ(window->Command1()->text(), "参照");
}

TEST_F(ImportWindowTest, F4ChecksThePathThroughTheDriver) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    PressF4InPath("   ");
    ASSERT_EQ(messages.texts(), std::vector<std::string>{"Excel取込先を指定してください"});
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Exclamation);
    messages.clear();
    PressF4InPath(QString::fromStdString(installation.path("nothing.xls")));
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"指定されたExcelファイルが見つかりません"});
    EXPECT_FALSE(window->jobRunning());
    EXPECT_TRUE(window->FrameData1()->isEnabled());
}

TEST_F(ImportWindowTest, ExitKeysAndTheFunctionKeyBar) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    messages.answerNext(MsgAnswer::No);
    QTest::keyClick(Focused(), Qt::Key_F1);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了してもよろしいですか"});
    EXPECT_FALSE(window->isUnloaded());
    QTest::mouseClick(window->TaviCommand1()->button(1), Qt::LeftButton);
    EXPECT_EQ(messages.shown.size(), 1u) << "F2 is only a key notification";
    QTest::mouseClick(window->TaviCommand1()->button(3), Qt::LeftButton);  // "実行" = F4
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "Excel取込先を指定してください");
    messages.answerNext(MsgAnswer::Yes);
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_EQ(window->mdb().gDbObject(), nullptr);
}

TEST_F(ImportWindowTest, DatabaseComboRereadsOnEnterAndOnLeaving) {
    installation.addDatabase("本社", {});
    const std::string second = installation.addDatabase("支店", {1, 0, 0});
    ASSERT_TRUE(Start());
    ClickFocus(window->Combo1());
    window->Combo1()->setCurrentIndex(1);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->controlMasterReads(), 2);
    EXPECT_EQ(Focused(), window->txtPath()) << "Next from the combo";
    EXPECT_EQ(window->TaviText1()->text().toStdString(), second);
    EXPECT_EQ(window->TaviDate2()->calendarMode(), 1);
    ClickFocus(window->Combo1());
    QTest::keyClick(Focused(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(window->controlMasterReads(), 3) << "Shift+Enter: read by the focus loss";
    EXPECT_EQ(Focused(), window->txtPath());
    // Enter in the path box types nothing.
    QTest::keyClicks(Focused(), "ab");
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->txtPath()->text(), "ab");
}

TEST_F(ImportWindowTest, BrowseOpensInTheDefaultFolderAndKeepsThePathOnCancel) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    QString title, folder, file, answer;
    window->setFileChooser([&](QWidget*, const QString& t, const QString& f, const QString& n) {
        title = t;
        folder = f;
        file = n;
        return answer;
    });
    window->txtPath()->setText("/tmp/before.xls");
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_EQ(title, "Excel取込先");
    EXPECT_TRUE(folder.isEmpty());
    EXPECT_TRUE(file.isEmpty());
    EXPECT_EQ(window->txtPath()->text(), "/tmp/before.xls");
    answer = "/tmp/取込.xls";
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_EQ(window->txtPath()->text(), "/tmp/取込.xls");
}

namespace {

// A customer with two contract lines and one billing line, and a workbook in
// which one contract line is revised and one is rejected.
std::string PrepareRun(TestInstallation& installation, const std::string& database) {
    using namespace importtest;
    {
        Database db(database, false);
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
        AddBillingLine(db, 12345, 3, 2, 1000);
    }
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, 1100.0));
    contract.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", std::string("abc"), {}, {}));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}}));
    const std::string book = installation.path("fee.xls");
    WriteWorkbook(book, {contract, billing});
    return book;
}

}  // namespace

TEST_F(ImportWindowTest, RunShowsTheSummaryAndTheRejectedRows) {
    const std::string database = installation.addDatabase("本社", {});
    const std::string book = PrepareRun(installation, database);
    ASSERT_TRUE(Start());
    PressF4InPath(QString::fromStdString(book));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "浄化槽金額データの取込を開始してもよろしいですか ");
    EXPECT_EQ(messages.shown[1].text.rfind("浄化槽金額データの取込が完了しました\r\n"
                                           "取込できなかったデータを確認してください\r\n",
                                           0),
              0u)
        << messages.shown[1].text;
    EXPECT_EQ(messages.shown[1].icon, MsgIcon::Exclamation);
    EXPECT_EQ(window->job().ImportOkCount(0), 1);
    EXPECT_EQ(window->job().ImportNgCount(0), 1);

    // Idle again, with the error list on screen.
    EXPECT_TRUE(window->FrameData3()->isVisible());
    ASSERT_EQ(window->List1()->count(), 1);
    EXPECT_TRUE(window->List1()->item(0)->text().startsWith("【契約内訳】(Q4     )0000012345："))
        << window->List1()->item(0)->text().toStdString();
    EXPECT_FALSE(window->jobRunning());
    EXPECT_TRUE(window->TaviCommand1()->isVisible());
    EXPECT_TRUE(window->FrameData1()->isEnabled());
    EXPECT_TRUE(window->FrameData2()->isEnabled());
    EXPECT_FALSE(window->ProgressBar1()->isVisible());
    EXPECT_FALSE(window->LabelPBar()->isVisible());
    EXPECT_EQ(window->txtPath()->text().toStdString(), book) << "the path stays";

    // A rerun with the answer No changes nothing on screen.
    messages.clear();
    messages.answerNext(MsgAnswer::No);
    QTest::keyClick(Focused(), Qt::Key_F4);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(window->List1()->count(), 1);
}

TEST_F(ImportWindowTest, LayoutIsTidyAndTheScreenshotIsWritten) {
    const std::string database = installation.addDatabase("本社", {});
    const std::string book = PrepareRun(installation, database);
    ASSERT_TRUE(Start());
    PressF4InPath(QString::fromStdString(book));
    ASSERT_TRUE(window->FrameData3()->isVisible());
    EXPECT_EQ(LayoutProblems(*window), std::vector<std::string>{});
    const QString file = SaveScreenshot(*window, "import-window.png",
                                        QString::fromStdString(installation.path("shots")));
    ASSERT_FALSE(file.isEmpty());
    EXPECT_FALSE(QImage(file).isNull());
}

TEST_F(ImportWindowTest, KeysAndClosingWaitWhileTheImportRuns) {
    const std::string database = installation.addDatabase("本社", {});
    const std::string book = PrepareRun(installation, database);
    ASSERT_TRUE(Start());
    ClickFocus(window->txtPath());
    window->txtPath()->setText(QString::fromStdString(book));
    // Delivered while the driver lets pending events run.
    QCoreApplication::postEvent(window->txtPath(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier));
    QCoreApplication::postEvent(window->txtPath(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier));
    QCoreApplication::postEvent(window.get(), new QCloseEvent);
    QTest::keyClick(Focused(), Qt::Key_F4);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "浄化槽金額データの取込を開始してもよろしいですか ");
    EXPECT_FALSE(window->isUnloaded());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Focused(), window->txtPath()) << "the focus comes back to the path";
}

TEST_F(ImportWindowTest, ThousandsOfRowsImportWithBoundedRepaints) {
    using namespace importtest;
    constexpr int kLines = 3000;
    const std::string database = installation.addDatabase("本社", {});
    SheetSpec contract = ContractSheet();
    SheetSpec billing = BillingSheet();
    {
        Database db(database, false);
        db.begin();
        for (int i = 1; i <= kLines; ++i) {
            AddCustomer(db, i);
            AddContractLine(db, i, 1, 10, 12000, 12, 1000);
            AddBillingLine(db, i, 2, 2, 1000);
            contract.rows.push_back(
                ContractRow(double(i), 1.0, 10.0, "清掃", 13200.0, 12.0, 1100.0));
            billing.rows.push_back(BillingRow(double(i), 2.0, 2.0, "浄化槽清掃", {{4, 1100.0}}));
        }
        db.commit();
    }
    const std::string book = installation.path("fee.xls");
    WriteWorkbook(book, {contract, billing});
    ASSERT_TRUE(Start());

    PaintCounter counter(window.get());
    QElapsedTimer clock;
    clock.start();
    PressF4InPath(QString::fromStdString(book));
    const qint64 jobMs = clock.elapsed();
    ASSERT_EQ(window->job().ImportOkCount(0), kLines);
    ASSERT_EQ(window->job().ImportOkCount(1), kLines);
    // A repaint per row would be thousands; the screen follows at most every few dozen
    // milliseconds, besides a few paints where a stage starts or ends.
    EXPECT_LE(counter.of(window.get()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_LE(counter.of(window->ProgressBar1()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_LE(counter.of(window->LabelPBar()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_FALSE(window->ProgressBar1()->isVisible());
}

TEST_F(ImportWindowTest, F3ChecksWithoutWritingAndListsTheFindings) {
    const std::string database = installation.addDatabase("本社", {});
    const std::string book = PrepareRun(installation, database);
    {
        // The billing line's April amount, which the workbook revises, changed after the export.
        Database db(database, false);
        db.execute("UPDATE 浄化槽請求テーブル SET 請求金額４ = 1200");
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->TaviCommand1()->button(2)->text(), "確認");
    EXPECT_EQ(window->TaviCommand1()->button(2)->accessibleName(), "確認");
    for (int other : {1, 9})
        EXPECT_TRUE(window->TaviCommand1()->button(other)->text().isEmpty()) << other;
    const std::string before = checktest::FileBytes(database);

    messages.answerNext(MsgAnswer::Yes);
    messages.answerNext(MsgAnswer::Ok);
    messages.answerNext(MsgAnswer::No);  // no marked copy
    ClickFocus(window->txtPath());
    window->txtPath()->setText(QString::fromStdString(book));
    QTest::keyClick(Focused(), Qt::Key_F3);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "浄化槽金額データの確認を開始してもよろしいですか ");
    EXPECT_EQ(messages.shown[1].text.rfind("浄化槽金額データの確認が完了しました\r\n", 0), 0u);
    EXPECT_EQ(messages.shown[2].text, "確認結果を印を付けたExcelに保存しますか");
    EXPECT_EQ(checktest::FileBytes(database), before);

    ASSERT_EQ(window->List1()->count(), 2);
    EXPECT_TRUE(window->List1()->item(0)->text().startsWith("【契約内訳】(Q4     )0000012345："));
    EXPECT_TRUE(window->List1()->item(1)->text().startsWith(
        "【請求情報】(Q3     )0000012345：出力後にマスタの金額が変更されています"))
        << window->List1()->item(1)->text().toStdString();
    EXPECT_TRUE(window->FrameData3()->isVisible());
    EXPECT_FALSE(window->jobRunning());
    EXPECT_TRUE(window->TaviCommand1()->isVisible());
    EXPECT_TRUE(window->FrameData1()->isEnabled());
    EXPECT_EQ(LayoutProblems(*window), std::vector<std::string>{});
    const QString file = SaveScreenshot(*window, "import-check.png",
                                        QString::fromStdString(installation.path("shots")));
    EXPECT_FALSE(QImage(file).isNull());

    // The bar's "確認" button is F3 too.
    messages.clear();
    messages.answerNext(MsgAnswer::No);
    QTest::mouseClick(window->TaviCommand1()->button(2), Qt::LeftButton);
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"浄化槽金額データの確認を開始してもよろしいですか "});
    EXPECT_EQ(window->List1()->count(), 2) << "No changes nothing on screen";
}
