// The export window on the offscreen platform: start-up, keys, the database
// combo, the output path, the department pairs and the F4 pre-check.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "DepartmentFilter.h"
#include "RecordingMessages.h"
#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "common/widgets/WindowTestSupport.h"
#include "frmVelkanDataExport.h"
#include "pMjList.h"

namespace {

class ExportWindowTest : public ::testing::Test {
  protected:
    // Starts the window on the installation; false when start-up unloaded it.
    bool Start() {
        window = std::make_unique<frmVelkanDataExport>(messages);
        if (!window->Startup())
            return false;
        return ShowActive(*window);
    }
    QWidget* Focused() const { return QApplication::focusWidget(); }
    std::vector<std::int32_t> Codes(int pair, int element) const {
        return pMjList::AllItemData(window->SelectList(pair, element));
    }

    TestInstallation installation;
    RecordingMessages messages;
    std::unique_ptr<frmVelkanDataExport> window;
};

const std::string kTitle = "ソルベナ　浄化槽システム";

}  // namespace

TEST_F(ExportWindowTest, StartsWithTheFirstDatabaseAndItsLists) {
    const std::string db = installation.addDatabase("本社", {});
    installation.addDatabase("支店", {});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->windowTitle(), "浄化槽金額データ出力");
    ASSERT_EQ(window->Combo1()->count(), 2);
    EXPECT_EQ(window->Combo1()->itemText(0), "データベース１：本社");
    EXPECT_EQ(window->Combo1()->itemData(1).toInt(), 1);
    EXPECT_EQ(window->Combo1()->currentIndex(), 0);
    EXPECT_EQ(window->TaviText1(1)->text().toStdString(), db);
    EXPECT_EQ(window->controlMasterReads(), 1);
    EXPECT_FALSE(window->ProgressBar1()->isVisible());
    EXPECT_FALSE(window->LabelPBar()->isVisible());
    EXPECT_EQ(window->ProgressBar1()->maximum(), 10000);
    EXPECT_EQ(window->font().families().value(0), "ＭＳ ゴシック");

    // The default output path: the desktop folder and a time-stamped name.
    const QString path = window->TaviText1(0)->text();
    EXPECT_TRUE(path.startsWith(window->OutputFolder() + "/")) << path.toStdString();
    EXPECT_EQ(window->OutputFolder().toStdString(), installation.path("")) << "no desktop: home";
    EXPECT_TRUE(QRegularExpression("/\\d{8}_\\d{6}_浄化槽金額データ\\.xls$").match(path).hasMatch())
        << path.toStdString();

    // Lists: everything on the exported side, sibling departments not set.
    EXPECT_EQ(Codes(1, 1), (std::vector<std::int32_t>{1, 2, 3, 12, 123}));
    EXPECT_EQ(Codes(2, 1), (std::vector<std::int32_t>{4, 5, 13}));
    EXPECT_EQ(Codes(3, 1), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 12, 13, 123}));
    EXPECT_EQ(window->SelectList(1, 0)->count(), 0);
    EXPECT_EQ(window->SelectList(1, 1)->item(0)->text(), "01:浄化槽");
    EXPECT_EQ(window->SelectList(1, 1)->item(4)->text(), "23:特別") << "two rightmost digits";
}

TEST_F(ExportWindowTest, SiblingDepartmentsAreLeftOutOfTheExportedPairs) {
    installation.addDatabase("本社", {1, 12, 13});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(window->settings().SiblingDeptsSet);
    EXPECT_EQ(Codes(1, 1), (std::vector<std::int32_t>{1, 2, 3, 123}));
    EXPECT_EQ(Codes(2, 1), (std::vector<std::int32_t>{4, 5}));
    EXPECT_EQ(Codes(3, 1), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 12, 13, 123}));
    // Calendar mode 1 reaches every date input.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(window->TaviDate1(i)->calendarMode(), 1) << i;
}

