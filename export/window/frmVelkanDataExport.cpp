#include "frmVelkanDataExport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "DepartmentFilter.h"
#include "PlatformError.h"
#include "TaviCommand.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "WindowJobView.h"
#include "WindowLayout.h"
#include "pMjList.h"

namespace {

const QString kDefaultFileName = QStringLiteral("浄化槽金額データ.xls");

QGroupBox* Frame(const char* name, QWidget* parent) {
    auto* frame = new QGroupBox(parent);
    frame->setObjectName(QString::fromLatin1(name));
    return frame;
}

}  // namespace

// The job's view of the window.
class frmVelkanDataExport::View : public WindowJobView<ExportView> {
  public:
    explicit View(frmVelkanDataExport& window)
        : WindowJobView(window, window.progressBar1_, window.labelPBar_,
                        {window.frameData_.begin(), window.frameData_.end()}, window.taviCommand1_),
          w_(window) {}

    void focusAtJobStart() override { w_.TaviDate1(1)->setFocus(Qt::OtherFocusReason); }

  private:
    frmVelkanDataExport& w_;
};

frmVelkanDataExport::frmVelkanDataExport(MessageSink& messages, QWidget* parent)
    : WindowConventions(messages, kProgramName, QStringLiteral("浄化槽金額データ出力"),
                        ControlMasterVariant::Export, parent) {
    setObjectName(QStringLiteral("frmVelkanDataExport"));
    buildWindow();
    view_ = std::make_unique<View>(*this);
}

frmVelkanDataExport::~frmVelkanDataExport() = default;

QListWidget* frmVelkanDataExport::SelectList(int pair, int element) const {
    return selectList_.at(static_cast<std::size_t>(pair - 1)).at(static_cast<std::size_t>(element));
}

QPushButton* frmVelkanDataExport::SelectCommand(int pair, int element) const {
    return selectCommand_.at(static_cast<std::size_t>(pair - 1))
        .at(static_cast<std::size_t>(element));
}

QWidget* frmVelkanDataExport::buildPair(int pair, QWidget* parent) {
    auto& lists = selectList_[static_cast<std::size_t>(pair - 1)];
    auto& buttons = selectCommand_[static_cast<std::size_t>(pair - 1)];
    auto* grid = new QGridLayout(parent);
    grid->setContentsMargins(4, 4, 4, 4);
    const QFontMetrics metrics(font());
    // Wide enough for "00:" and ten full-width characters.
    const int listWidth = metrics.horizontalAdvance(QStringLiteral("00:ＮＮＮＮＮＮＮＮＮＮ")) + 24;
    const int listHeight = metrics.height() * 7;
    auto* excludedLabel = Caption(QStringLiteral("(出力対象外)部門"), parent);
    auto* exportedLabel = Caption(QStringLiteral("(出力対象)部門"), parent);
    for (int element = 0; element < 2; ++element) {
        auto* list = new QListWidget(parent);
        list->setObjectName(QStringLiteral("SelectList%1_%2").arg(pair).arg(element));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setMinimumSize(listWidth, listHeight);
        lists[static_cast<std::size_t>(element)] = list;
        if (element == 0) {
            auto* column = new QVBoxLayout;
            static const char* const captions[] = {">", ">>", "<", "<<"};
            column->addStretch();
            for (int b = 0; b < 4; ++b) {
                auto* button = new QPushButton(QString::fromLatin1(captions[b]), parent);
                button->setObjectName(QStringLiteral("SelectCommand%1_%2").arg(pair).arg(b));
                button->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("<<<<")) + 16);
                buttons[static_cast<std::size_t>(b)] = button;
                column->addWidget(button);
            }
            column->addStretch();
            grid->addLayout(column, 1, 1);
        }
    }
    BindCaption(excludedLabel, lists[0]);
    BindCaption(exportedLabel, lists[1]);
    grid->addWidget(excludedLabel, 0, 0);
    grid->addWidget(exportedLabel, 0, 2);
    grid->addWidget(lists[0], 1, 0);
    grid->addWidget(lists[1], 1, 2);

    connect(buttons[0], &QPushButton::clicked, this,
            [lists] { pMjList::MoveSelectedItems(lists[0], lists[1]); });
    connect(buttons[1], &QPushButton::clicked, this,
            [lists] { pMjList::MoveAllItems(lists[0], lists[1]); });
    connect(buttons[2], &QPushButton::clicked, this,
            [lists] { pMjList::MoveSelectedItems(lists[1], lists[0]); });
    connect(buttons[3], &QPushButton::clicked, this,
            [lists] { pMjList::MoveAllItems(lists[1], lists[0]); });
    connect(lists[0], &QListWidget::itemDoubleClicked, this,
            [lists] { pMjList::MoveSelectedItems(lists[0], lists[1]); });
    connect(lists[1], &QListWidget::itemDoubleClicked, this,
            [lists] { pMjList::MoveSelectedItems(lists[1], lists[0]); });
    return parent;
}

