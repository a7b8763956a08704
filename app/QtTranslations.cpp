#include "app/QtTranslations.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace kv::app {

bool LoadQtTranslations(QTranslator& Translator)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (Translator.load(QStringLiteral("qtbase_zh_CN"), folder))
        return true;
    std::fprintf(stderr,
                 "[warning] Qt's Chinese translations (%s/qtbase_zh_CN.qm) are not installed; Qt's own buttons "
                 "and dialogs stay in English (the package qt6-translations-l10n brings them)\n",
                 folder.toLocal8Bit().constData());
    return false;
}

}  // namespace kv::app
