#pragma once
// The screen font of both tools and the Japanese texts of Qt's standard dialogs.

#include <QFont>
#include <QStringList>

class QCoreApplication;

// "ＭＳ ゴシック" first, then the fixed-pitch Japanese fonts that stand in for it.
QStringList VelkanFontFamilies();
QFont VelkanFont();
// Loads Qt's own Japanese translation (file dialogs, standard buttons); false when missing.
bool InstallJapaneseTranslations(QCoreApplication& app);
