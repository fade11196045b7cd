#pragma once

#include <QString>
#include <QTranslator>

class QApplication;

/// The translators of the program: its own texts and Qt's (the file dialogs, the context menus of
/// the editors, the standard buttons). They must outlive the application's use of them.
struct CAppTranslators
{
    QTranslator program;
    QTranslator qt;
};

/// The start-up steps between creating the application and constructing the main window:
/// the application font ("Microsoft Yahei", falling back to an installed CJK font) and the
/// translation. "themes/Solution" is read from Config.ini beside the executable; exactly
/// "SimpChinese" loads applicationDirPath + "/language/vantrel_zh.qm" into the program's translator
/// and Qt's own Simplified Chinese texts ("qt_zh_CN", from Qt's translations folder, else from the
/// language folder) into Qt's; a failed load is ignored. Both translators are installed in every
/// case. Returns the Solution value read.
QString prepareApplication(QApplication& app, CAppTranslators& translators);
