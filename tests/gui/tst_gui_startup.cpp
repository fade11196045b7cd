// Start-up: the translation chosen by Config.ini, the defaults without one, and the window's frame.
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTranslator>
#include <QtTest>

#include <memory>

#include "app/CAppStartup.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

namespace {

// The loopback network keys go into every Config.ini written here: the window starts the library.
const QByteArray kNetwork = "[Network]\nBroadcast=127.255.255.255\nLoopbackOnly=1\n";

} // namespace

class TestGuiStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void chineseWhenAsked();
    void englishUnlessAskedExactly();
    void modifyIPSettingAndForm();

private:
    // Runs the start-up steps of main, then builds the window.
    std::unique_ptr<CVantrel> startProgram(QString* pSolution = nullptr);

    std::unique_ptr<CAppTranslators> pTranslators;
    QTranslator* pTranslator = nullptr;
};

void TestGuiStartup::init()
{
    pTranslators = std::make_unique<CAppTranslators>();
    pTranslator = &pTranslators->program;
}

void TestGuiStartup::cleanup()
{
    QCoreApplication::removeTranslator(&pTranslators->program);
    QCoreApplication::removeTranslator(&pTranslators->qt);
    pTranslators.reset();
    guitest::removeConfig();
}

std::unique_ptr<CVantrel> TestGuiStartup::startProgram(QString* pSolution)
{
    const QString strSolution = prepareApplication(*qApp, *pTranslators);
    if (pSolution)
        *pSolution = strSolution;
    return std::make_unique<CVantrel>();
}

void TestGuiStartup::chineseWhenAsked()
{
    QVERIFY(guitest::writeConfigText("[themes]\nSolution=SimpChinese\n" + kNetwork));
    QString strSolution;
    auto pWindow = startProgram(&strSolution);
    QCOMPARE(strSolution, QStringLiteral("SimpChinese"));
    QCOMPARE(pTranslator->language(), QStringLiteral("zh_CN"));
    // The form, the table, the program's own texts and Qt's (the file dialogs).
    QCOMPARE(pWindow->tableModel()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("描述"));
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("SearchButton"))->text(), QStringLiteral("搜索"));
    QCOMPARE(QCoreApplication::translate("CVantrel", "Password is error"), QStringLiteral("密码错误"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
    QCOMPARE(QApplication::font().family(), QStringLiteral("Microsoft Yahei"));
}

void TestGuiStartup::englishUnlessAskedExactly()
{
    // No Config.ini, and one whose Solution differs in case only: English, and no file is written.
    for (const QByteArray& baConfig : {QByteArray(), "[themes]\nSolution=simpchinese\n" + kNetwork}) {
        if (!baConfig.isEmpty())
            QVERIFY(guitest::writeConfigText(baConfig));
        auto pWindow = startProgram();
        QVERIFY(pTranslator->isEmpty() && pTranslators->qt.isEmpty());
        QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("SearchButton"))->text(), QStringLiteral("Search"));
        QCOMPARE(QFile::exists(guitest::configPath()), !baConfig.isEmpty());
        pWindow.reset();
        cleanup();
        init();
    }
}

void TestGuiStartup::modifyIPSettingAndForm()
{
    QVERIFY(guitest::writeConfigText("[UpgradeInfo]\nModifyIP=1\n" + kNetwork));
    auto pWindow = startProgram();
    QCOMPARE(pWindow->modifyIPSetting(), true);
    QCOMPARE(g_pMainWindow, pWindow.get());
    // Window title: "Vantrel yyyyMMdd Rhhmmss".
    static const QRegularExpression reTitle(QStringLiteral("^Vantrel \\d{8} R\\d{6}$"));
    QVERIFY2(reTitle.match(pWindow->windowTitle()).hasMatch(), qPrintable(pWindow->windowTitle()));
    // The two commands that need a plan or a configuration first start disabled; the
    // configuration-file row is hidden.
    pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(pWindow.get()));
    QVERIFY(!pWindow->findChild<QPushButton*>(QStringLiteral("btnModifyIP"))->isEnabled());
    QVERIFY(!pWindow->findChild<QPushButton*>(QStringLiteral("btnModifyCfg"))->isEnabled());
    for (const char* szHidden : {"label_5", "lineEditCfg", "browseCfgBtn"})
        QVERIFY2(!pWindow->findChild<QWidget*>(QLatin1String(szHidden))->isVisible(), szHidden);
    pWindow.reset();
    QCOMPARE(g_pMainWindow, nullptr);
}

QTEST_MAIN(TestGuiStartup)
#include "tst_gui_startup.moc"
