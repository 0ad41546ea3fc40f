#pragma once
// The browse dialog of both windows: an .xls file, existing or not, to export
// to; a workbook of any format the import reads.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Title, initial folder and initial file name in; the chosen path out, "" when cancelled.
using ExcelFileChooser = std::function<QString(QWidget* parent, const QString& title,
                                               const QString& folder, const QString& fileName)>;

// "Microsoft Excel ブック (*.xls)"
QString ExcelFileFilter();
// The import's filters: the .xls filter first, then the other formats it reads.
QStringList ImportFileFilters();
// Qt's own dialog (the Japanese translation applies to it), accepting a name
// that does not exist yet.
QString ChooseExcelFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& fileName);
// The same dialog for a workbook to import: an existing file, any format read.
QString ChooseImportFile(QWidget* parent, const QString& title, const QString& folder,
                         const QString& fileName);
