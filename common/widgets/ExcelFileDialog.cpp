#include "ExcelFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "VelkanFont.h"

QString ExcelFileFilter() {
    return QStringLiteral("Microsoft Excel ブック (*.xls)");
}

QString ChooseExcelFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& fileName) {
    QFileDialog dialog(parent, title);
    dialog.setFont(VelkanFont());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ExcelFileFilter());
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
