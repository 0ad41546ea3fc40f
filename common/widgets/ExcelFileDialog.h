#pragma once
// The browse dialog of both windows: an .xls file, existing or not.

#include <QString>
#include <functional>

class QWidget;

// Title, initial folder and initial file name in; the chosen path out, "" when cancelled.
using ExcelFileChooser = std::function<QString(QWidget* parent, const QString& title,
                                               const QString& folder, const QString& fileName)>;

// "Microsoft Excel ブック (*.xls)"
QString ExcelFileFilter();
// Qt's own dialog (the Japanese translation applies to it), accepting a name
// that does not exist yet.
QString ChooseExcelFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& fileName);
