// The project's input widgets, function-key bar, key navigator, list helpers
// and message boxes, driven with real key and mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "ExcelFileDialog.h"
#include "KeyNavigator.h"
#include "QtMessageSink.h"
#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "VelkanFont.h"
#include "pMjList.h"

namespace {

QString Typed(TaviDate& date, const QString& keys) {
    date.clear();
    date.setFocus();
    QTest::keyClicks(&date, keys);
    return date.text();
}

}  // namespace

TEST(TaviDate, WesternYearMonthTypedAndRead) {
    TaviDate date(TaviDate::Kind::YearMonth);
    EXPECT_EQ(Typed(date, "202403"), "2024/03");
    EXPECT_EQ(date.value(), 202403);
    EXPECT_EQ(date.maxLength(), 7);
    EXPECT_EQ(Typed(date, "2024"), "2024");
    EXPECT_EQ(date.value(), 0) << "an incomplete entry has no value";
    date.clear();
    EXPECT_EQ(date.value(), 0);
}

TEST(TaviDate, RefusesImpossibleMonthsAndDaysAsTyped) {
    TaviDate ym(TaviDate::Kind::YearMonth);
    EXPECT_EQ(Typed(ym, "202413"), "2024/1") << "month 13 refused at its second digit";
    EXPECT_EQ(Typed(ym, "20242"), "2024") << "no month starts with 2";
    EXPECT_EQ(Typed(ym, "202400"), "2024/0");
    EXPECT_EQ(ym.value(), 0);

    TaviDate full(TaviDate::Kind::FullDate);
    EXPECT_EQ(full.maxLength(), 10);
    EXPECT_EQ(Typed(full, "20230229"), "2023/02/2") << "no 29 February in 2023";
    EXPECT_EQ(Typed(full, "20240229"), "2024/02/29");
    EXPECT_EQ(full.value(), 20240229);
    EXPECT_EQ(Typed(full, "20240431"), "2024/04/3");
    EXPECT_EQ(Typed(full, "20240140"), "2024/01/0") << "no day starts with 4";
    EXPECT_EQ(Typed(full, "2024/12/31"), "2024/12/31");
    EXPECT_EQ(full.value(), 20241231);
}

