#include "frmVelkanDataImport.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ImportHistoryView.h"
#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "UndoImport.h"
#include "WindowJobView.h"
#include "WindowLayout.h"

// The import driver's view of the window.
class frmVelkanDataImport::View : public WindowJobView<ImportView> {
  public:
    explicit View(frmVelkanDataImport& window)
        : WindowJobView(window, window.progressBar1_, window.labelPBar_,
                        {window.frameData1_, window.frameData2_}, window.taviCommand1_),
          w_(window) {}

    // The lines reach the list in one insertion when it is shown: added one by
    // one, a list of 131,066 lines took seconds to lay out on the test machine.
    void setErrorListVisible(bool visible) override {
        if (!pending_.isEmpty()) {
            w_.list1_->addItems(pending_);
            pending_.clear();
        }
        w_.frameData3_->setVisible(visible);
    }
    void clearErrorList() override {
        pending_.clear();
        w_.list1_->clear();
    }
    void addErrorLine(const std::string& line) override {
        pending_.append(QString::fromStdString(line));
    }

  private:
    frmVelkanDataImport& w_;
    QStringList pending_;
};

frmVelkanDataImport::frmVelkanDataImport(MessageSink& messages, QWidget* parent)
    : WindowConventions(messages, kProgramName, QStringLiteral("消費税対応処理(データ取込)"),
                        ControlMasterVariant::Import, parent) {
    setObjectName(QStringLiteral("frmVelkanDataImport"));
    buildWindow();
    view_ = std::make_unique<View>(*this);
    job_ = std::make_unique<ImportJob>(mdb(), *view_);
}

frmVelkanDataImport::~frmVelkanDataImport() {
    if (!isUnloaded())
        job_->Release();
}

void frmVelkanDataImport::buildWindow() {
    auto* root = new QVBoxLayout(this);

    // Database.
    frameData2_ = new QGroupBox(this);
    frameData2_->setObjectName(QStringLiteral("FrameData2"));
    auto* row2 = new QHBoxLayout(frameData2_);
    auto* comboLabel = Caption(QStringLiteral("データベース選択"), frameData2_);
    auto* combo = new QComboBox(frameData2_);
    combo->setObjectName(QStringLiteral("Combo1"));
    combo->setMinimumContentsLength(20);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    BindCaption(comboLabel, combo);
    setCombo1(combo);
    auto* pathLabel = Caption(QStringLiteral("データベースPath"), frameData2_);
    taviText1_ = new TaviText(frameData2_);
    taviText1_->setObjectName(QStringLiteral("TaviText1"));
    taviText1_->setReadOnly(true);
    taviText1_->setFocusPolicy(Qt::ClickFocus);
    BindCaption(pathLabel, taviText1_);
    setDatabasePathText(taviText1_);
    row2->addWidget(comboLabel);
    row2->addWidget(combo);
    row2->addSpacing(12);
    row2->addWidget(pathLabel);
    row2->addWidget(taviText1_, 1);
    root->addWidget(frameData2_);

    // The workbook to read back.
    frameData1_ = new QGroupBox(this);
    frameData1_->setObjectName(QStringLiteral("FrameData1"));
    auto* row1 = new QHBoxLayout(frameData1_);
    auto* sourceLabel = Caption(QStringLiteral("取込先Excel"), frameData1_);
    txtPath_ = new TaviText(frameData1_);
    txtPath_->setObjectName(QStringLiteral("txtPath"));
    txtPath_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 60);
    BindCaption(sourceLabel, txtPath_);
    command1_ = new QPushButton(QStringLiteral("参照"), frameData1_);
    command1_->setObjectName(QStringLiteral("Command1"));
    connect(command1_, &QPushButton::clicked, this, &frmVelkanDataImport::Browse);
    row1->addWidget(sourceLabel);
    row1->addWidget(txtPath_, 1);
    row1->addWidget(command1_);
    root->addWidget(frameData1_);

    // Error list: four captions over fixed-pitch lines of sheet, cell, code and reason.
    frameData3_ = new QGroupBox(this);
    frameData3_->setObjectName(QStringLiteral("FrameData3"));
    auto* col3 = new QVBoxLayout(frameData3_);
    auto* header = new QHBoxLayout;
    header->setSpacing(0);
    const QFontMetrics metrics(font());
    const int column = metrics.horizontalAdvance(QLatin1Char(' '));
    // Half-width columns at which each field of a line starts: 【契約内訳】 is
    // 12 wide, then "(" cell(7) ")" 9, then the code 10 and "：" 2.
    static const struct {
        const char* name;
        const char* text;
        int width;
    } captions[] = {{"Label1", "シート名", 13},
                    {"Label2", "セル", 8},
                    {"Label3", "得意先", 12},
                    {"Label4", "エラー内容", 0}};
    const int frame = 6;  // the list's frame and margin before its first character
    header->addSpacing(frame);
    for (const auto& c : captions) {
        auto* label = Caption(QString::fromUtf8(c.text), frameData3_);
        label->setObjectName(QString::fromLatin1(c.name));
        if (c.width > 0) {
            label->setFixedWidth(column * c.width);
            header->addWidget(label);
        } else {
            header->addWidget(label, 1);
        }
    }
    col3->addLayout(header);
    list1_ = new QListWidget(frameData3_);
    list1_->setObjectName(QStringLiteral("List1_0"));
    list1_->setAccessibleName(QStringLiteral("エラー内容"));
    list1_->setMinimumSize(column * 112, metrics.height() * 12);
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Every line is one line of the same font.
    list1_->setUniformItemSizes(true);
    col3->addWidget(list1_, 1);
    KeepSpaceWhenHidden(frameData3_);
    root->addWidget(frameData3_, 1);
    history_ = new ImportHistoryView(this);
    history_->hide();
    root->addWidget(history_, 1);

    auto* progressRow = new QHBoxLayout;
    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setTextVisible(false);
    labelPBar_ = new QLabel(QStringLiteral("Label2"), this);
    labelPBar_->setObjectName(QStringLiteral("LabelPBar"));
    KeepSpaceWhenHidden(progressBar1_);
    KeepSpaceWhenHidden(labelPBar_);
    progressRow->addWidget(progressBar1_, 2);
    progressRow->addWidget(labelPBar_, 1);
    root->addLayout(progressRow);

    taviCommand1_ = new TaviCommand(this);
    taviCommand1_->setObjectName(QStringLiteral("TaviCommand1"));
    KeepSpaceWhenHidden(taviCommand1_);
    setCommandBar(taviCommand1_);
    // F3 runs the check that writes nothing.
    taviCommand1_->button(2)->setText(QStringLiteral("確認"));
    taviCommand1_->button(2)->setAccessibleName(QStringLiteral("確認"));
    addKeyAction(Qt::Key_F3, [this] { CheckAction(); });
    // F9 shows the past imports, each of which can be undone.
    taviCommand1_->button(8)->setText(QStringLiteral("履歴"));
    taviCommand1_->button(8)->setAccessibleName(QStringLiteral("履歴"));
    addKeyAction(Qt::Key_F9, [this] { HistoryAction(); });
    root->addWidget(taviCommand1_);

    // Only the control-master step uses the date inputs (their calendar mode).
    taviDate1_ = new TaviDate(TaviDate::Kind::FullDate, this);
    taviDate1_->setObjectName(QStringLiteral("TaviDate1"));
    taviDate2_ = new TaviDate(TaviDate::Kind::FullDate, this);
    taviDate2_->setObjectName(QStringLiteral("TaviDate2"));
    taviDate1_->hide();
    taviDate2_->hide();

    progressBar1_->setRange(0, 10000);
    progressBar1_->hide();
    labelPBar_->hide();
}

