#include "CAppStartup.h"

#include <QApplication>
#include <QFont>
#include <QTranslator>

#include "CAppSettings.h"
#include "LogCategories.h"

QString prepareApplication(QApplication& app, QTranslator& translator)
{
    // Qt 6 reads sources as UTF-8 and local 8-bit is QString::toLocal8Bit: no codec to install.
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("Microsoft Yahei"));
    QApplication::setFont(font);

    const CAppSettings settings = CAppSettings::read();
    if (settings.strSolution == QLatin1String("SimpChinese")) {
        const QString strQm = QCoreApplication::applicationDirPath() + QStringLiteral("/language/vantrel_zh.qm");
        if (!translator.load(strQm))
            qCDebug(lcApp).noquote() << "translation not loaded:" << strQm;
    }
    app.installTranslator(&translator);
    return settings.strSolution;
}