void frmVelkanDataExport::buildWindow() {
    // Widgets are created in tab order: the focus chain follows creation.
    auto* root = new QVBoxLayout(this);

    // Database.
    auto* frame4 = Frame("FrameData4", this);
    frameData_[3] = frame4;
    auto* row4 = new QHBoxLayout(frame4);
    auto* comboLabel = Caption(QStringLiteral("データベース選択"), frame4);
    auto* combo = new QComboBox(frame4);
    combo->setObjectName(QStringLiteral("Combo1"));
    combo->setMinimumContentsLength(20);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    BindCaption(comboLabel, combo);
    setCombo1(combo);
    auto* pathLabel = Caption(QStringLiteral("データベースPath"), frame4);
    taviText1_[1] = new TaviText(frame4);
    taviText1_[1]->setObjectName(QStringLiteral("TaviText1_1"));
    taviText1_[1]->setReadOnly(true);
    taviText1_[1]->setFocusPolicy(Qt::ClickFocus);
    BindCaption(pathLabel, taviText1_[1]);
    setDatabasePathText(taviText1_[1]);
    row4->addWidget(comboLabel);
    row4->addWidget(combo);
    row4->addSpacing(12);
    row4->addWidget(pathLabel);
    row4->addWidget(taviText1_[1], 1);
    root->addWidget(frame4);

    // Contract work.
    auto* middle = new QHBoxLayout;
    auto* frame1 = Frame("FrameData1", this);
    frameData_[0] = frame1;
    auto* col1 = new QVBoxLayout(frame1);
    col1->addWidget(Caption(QStringLiteral("契　約"), frame1));
    auto* dateRow = new QHBoxLayout;
    auto* dateLabel = Caption(QStringLiteral("契約期間終了年月"), frame1);
    dateRow->addWidget(dateLabel);
    for (int i = 0; i < 3; ++i) {
        auto* date =
            new TaviDate(i < 2 ? TaviDate::Kind::YearMonth : TaviDate::Kind::FullDate, frame1);
        date->setObjectName(QStringLiteral("TaviDate1_%1").arg(i));
        date->setFixedWidth(date->fontMetrics().horizontalAdvance(QStringLiteral("令和00/00/00")) +
                            16);
        date->setAccessibleName(dateLabel->text());
        taviDate1_[static_cast<std::size_t>(i)] = date;
        addEnterDate(date);
        dateRow->addWidget(date);
        // Only the contract-end year-month is read; the other two are kept for the job's focus.
        if (i > 0)
            date->hide();
    }
    BindCaption(dateLabel, taviDate1_[0]);
    dateRow->addStretch();
    col1->addLayout(dateRow);
    col1->addWidget(buildPair(1, Frame("EFrameSelect1", frame1)));
    middle->addWidget(frame1);

    // One-off work.
    auto* frame2 = Frame("FrameData2", this);
    frameData_[1] = frame2;
    auto* col2 = new QVBoxLayout(frame2);
    col2->addWidget(Caption(QStringLiteral("契約外(都度)"), frame2));
    col2->addStretch();
    col2->addWidget(buildPair(2, Frame("Frame1", frame2)));
    middle->addWidget(frame2);
    root->addLayout(middle);

    // Every department, then the output path.
    auto* lower = new QHBoxLayout;
    auto* frameAll = Frame("Frame2", this);
    buildPair(3, frameAll);
    lower->addWidget(frameAll);

    auto* frame3 = Frame("FrameData3", this);
    frameData_[2] = frame3;
    auto* col3 = new QVBoxLayout(frame3);
    auto* outLabel = Caption(QStringLiteral("出力先"), frame3);
    col3->addWidget(outLabel);
    auto* outRow = new QHBoxLayout;
    taviText1_[0] = new TaviText(frame3);
    taviText1_[0]->setObjectName(QStringLiteral("TaviText1_0"));
    taviText1_[0]->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);
    BindCaption(outLabel, taviText1_[0]);
    command1_ = new QPushButton(QStringLiteral("参照"), frame3);
    command1_->setObjectName(QStringLiteral("Command1"));
    connect(command1_, &QPushButton::clicked, this, &frmVelkanDataExport::Browse);
    outRow->addWidget(taviText1_[0], 1);
    outRow->addWidget(command1_);
    col3->addLayout(outRow);
    col3->addStretch();
    lower->addWidget(frame3, 1);
    root->addLayout(lower);

    addEnterText(taviText1_[0]);
    addEnterText(taviText1_[1]);

    // Progress of the job.
    auto* progressRow = new QHBoxLayout;
    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setTextVisible(false);
    labelPBar_ = new QLabel(this);
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
    root->addWidget(taviCommand1_);

    progressBar1_->setRange(0, 10000);
    progressBar1_->hide();
    labelPBar_->hide();
}