void frmVelkanDataImport::ClearImportWindow() {
    txtPath_->clear();
    browseInitialFolder_.clear();
    progressBar1_->setRange(0, 10000);
    progressBar1_->hide();
    list1_->clear();
    frameData3_->hide();
    ShowHistory(false);
}

void frmVelkanDataImport::Browse() {
    const QString chosen =
        chooseFile_(this, QStringLiteral("Excel取込先"), browseInitialFolder_, QString());
    if (!chosen.isEmpty())
        txtPath_->setText(chosen);
}

void frmVelkanDataImport::MainAction() {
    if (history_->isVisible()) {
        UndoSelectedImport();
        return;
    }
    job_->RunImport(txtPath_->text().toStdString());
    // Whatever the driver left behind, the window is usable again.
    view_->setBusy(false);
}

void frmVelkanDataImport::CheckAction() {
    if (history_->isVisible())
        return;
    job_->RunCheck(txtPath_->text().toStdString());
    view_->setBusy(false);
}

void frmVelkanDataImport::ReleaseWindowObjects() {
    job_->Release();
}

void frmVelkanDataImport::ShowHistory(bool show) {
    if (show == history_->isVisible())
        return;
    // The history takes the room of the workbook row and the error list.
    QSizePolicy policy = frameData3_->sizePolicy();
    policy.setRetainSizeWhenHidden(!show);
    frameData3_->setSizePolicy(policy);
    if (show) {
        frameData1_->hide();
        frameData3_->hide();
        history_->show();
        history_->list()->setFocus();
    } else {
        history_->hide();
        frameData1_->show();
        txtPath_->setFocus();
    }
}

void frmVelkanDataImport::HistoryAction() {
    if (history_->isVisible()) {
        ShowHistory(false);
        return;
    }
    if (history_->Load(mdb().gDatabase(), messages()))
        ShowHistory(true);
}

bool frmVelkanDataImport::EscapeAction() {
    if (!history_->isVisible())
        return false;
    ShowHistory(false);
    return true;
}

void frmVelkanDataImport::UndoSelectedImport() {
    const std::int64_t entry = history_->SelectedEntry();
    if (entry == 0)
        return;
    const bool undone = RunUndoImport(mdb(), entry, *view_);
    view_->setBusy(false);
    history_->Load(mdb().gDatabase(), messages(), entry);
    // The fields left as they were are listed in the error list, which the
    // window shows in place of the history.
    if (undone && list1_->count() > 0) {
        ShowHistory(false);
        frameData3_->show();
    }
}