TEST(TaviDate, EraTextsForKnownValues) {
    struct Case {
        std::int32_t value;
        TaviDate::Kind kind;
        const char* western;
        const char* era;
    };
    const Case cases[] = {
        {202405, TaviDate::Kind::YearMonth, "2024/05", "令和06/05"},
        {201905, TaviDate::Kind::YearMonth, "2019/05", "令和01/05"},
        {201904, TaviDate::Kind::YearMonth, "2019/04", "平成31/04"},
        {198901, TaviDate::Kind::YearMonth, "1989/01", "昭和64/01"},
        {19890107, TaviDate::Kind::FullDate, "1989/01/07", "昭和64/01/07"},
        {19890108, TaviDate::Kind::FullDate, "1989/01/08", "平成01/01/08"},
        {19261225, TaviDate::Kind::FullDate, "1926/12/25", "昭和01/12/25"},
        {19120730, TaviDate::Kind::FullDate, "1912/07/30", "大正01/07/30"},
        {19000101, TaviDate::Kind::FullDate, "1900/01/01", "明治33/01/01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(TaviDate::FormatValue(c.value, c.kind, 0), QString::fromUtf8(c.western));
        EXPECT_EQ(TaviDate::FormatValue(c.value, c.kind, 1), QString::fromUtf8(c.era));
        EXPECT_EQ(TaviDate::ParseValue(QString::fromUtf8(c.era), c.kind, 2), c.value);
        EXPECT_EQ(TaviDate::ParseValue(QString::fromUtf8(c.western), c.kind, 0), c.value);
    }
    EXPECT_EQ(TaviDate::FormatValue(0, TaviDate::Kind::YearMonth, 1), "");
    EXPECT_EQ(TaviDate::FormatValue(202413, TaviDate::Kind::YearMonth, 0), "");
}

TEST(TaviDate, CalendarModeKeepsTheValue) {
    TaviDate date(TaviDate::Kind::YearMonth);
    date.setValue(202403);
    date.setCalendarMode(1);
    EXPECT_EQ(date.text(), "令和06/03");
    EXPECT_EQ(date.value(), 202403);
    date.setCalendarMode(0);
    EXPECT_EQ(date.text(), "2024/03");
    EXPECT_EQ(date.value(), 202403);
}

TEST(TaviDate, EraYearsTyped) {
    TaviDate date(TaviDate::Kind::YearMonth);
    date.setCalendarMode(1);
    EXPECT_EQ(Typed(date, "R0605"), "令和06/05");
    EXPECT_EQ(date.value(), 202405);
    EXPECT_EQ(Typed(date, "h3104"), "平成31/04");
    EXPECT_EQ(date.value(), 201904);
    EXPECT_EQ(Typed(date, "H3105"), "平成31/0") << "May 2019 is in 令和";
    EXPECT_EQ(Typed(date, "R0104"), "令和01/0") << "令和 starts in May 2019";
    EXPECT_EQ(Typed(date, "S65"), "昭和6") << "昭和 ended in its 64th year";
    EXPECT_EQ(Typed(date, "0712"), "令和07/12") << "digits alone are in the present era";
    EXPECT_EQ(date.value(), 202512);
    EXPECT_EQ(Typed(date, "R0613"), "令和06/1");
    EXPECT_EQ(date.value(), 0);
}

TEST(TaviText, SelectionHelpersClipToTheText) {
    TaviText text;
    text.setText("abcdef");
    text.SelectRange(0, 99);
    EXPECT_EQ(text.SelText(), "abcdef");
    text.SelectRange(2, 3);
    EXPECT_EQ(text.SelStart(), 2);
    EXPECT_EQ(text.SelLength(), 3);
    text.SelectRange(10, 5);
    EXPECT_EQ(text.SelLength(), 0);
}

TEST(TaviCommand, CaptionsAndButtonsActAsFunctionKeys) {
    TaviCommand bar;
    const char* captions[] = {"終了",   "",       "", "実行", "取消",   "複写",
                              "行挿入", "行削除", "", "",     "前画面", "次画面"};
    for (int n = 0; n < TaviCommand::kButtons; ++n) {
        EXPECT_EQ(bar.button(n)->text(), QString::fromUtf8(captions[n])) << n;
        EXPECT_FALSE(bar.button(n)->accessibleName().isEmpty()) << n;
        EXPECT_EQ(bar.button(n)->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(bar.font().families().value(0), "ＭＳ ゴシック");
    QSignalSpy spy(&bar, &TaviCommand::functionKey);
    QTest::mouseClick(bar.button(1), Qt::LeftButton);
    QTest::mouseClick(bar.button(0), Qt::LeftButton);
    QTest::mouseClick(bar.button(11), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), Qt::Key_F2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), Qt::Key_F1);
    EXPECT_EQ(spy.at(2).at(0).toInt(), Qt::Key_F12);
}

TEST(KeyNavigator, MovesThroughEnabledVisibleInputsInTabOrder) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* a = new TaviText(&window);
    auto* button = new QPushButton("x", &window);
    auto* b = new QComboBox(&window);
    auto* c = new TaviText(&window);
    auto* d = new TaviDate(TaviDate::Kind::YearMonth, &window);
    auto* e = new TaviText(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{a, button, b, c, d, e})
        layout->addWidget(w);
    c->setEnabled(false);
    d->hide();
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    KeyNavigator nav;
    a->setFocus();
    nav.Attach(&window);
    EXPECT_EQ(nav.current(), 0);
    EXPECT_EQ(nav.TabIndexOf(button), -1) << "buttons are not inputs";
    ASSERT_TRUE(nav.Next());
    EXPECT_EQ(QApplication::focusWidget(), b);
    ASSERT_TRUE(nav.Next());
    EXPECT_EQ(QApplication::focusWidget(), e) << "disabled and hidden inputs skipped";
    ASSERT_TRUE(nav.Next());
    EXPECT_EQ(QApplication::focusWidget(), a) << "wraps to the first input";
    ASSERT_TRUE(nav.Previous());
    EXPECT_EQ(QApplication::focusWidget(), e);
    EXPECT_EQ(nav.current(), nav.TabIndexOf(e));

    b->setFocus();
    nav.KeyNotification();
    EXPECT_EQ(nav.current(), nav.TabIndexOf(b));
    nav.SetCurrent(nav.TabIndexOf(a));
    EXPECT_EQ(nav.current(), 0);
    nav.Detach();
    EXPECT_FALSE(nav.Next());
}