TEST_F(ExportWindowTest, StartupFailuresUnloadAfterTheirMessage) {
    {
        RecordingMessages none;
        frmVelkanDataExport w(none);
        EXPECT_FALSE(w.Startup());
        EXPECT_TRUE(w.isUnloaded());
        ASSERT_EQ(none.shown.size(), 1u);
        EXPECT_EQ(none.shown[0].text,
                  "浄化槽システムのデーターベースが見つかりません。\r\n"
                  "浄化槽システムがインストールされているパソコンで実行してください。");
    }
    TestDatabaseSettings noRow;
    noRow.controlRow = false;
    installation.addDatabase("本社", noRow);
    EXPECT_FALSE(Start());
    EXPECT_TRUE(window->isUnloaded());
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().text, "コントロールマスタの設定が正しくありません");
}

TEST_F(ExportWindowTest, ExitKeysAskAndUnloadOnlyOnYes) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    messages.answerNext(MsgAnswer::No);
    QTest::keyClick(Focused(), Qt::Key_Escape);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "終了してもよろしいですか");
    EXPECT_EQ(messages.shown[0].title, kTitle);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_FALSE(window->isUnloaded());

    // The captionless bar button 1 is F2: nothing but the key notification.
    QTest::mouseClick(window->TaviCommand1()->button(1), Qt::LeftButton);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(window->isUnloaded());

    // The bar's "終了" asks the same question.
    messages.answerNext(MsgAnswer::No);
    QTest::mouseClick(window->TaviCommand1()->button(0), Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "終了してもよろしいですか");
    EXPECT_FALSE(window->isUnloaded());

    messages.answerNext(MsgAnswer::Yes);
    QTest::keyClick(Focused(), Qt::Key_F1);
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->mdb().gDbObject(), nullptr) << "unload closes the database";
}

TEST_F(ExportWindowTest, EnterAndShiftEnterFollowTheInputs) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    window->Combo1()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(Focused(), window->TaviDate1(0));
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(Focused(), window->TaviText1(0));
    QTest::keyClick(Focused(), Qt::Key_Enter);  // the keypad key does the same
    EXPECT_EQ(Focused(), window->Combo1());
    QTest::keyClick(Focused(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), window->TaviText1(0));
    QTest::keyClick(Focused(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), window->TaviDate1(0));
    EXPECT_EQ(window->TaviDate1(0)->selectedText(), window->TaviDate1(0)->text());
    QTest::keyClick(Focused(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), window->Combo1());
    EXPECT_EQ(window->navigator().current(), window->navigator().TabIndexOf(window->Combo1()));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ExportWindowTest, EnterNeverTypesACharacter) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    ClickFocus(window->TaviText1(0));
    window->TaviText1(0)->clear();
    QTest::keyClicks(Focused(), "/tmp/a.xls");
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->TaviText1(0)->text(), "/tmp/a.xls");
    ClickFocus(window->TaviDate1(0));
    QTest::keyClicks(Focused(), "202403");
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->TaviDate1(0)->text(), "2024/03");
    EXPECT_EQ(window->TaviDate1(0)->value(), 202403);
}

