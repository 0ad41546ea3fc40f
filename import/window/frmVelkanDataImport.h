#pragma once
// The import window: database, the workbook to read back, the error list;
// F4 runs the import driver, F3 the check that writes nothing.

#include <memory>

#include "ExcelFileDialog.h"
#include "ImportJob.h"
#include "WindowConventions.h"

class ImportHistoryView;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class TaviCommand;
class TaviDate;
class TaviText;

class frmVelkanDataImport : public WindowConventions {
    Q_OBJECT
  public:
    static constexpr const char* kProgramName = "VelkanDataImport";

    explicit frmVelkanDataImport(MessageSink& messages, QWidget* parent = nullptr);
    ~frmVelkanDataImport() override;

    TaviText* TaviText1() const { return taviText1_; }
    TaviText* txtPath() const { return txtPath_; }
    QPushButton* Command1() const { return command1_; }
    QListWidget* List1() const { return list1_; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    QLabel* LabelPBar() const { return labelPBar_; }
    TaviCommand* TaviCommand1() const { return taviCommand1_; }
    TaviDate* TaviDate1() const { return taviDate1_; }
    TaviDate* TaviDate2() const { return taviDate2_; }
    QGroupBox* FrameData1() const { return frameData1_; }
    QGroupBox* FrameData2() const { return frameData2_; }
    QGroupBox* FrameData3() const { return frameData3_; }
    ImportJob& job() { return *job_; }
    ImportHistoryView* HistoryView() const { return history_; }

    void ClearImportWindow();
    // Command1 "参照".
    void Browse();
    const QString& BrowseInitialFolder() const { return browseInitialFolder_; }

    // Tests replace the file dialog.
    void setFileChooser(ExcelFileChooser chooser) { chooseFile_ = std::move(chooser); }

  protected:
    void ClearWindow() override { ClearImportWindow(); }
    void MainAction() override;
    // F3.
    void CheckAction();
    void ReleaseWindowObjects() override;
    // F9: the past imports in place of the workbook and the error list, or back.
    void HistoryAction();
    bool EscapeAction() override;

  private:
    class View;
    void buildWindow();
    void ShowHistory(bool show);
    // F4 in the history view.
    void UndoSelectedImport();

    QGroupBox* frameData1_ = nullptr;
    QGroupBox* frameData2_ = nullptr;
    QGroupBox* frameData3_ = nullptr;
    TaviText* taviText1_ = nullptr;
    TaviText* txtPath_ = nullptr;
    QPushButton* command1_ = nullptr;
    QListWidget* list1_ = nullptr;
    QProgressBar* progressBar1_ = nullptr;
    QLabel* labelPBar_ = nullptr;
    TaviCommand* taviCommand1_ = nullptr;
    TaviDate* taviDate1_ = nullptr;
    TaviDate* taviDate2_ = nullptr;
    ImportHistoryView* history_ = nullptr;

    QString browseInitialFolder_;
    ExcelFileChooser chooseFile_ = ChooseImportFile;
    std::unique_ptr<View> view_;
    std::unique_ptr<ImportJob> job_;
};