TEST(pMjList, MoveSelectedKeepsOrderAndAppends) {
    QListWidget from;
    QListWidget to;
    from.setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int code : {1, 2, 3, 4, 5})
        pMjList::AddItem(&from, QString("item%1").arg(code), code);
    pMjList::AddItem(&to, "existing", 9);
    from.setCurrentRow(3);
    from.item(3)->setSelected(true);
    from.item(1)->setSelected(true);
    pMjList::MoveSelectedItems(&from, &to);
    EXPECT_EQ(pMjList::AllItemData(&from), (std::vector<std::int32_t>{1, 3, 5}));
    EXPECT_EQ(pMjList::AllItemData(&to), (std::vector<std::int32_t>{9, 2, 4}));
    EXPECT_EQ(to.item(1)->text(), "item2");
    EXPECT_EQ(from.currentRow(), -1) << "remembered index 3 no longer exists";

    from.setCurrentRow(0);
    from.item(0)->setSelected(true);
    pMjList::MoveSelectedItems(&from, &to);
    EXPECT_EQ(from.currentRow(), 0) << "the item now at the remembered index is selected";
    EXPECT_EQ(pMjList::AllItemData(&from), (std::vector<std::int32_t>{3, 5}));

    pMjList::MoveAllItems(&to, &from);
    EXPECT_EQ(to.count(), 0);
    EXPECT_EQ(pMjList::AllItemData(&from), (std::vector<std::int32_t>{3, 5, 9, 2, 4, 1}));
    EXPECT_EQ(pMjList::ListItemData(&from, -1), -1);
    EXPECT_EQ(pMjList::ListItemData(&from, -5), -1);
    EXPECT_EQ(pMjList::ListItemData(&from, 2), 9);
}

namespace {

// Answers the next modal message box from inside its event loop.
struct BoxSeen {
    QString title;
    QString text;
    QStringList buttons;
    QString defaultButton;
};

void AnswerNextBox(BoxSeen& seen, int key) {
    QTimer::singleShot(0, [&seen, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
        if (box->defaultButton() != nullptr)
            seen.defaultButton = box->defaultButton()->text();
        QTest::keyClick(box, static_cast<Qt::Key>(key));
    });
}

}  // namespace

TEST(QtMessageSink, JapaneseButtonsAndEnterAnswersTheFirst) {
    QtMessageSink sink;
    BoxSeen seen;
    AnswerNextBox(seen, Qt::Key_Return);
    EXPECT_EQ(sink.confirm("終了してもよろしいですか"), true);
    EXPECT_EQ(seen.title, "ソルベナ　浄化槽システム");
    EXPECT_EQ(seen.text, "終了してもよろしいですか");
    EXPECT_TRUE(seen.buttons.contains("はい"));
    EXPECT_TRUE(seen.buttons.contains("いいえ"));
    EXPECT_EQ(seen.defaultButton, "はい");

    BoxSeen escaped;
    AnswerNextBox(escaped, Qt::Key_Escape);
    EXPECT_EQ(sink.show("x", kMessageTitle, MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);

    BoxSeen retry;
    AnswerNextBox(retry, Qt::Key_Return);
    EXPECT_EQ(sink.show("x", kMessageTitle, MsgIcon::Exclamation, MsgButtons::RetryCancel),
              MsgAnswer::Retry);
    EXPECT_EQ(retry.defaultButton, "再試行");
    EXPECT_TRUE(retry.buttons.contains("キャンセル"));

    BoxSeen untitled;
    QApplication::setApplicationName("VelkanDataExport");
    AnswerNextBox(untitled, Qt::Key_Return);
    EXPECT_EQ(sink.show("(3):x", "", MsgIcon::None, MsgButtons::Ok), MsgAnswer::Ok);
    EXPECT_EQ(untitled.title, "VelkanDataExport");
    EXPECT_EQ(untitled.buttons, QStringList{"OK"});
}

TEST(VelkanFont, FamilyListStartsWithMsGothicAndEndsInMonospace) {
    const QStringList families = VelkanFontFamilies();
    ASSERT_EQ(families.size(), 5);
    EXPECT_EQ(families.front(), "ＭＳ ゴシック");
    EXPECT_EQ(families.back(), "monospace");
    EXPECT_EQ(VelkanFont().families(), families);
}

TEST(VelkanFont, QtsJapaneseTranslationIsInstalled) {
    // qt6-translations-l10n: the standard dialogs speak Japanese.
    ASSERT_TRUE(InstallJapaneseTranslations(*QCoreApplication::instance()));
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), "Look in:");
}

// The export saves .xls only; the import's dialog offers the .xls filter
// first, then the other formats the import reads.
TEST(ExcelFileDialog, FiltersOfTheExportAndTheImport) {
    EXPECT_EQ(ExcelFileFilter(), "Microsoft Excel ブック (*.xls)");
    const QStringList filters = ImportFileFilters();
    ASSERT_GE(filters.size(), 3);
    EXPECT_EQ(filters.front(), "Microsoft Excel ブック (*.xls)");
    const QString all = filters.join(' ');
    EXPECT_TRUE(all.contains("(*.xlsx)"));
    EXPECT_TRUE(all.contains("(*.ods)"));
    EXPECT_TRUE(filters.back().contains("*.xls *.xlsx *.ods"));
}