TEST_F(ExportWindowTest, DatabaseComboRereadsOncePerLeaving) {
    installation.addDatabase("本社", {});
    const std::string second = installation.addDatabase("支店", {0, 0, 0}, {{7, "七", 1}});
    ASSERT_TRUE(Start());
    ASSERT_EQ(window->controlMasterReads(), 1);

    // Enter: read once, not again when the focus leaves.
    ClickFocus(window->Combo1());
    window->Combo1()->setCurrentIndex(1);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->controlMasterReads(), 2);
    EXPECT_EQ(Focused(), window->TaviDate1(0));
    EXPECT_FALSE(window->EnterPressed());
    EXPECT_EQ(window->TaviText1(1)->text().toStdString(), second);
    EXPECT_EQ(Codes(1, 1), (std::vector<std::int32_t>{7})) << "lists reloaded";

    // Leaving by a click: read once by the focus loss.
    ClickFocus(window->Combo1());
    window->Combo1()->setCurrentIndex(0);
    ClickFocus(window->TaviText1(0));
    EXPECT_EQ(window->controlMasterReads(), 3);
    EXPECT_EQ(Codes(1, 1).size(), 5u);

    // Shift+Enter moves back; the focus loss reads once.
    ClickFocus(window->Combo1());
    QTest::keyClick(Focused(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), window->TaviText1(0));
    EXPECT_EQ(window->controlMasterReads(), 4);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ExportWindowTest, EmptiedOutputPathFallsBackToTheUndatedName) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    ClickFocus(window->TaviText1(0));
    window->TaviText1(0)->setText("   ");
    ClickFocus(window->TaviDate1(0));
    EXPECT_EQ(window->TaviText1(0)->text(), window->OutputFolder() + "/浄化槽金額データ.xls");
    EXPECT_EQ(window->OutputFileName(), "浄化槽金額データ.xls");

    // A typed path stays as typed.
    ClickFocus(window->TaviText1(0));
    window->TaviText1(0)->setText(" /tmp/x.xls");
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(window->TaviText1(0)->text(), " /tmp/x.xls");
}

TEST_F(ExportWindowTest, F4WithoutAnOutputPathStopsAtThePreCheck) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    for (const char* path : {"", "  　"}) {
        messages.clear();
        ClickFocus(window->TaviText1(0));
        window->TaviText1(0)->setText(QString::fromUtf8(path));
        QTest::keyClick(Focused(), Qt::Key_F4);
        ASSERT_EQ(messages.shown.size(), 1u) << path;
        EXPECT_EQ(messages.shown[0].text, "データ出力先が設定されていません");
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(messages.shown[0].title, kTitle);
    }
}

TEST_F(ExportWindowTest, F4AsksAndRunsTheJobOnlyOnYes) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    ClickFocus(window->TaviDate1(0));
    window->TaviText1(0)->setText(QString::fromStdString(installation.path("out.xls")));
    messages.answerNext(MsgAnswer::No);
    QTest::keyClick(Focused(), Qt::Key_F4);
    ASSERT_EQ(messages.texts(),
              std::vector<std::string>{"Ecxelデータ出力を開始してよろしいですか"});
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Question);
    EXPECT_FALSE(window->ExpansionMode()) << "no 浄化槽請求展開テーブル in this database";

    messages.clear();
    QTest::mouseClick(window->TaviCommand1()->button(3), Qt::LeftButton);  // "実行"
    // A database without contract lines or billing: nothing to save, and the job succeeds.
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{"Ecxelデータ出力を開始してよろしいですか",
                                                          "該当するデータが存在しません",
                                                          "Ecxelデータ出力が完了しました"}));
    EXPECT_EQ(messages.shown.back().icon, MsgIcon::Information);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(installation.path("out.xls"))));
    // Idle again.
    EXPECT_TRUE(window->TaviCommand1()->isVisible());
    EXPECT_TRUE(window->FrameData(1)->isEnabled());
    EXPECT_FALSE(window->ProgressBar1()->isVisible());
    EXPECT_FALSE(window->jobRunning());
}

