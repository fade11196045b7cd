#include <QApplication>

#include "app/CAppStartup.h"
#include "mainwindow/CVantrel.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    CAppTranslators translators;
    prepareApplication(app, translators);

    auto* pMainWindow = new CVantrel();
    pMainWindow->show();
    const int nResult = app.exec();
    delete pMainWindow;
    return nResult;
}