void frmVelkanDataExport::ClearExportForm() {
    for (TaviText* text : taviText1_)
        text->clear();
    for (TaviDate* date : taviDate1_)
        date->setValue(0);
    for (auto& pair : selectList_) {
        for (QListWidget* list : pair)
            list->clear();
    }
    progressBar1_->setRange(0, 10000);
    progressBar1_->hide();
    labelPBar_->hide();
    SetDefaultOutputPath();
}

QString frmVelkanDataExport::GetDesktopFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    // A desktop folder that does not exist would make every default path fail to save.
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QCoreApplication::processEvents();
    return folder;
}

void frmVelkanDataExport::SetDefaultOutputPath() {
    outputFolder_ = GetDesktopFolder();
    const QDateTime now = QDateTime::currentDateTime();
    outputFileName_ = now.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_') +
                      now.toString(QStringLiteral("HHmmss")) + QStringLiteral("_") +
                      kDefaultFileName;
    taviText1_[0]->setText(outputFolder_ + QLatin1Char('/') + outputFileName_);
}

void frmVelkanDataExport::afterSettings(const ControlMasterSettings& settings) {
    siblings_ = settings;
    SetDefaultOutputPath();
    LoadDepartmentLists();
}

void frmVelkanDataExport::LoadDepartmentLists() {
    const std::array<std::string, 3> queries = {
        ContractDepartmentQuery(siblings_), OneOffDepartmentQuery(siblings_), AllDepartmentQuery()};
    try {
        for (std::size_t pair = 0; pair < queries.size(); ++pair) {
            selectList_[pair][0]->clear();
            selectList_[pair][1]->clear();
            std::vector<DepartmentItem> items;
            if (!LoadDepartments(mdb().gDbObject(), queries[pair], items))
                continue;
            for (const DepartmentItem& item : items) {
                pMjList::AddItem(selectList_[pair][1], QString::fromStdString(item.text),
                                 item.code);
            }
        }
    } catch (const PlatformError& error) {
        messages().warn(error.description());
    }
    QCoreApplication::processEvents();
}

void frmVelkanDataExport::TextFocusLost(TaviText* text) {
    if (text != taviText1_[0])
        return;
    if (!text->text().trimmed().isEmpty())
        return;
    outputFileName_ = kDefaultFileName;
    text->setText(outputFolder_ + QLatin1Char('/') + outputFileName_);
}

void frmVelkanDataExport::Browse() {
    const QString chosen =
        chooseFile_(this, QStringLiteral("Excel出力先"), outputFolder_, taviText1_[0]->text());
    if (!chosen.isEmpty())
        taviText1_[0]->setText(chosen);
}

bool frmVelkanDataExport::CheckBeforeExport() {
    if (taviText1_[0]->text().trimmed().isEmpty()) {
        messages().warn("データ出力先が設定されていません");
        return false;
    }
    expansionMode_ = CheckExpansionTable(mdb().gDatabase());
    return true;
}

void frmVelkanDataExport::ExportData() {
    if (!CheckBeforeExport())
        return;
    if (!messages().confirm("Ecxelデータ出力を開始してよろしいですか"))
        return;

    ExportRequest request;
    request.ContractEndYearMonth = taviDate1_[0]->value();
    request.outputPath = taviText1_[0]->text().toStdString();
    request.contractFilter = TargetDepartmentFilter(pMjList::AllItemData(SelectList(1, 1)));
    request.oneOffFilter = TargetDepartmentFilter(pMjList::AllItemData(SelectList(2, 1)));
    const bool written = ExportFeeData(mdb().gDbObject(), request, expansionMode_, *view_);
    // Whatever the job left behind, the window is usable again.
    view_->setBusy(false);
    progressBar1_->hide();
    labelPBar_->hide();
    if (written) {
        messages().inform("Ecxelデータ出力が完了しました");
    } else {
        messages().warn("Ecxelデータ出力に失敗しました");
    }
}