TEST_F(ExportWindowTest, MoveButtonsAndDoubleClickKeepOrder) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    QListWidget* exported = window->SelectList(1, 1);
    // Leaving the database combo reloads the lists, so the user is in a list first.
    ClickFocus(exported);
    exported->item(1)->setSelected(true);                            // 2
    exported->item(3)->setSelected(true);                            // 12
    QTest::mouseClick(window->SelectCommand(1, 2), Qt::LeftButton);  // "<"
    EXPECT_EQ(Codes(1, 0), (std::vector<std::int32_t>{2, 12}));
    EXPECT_EQ(Codes(1, 1), (std::vector<std::int32_t>{1, 3, 123}));

    QTest::mouseClick(window->SelectCommand(1, 1), Qt::LeftButton);  // ">>"
    EXPECT_EQ(Codes(1, 1), (std::vector<std::int32_t>{1, 3, 123, 2, 12}));
    EXPECT_EQ(window->SelectList(1, 0)->count(), 0);

    QTest::mouseClick(window->SelectCommand(2, 3), Qt::LeftButton);  // "<<"
    EXPECT_EQ(Codes(2, 0), (std::vector<std::int32_t>{4, 5, 13}));
    EXPECT_EQ(TargetDepartmentFilter(Codes(2, 1)), "AND (部門マスタ.部門コード = 99999)");

    // A double click moves the clicked item (with any other selected ones).
    QListWidget* excluded = window->SelectList(2, 0);
    excluded->clearSelection();
    const QRect rect = excluded->visualItemRect(excluded->item(1));
    QTest::mouseClick(excluded->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(excluded->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(Codes(2, 1), (std::vector<std::int32_t>{5}));
    EXPECT_EQ(TargetDepartmentFilter(Codes(2, 1)), " AND (部門マスタ.部門コード = 5) ");

    for (int pair = 1; pair <= 3; ++pair) {
        const char* captions[] = {">", ">>", "<", "<<"};
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(window->SelectCommand(pair, b)->text(), captions[b]);
    }
}

TEST_F(ExportWindowTest, BrowseKeepsThePathWhenCancelled) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    QString title, folder, file;
    QString answer;
    window->setFileChooser([&](QWidget*, const QString& t, const QString& f, const QString& n) {
        title = t;
        folder = f;
        file = n;
        return answer;
    });
    // The focus leaves the database combo before the path is noted: that
    // re-reads the settings and dates the default name anew, which a click
    // on the button one second later would otherwise do.
    ClickFocus(window->TaviText1(0));
    const QString before = window->TaviText1(0)->text();
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_EQ(title, "Excel出力先");
    EXPECT_EQ(folder, window->OutputFolder());
    EXPECT_EQ(file, before);
    EXPECT_EQ(window->TaviText1(0)->text(), before);
    answer = "/tmp/新しい.xls";
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_EQ(window->TaviText1(0)->text(), "/tmp/新しい.xls");
}

TEST_F(ExportWindowTest, EveryInputHasItsCaptionAsAccessibleName) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    // Screen readers announce the window as a window (AT-SPI "frame") named by its caption.
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    EXPECT_EQ(frame->text(QAccessible::Name), "浄化槽金額データ出力");
    EXPECT_EQ(window->Combo1()->accessibleName(), "データベース選択");
    EXPECT_EQ(window->TaviText1(1)->accessibleName(), "データベースPath");
    EXPECT_EQ(window->TaviText1(0)->accessibleName(), "出力先");
    EXPECT_EQ(window->TaviDate1(0)->accessibleName(), "契約期間終了年月");
    EXPECT_EQ(window->SelectList(1, 0)->accessibleName(), "(出力対象外)部門");
    EXPECT_EQ(window->SelectList(2, 1)->accessibleName(), "(出力対象)部門");
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) {
            EXPECT_EQ(label->buddy()->accessibleName(), label->text());
        }
    }
    EXPECT_EQ(window->Command1()->text(), "参照");
    for (int i = 1; i <= 4; ++i)
        EXPECT_NE(window->FrameData(i), nullptr);
    EXPECT_NE(window->findChild<QGroupBox*>("EFrameSelect1"), nullptr);
    EXPECT_NE(window->findChild<QGroupBox*>("Frame1"), nullptr);
    EXPECT_NE(window->findChild<QGroupBox*>("Frame2"), nullptr);
}

