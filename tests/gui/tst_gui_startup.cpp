// Start-up: the translation chosen by Config.ini, the defaults without one, and the window's frame.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
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
    void englishWithoutConfig();
    void solutionIsCaseSensitive();
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
    QVERIFY(!pTranslator->isEmpty());
    QCOMPARE(pTranslator->language(), QStringLiteral("zh_CN"));

    QCOMPARE(pWindow->tableModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("序号"));
    QCOMPARE(pWindow->tableModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("IP地址"));
    QCOMPARE(pWindow->tableModel()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("描述"));
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("SearchButton"))->text(), QStringLiteral("搜索"));
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("btnReverse"))->text(), QStringLiteral("反选"));
    QCOMPARE(pWindow->findChild<QLabel*>(QStringLiteral("label_4"))->text(), QStringLiteral("密码"));
    QCOMPARE(QCoreApplication::translate("CVantrel", "Login Success"), QStringLiteral("登录成功"));
    QCOMPARE(QCoreApplication::translate("CVantrel", "Password is error"), QStringLiteral("密码错误"));
    QCOMPARE(QCoreApplication::translate("CVantrel", "SelectAll"), QStringLiteral("全选"));
    // Qt's own texts (the file dialogs) and the program's file filters.
    QVERIFY(!pTranslators->qt.isEmpty());
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
    QCOMPARE(QCoreApplication::translate("CVantrel", "Config File(*.cfg)"), QStringLiteral("配置文件(*.cfg)"));
    QVERIFY(pWindow->windowTitle().startsWith(QStringLiteral("Vantrel ")));
    QCOMPARE(QApplication::font().family(), QStringLiteral("Microsoft Yahei"));
}

void TestGuiStartup::englishWithoutConfig()
{
    QVERIFY(!QFile::exists(guitest::configPath()));
    QString strSolution = QStringLiteral("unset");
    auto pWindow = startProgram(&strSolution);
    QCOMPARE(strSolution, QString());
    QVERIFY(pTranslator->isEmpty() && pTranslators->qt.isEmpty());
    QCOMPARE(pWindow->modifyIPSetting(), false);
    QCOMPARE(pWindow->tableModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NO."));
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("SearchButton"))->text(), QStringLiteral("Search"));
    QVERIFY(!QFile::exists(guitest::configPath())); // nothing writes the settings file
}

void TestGuiStartup::solutionIsCaseSensitive()
{
    QVERIFY(guitest::writeConfigText("[themes]\nSolution=simpchinese\n" + kNetwork));
    auto pWindow = startProgram();
    QVERIFY(pTranslator->isEmpty());
    QCOMPARE(pWindow->tableModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NO."));
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("btnReverse"))->text(), QStringLiteral("Reverse"));
}

void TestGuiStartup::modifyIPSettingAndForm()
{
    QVERIFY(guitest::writeConfigText("[UpgradeInfo]\nModifyIP=1\n" + kNetwork));
    auto pWindow = startProgram();
    QCOMPARE(pWindow->modifyIPSetting(), true);
    QCOMPARE(g_pMainWindow, pWindow.get());
    QCOMPARE(pWindow->objectName(), QStringLiteral("CVantrelClass"));
    QCOMPARE(pWindow->size(), QSize(1080, 604));
    QCOMPARE(pWindow->soundFilePath(), QCoreApplication::applicationDirPath() + QStringLiteral("/Sound/sound.wav"));

    // Window title: "Vantrel yyyyMMdd Rhhmmss".
    static const QRegularExpression reTitle(QStringLiteral("^Vantrel \\d{8} R\\d{6}$"));
    QVERIFY2(reTitle.match(pWindow->windowTitle()).hasMatch(), qPrintable(pWindow->windowTitle()));

    pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(pWindow.get()));
    QVERIFY(!pWindow->findChild<QPushButton*>(QStringLiteral("btnModifyIP"))->isEnabled());
    QVERIFY(!pWindow->findChild<QPushButton*>(QStringLiteral("btnModifyCfg"))->isEnabled());
    QVERIFY(!pWindow->findChild<QCheckBox*>(QStringLiteral("checkBoxMainStream"))->isChecked());
    for (const char* szHidden : {"label_5", "lineEditCfg", "browseCfgBtn"})
        QVERIFY2(!pWindow->findChild<QWidget*>(QLatin1String(szHidden))->isVisible(), szHidden);
    for (const char* szShown :
         {"selectBtn", "btnReverse", "tableView", "SearchButton", "addBtn", "btnSetIP", "btnOpenDhcp", "btnCloseDhcp",
          "btnReset", "btnOtherCfg", "btnMicro", "btnVolume", "label_4", "lineEditPassword", "label_6",
          "lineEditFileName", "browseBtn", "upgradeBtn", "labelDevInfo"})
        QVERIFY2(pWindow->findChild<QWidget*>(QLatin1String(szShown))->isVisible(), szShown);
    QVERIFY(pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->isReadOnly());
    QCOMPARE(pWindow->findChild<QPushButton*>(QStringLiteral("selectBtn"))->text(), QStringLiteral("Select"));

    pWindow.reset();
    QCOMPARE(g_pMainWindow, nullptr);
}

QTEST_MAIN(TestGuiStartup)
#include "tst_gui_startup.moc"
