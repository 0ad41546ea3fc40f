#include "VelkanFont.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList VelkanFontFamilies() {
    return {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
            QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
            QStringLiteral("monospace")};
}

QFont VelkanFont() {
    QFont font;
    font.setFamilies(VelkanFontFamilies());
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

bool InstallJapaneseTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        translator->deleteLater();
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