TEST_F(ExportWindowTest, LayoutIsTidyAndTheScreenshotIsWritten) {
    installation.addSampleDatabase("本社", 10);
    ASSERT_TRUE(Start());
    window->TaviDate1(0)->setValue(202403);
    window->SelectList(1, 1)->item(1)->setSelected(true);
    QTest::mouseClick(window->SelectCommand(1, 0), Qt::LeftButton);
    window->SelectList(1, 1)->item(0)->setSelected(true);
    QTest::mouseClick(window->SelectCommand(1, 2), Qt::LeftButton);
    window->TaviText1(0)->setText(window->OutputFolder() + "/20240305_140709_浄化槽金額データ.xls");
    window->Combo1()->setFocus();
    EXPECT_EQ(LayoutProblems(*window), std::vector<std::string>{});
    const QString file = SaveScreenshot(*window, "export-window.png",
                                        QString::fromStdString(installation.path("shots")));
    ASSERT_FALSE(file.isEmpty());
    EXPECT_FALSE(QImage(file).isNull());
}

TEST_F(ExportWindowTest, KeysAndClosingWaitWhileTheJobRuns) {
    installation.addSampleDatabase("本社", 40);
    ASSERT_TRUE(Start());
    // Leaving the combo recomputes the default path: type the path afterwards.
    ClickFocus(window->TaviDate1(0));
    window->TaviText1(0)->setText(QString::fromStdString(installation.path("out.xls")));
    // Delivered while the job lets pending events run.
    QCoreApplication::postEvent(window->TaviDate1(0),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(window->TaviDate1(0),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier));
    QCoreApplication::postEvent(window.get(), new QCloseEvent);
    QTest::keyClick(Focused(), Qt::Key_F4);
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{"Ecxelデータ出力を開始してよろしいですか",
                                                          "Ecxelデータ出力が完了しました"}));
    EXPECT_FALSE(window->isUnloaded());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(installation.path("out.xls"))));
}

TEST_F(ExportWindowTest, ThousandsOfRowsExportWithBoundedRepaints) {
    installation.addSampleDatabase("本社", 6000);
    ASSERT_TRUE(Start());
    ClickFocus(window->TaviDate1(0));
    window->TaviDate1(0)->setValue(202403);
    window->TaviText1(0)->setText(QString::fromStdString(installation.path("out.xls")));
    PaintCounter counter(window.get());
    QSignalSpy values(window->ProgressBar1(), &QProgressBar::valueChanged);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(Focused(), Qt::Key_F4);
    const qint64 jobMs = clock.elapsed();
    ASSERT_EQ(messages.texts(), (std::vector<std::string>{"Ecxelデータ出力を開始してよろしいですか",
                                                          "Ecxelデータ出力が完了しました"}));
    // A repaint per record would be thousands; the screen follows at most every few dozen
    // milliseconds, besides a few paints where a stage starts or ends.
    EXPECT_LE(counter.of(window.get()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_LE(counter.of(window->ProgressBar1()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_LE(counter.of(window->LabelPBar()), jobMs / 10 + 40) << "in " << jobMs << " ms";
    EXPECT_LE(values.count(), jobMs / 10 + 40) << "in " << jobMs << " ms";
    // Each sheet's last record brings the bar to its end before the next stage starts.
    int full = 0;
    for (const QList<QVariant>& value : values)
        full += value.at(0).toInt() == 10000 ? 1 : 0;
    EXPECT_GE(full, 2);
}

TEST_F(ExportWindowTest, SecondInstanceIsRefused) {
    installation.addDatabase("本社", {});
    ASSERT_TRUE(Start());
    RecordingMessages second;
    frmVelkanDataExport other(second);
    EXPECT_FALSE(other.Startup());
    EXPECT_EQ(second.texts(), std::vector<std::string>{"浄化槽金額データ出力は既に起動しています"});
    EXPECT_TRUE(other.isUnloaded());
    EXPECT_FALSE(window->isUnloaded());
}

TEST_F(ExportWindowTest, ChoosingADatabaseWithoutSettingsClosesTheWindow) {
    installation.addDatabase("本社", {});
    TestDatabaseSettings noRow;
    noRow.controlRow = false;
    installation.addDatabase("支店", noRow);
    ASSERT_TRUE(Start());
    ClickFocus(window->Combo1());
    window->Combo1()->setCurrentIndex(1);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"コントロールマスタの設定が正しくありません"});
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->mdb().gDbObject(), nullptr);
}
