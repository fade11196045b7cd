#include "CAppStartup.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>

#include "CAppSettings.h"
#include "LogCategories.h"

QString prepareApplication(QApplication& app, CAppTranslators& translators)
{
    // Qt 6 reads sources as UTF-8 and local 8-bit is QString::toLocal8Bit: no codec to install.
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("Microsoft Yahei"));
    QApplication::setFont(font);

    const CAppSettings settings = CAppSettings::read();
    if (settings.strSolution == QLatin1String("SimpChinese")) {
        const QString strLanguage = QCoreApplication::applicationDirPath() + QStringLiteral("/language");
        const QString strQm = strLanguage + QStringLiteral("/vantrel_zh.qm");
        if (!translators.program.load(strQm))
            qCDebug(lcApp).noquote() << "translation not loaded:" << strQm;
        // Qt's own texts: the catalogue that pulls in qtbase and the other modules' files.
        if (!translators.qt.load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
            !translators.qt.load(QStringLiteral("qt_zh_CN"), strLanguage))
            qCDebug(lcApp).noquote() << "Qt's translation qt_zh_CN not loaded";
    }
    app.installTranslator(&translators.qt);
    app.installTranslator(&translators.program);
    return settings.strSolution;
}
