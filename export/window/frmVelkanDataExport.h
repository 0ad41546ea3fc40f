#pragma once
// The export window: database, contract-end year-month, the department
// pairs and the output workbook path; F4 writes the fee workbook.

#include <QPointer>
#include <array>
#include <memory>

#include "ExcelFileDialog.h"
#include "ExportFeeData.h"
#include "WindowConventions.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class TaviCommand;
class TaviDate;
class TaviText;

class frmVelkanDataExport : public WindowConventions {
    Q_OBJECT
  public:
    static constexpr const char* kProgramName = "VelkanDataExport";

    explicit frmVelkanDataExport(MessageSink& messages, QWidget* parent = nullptr);
    ~frmVelkanDataExport() override;

    // Controls, by their element numbers.
    TaviText* TaviText1(int index) const { return taviText1_.at(static_cast<std::size_t>(index)); }
    TaviDate* TaviDate1(int index) const { return taviDate1_.at(static_cast<std::size_t>(index)); }
    // pair 1..3, element 0 (excluded) or 1 (exported)
    QListWidget* SelectList(int pair, int element) const;
    // pair 1..3, element 0..3: ">", ">>", "<", "<<"
    QPushButton* SelectCommand(int pair, int element) const;
    QPushButton* Command1() const { return command1_; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    QLabel* LabelPBar() const { return labelPBar_; }
    TaviCommand* TaviCommand1() const { return taviCommand1_; }
    QGroupBox* FrameData(int index) const {
        return frameData_.at(static_cast<std::size_t>(index - 1));
    }

    void ClearExportForm();
    // The user's desktop folder (the home folder when the desktop folder does not exist).
    QString GetDesktopFolder();
    // Recomputes OutputFolder, OutputFileName and the text of TaviText1 (0).
    void SetDefaultOutputPath();
    void LoadDepartmentLists();
    bool CheckBeforeExport();
    // Command1 "参照".
    void Browse();
    // The F4 handling after the key (pre-check, confirmation, job, result message).
    void ExportData();

    const QString& OutputFolder() const { return outputFolder_; }
    const QString& OutputFileName() const { return outputFileName_; }
    bool ExpansionMode() const { return expansionMode_; }

    // Tests replace the file dialog.
    void setFileChooser(ExcelFileChooser chooser) { chooseFile_ = std::move(chooser); }

  protected:
    void ClearWindow() override { ClearExportForm(); }
    void MainAction() override { ExportData(); }
    void TextFocusLost(TaviText* text) override;
    void afterSettings(const ControlMasterSettings& settings) override;

  private:
    class View;
    void buildWindow();
    QWidget* buildPair(int pair, QWidget* parent);

    std::array<TaviText*, 2> taviText1_{};
    std::array<TaviDate*, 3> taviDate1_{};
    std::array<std::array<QListWidget*, 2>, 3> selectList_{};
    std::array<std::array<QPushButton*, 4>, 3> selectCommand_{};
    std::array<QGroupBox*, 4> frameData_{};
    QPushButton* command1_ = nullptr;
    QProgressBar* progressBar1_ = nullptr;
    QLabel* labelPBar_ = nullptr;
    TaviCommand* taviCommand1_ = nullptr;

    QString outputFolder_;
    QString outputFileName_;
    bool expansionMode_ = false;
    ControlMasterSettings siblings_;  // of the database whose lists are shown
    ExcelFileChooser chooseFile_ = ChooseExcelFile;
    std::unique_ptr<View> view_;
};
