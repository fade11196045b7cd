#pragma once

#include <QString>

class QApplication;
class QTranslator;

/// The start-up steps between creating the application and constructing the main window:
/// the application font ("Microsoft Yahei", falling back to an installed CJK font) and the
/// translation. "themes/Solution" is read from Config.ini beside the executable; exactly
/// "SimpChinese" loads applicationDirPath + "/language/vantrel_zh.qm" into pTranslator (a failed
/// load is ignored). The translator is installed in every case; it must outlive the application's
/// use of it. Returns the Solution value read.
QString prepareApplication(QApplication& app, QTranslator& translator);
