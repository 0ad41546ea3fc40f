#include "ExcelFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "VelkanFont.h"

QString ExcelFileFilter() {
    return QStringLiteral("Microsoft Excel ブック (*.xls)");
}

QStringList ImportFileFilters() {
    return {ExcelFileFilter(), QStringLiteral("Excel ブック (*.xlsx)"),
            QStringLiteral("ODF 表計算ドキュメント (*.ods)"),
            QStringLiteral("取込できるすべてのブック (*.xls *.xlsx *.ods)")};
}

namespace {

QString Choose(QWidget* parent, const QString& title, const QString& folder,
               const QString& fileName, const QStringList& filters, QFileDialog::FileMode mode) {
    QFileDialog dialog(parent, title);
    dialog.setFont(VelkanFont());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mode);
    dialog.setNameFilters(filters);
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (!fileName.isEmpty()) {
        const QFileInfo info(fileName);
        if (info.isAbsolute() && info.dir().exists())
            dialog.setDirectory(info.dir());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QString ChooseExcelFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& fileName) {
    return Choose(parent, title, folder, fileName, {ExcelFileFilter()}, QFileDialog::AnyFile);
}

QString ChooseImportFile(QWidget* parent, const QString& title, const QString& folder,
                         const QString& fileName) {
    return Choose(parent, title, folder, fileName, ImportFileFilters(), QFileDialog::ExistingFile);
}
