// The program's message box driven the way callers use it: the static functions run it modally over
// the asking window, a test timer reads what it shows and presses a button; a box shown directly
// covers the asking window and keeps its panel in the middle as that window changes.
#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include "guitestsupport.h"
#include "widgets/CMessageBox.h"

namespace {

CMessageBox* openBox()
{
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (auto* pBox = qobject_cast<CMessageBox*>(pWidget); pBox && pBox->isVisible())
            return pBox;
    }
    return nullptr;
}

// Once the modal loop runs: record what the box shows, then press button nPress. The box is always
// closed, so a failing check can never hang the test.
void answerNextBox(guitest::BoxSeen& seen, int nPress)
{
    QTimer::singleShot(0, qApp, [&seen, nPress]() {
        CMessageBox* pBox = openBox();
        if (!pBox)
            return;
        seen.strTitle = pBox->windowTitle();
        seen.strText = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        for (QAbstractButton* pButton : pBox->findChild<QDialogButtonBox*>()->buttons())
            seen.lstButtons << pButton->text();
        seen.imgIcon = pBox->findChild<QLabel*>(QStringLiteral("msgboxex_icon_label"))->pixmap().toImage();
        if (QAbstractButton* pButton = pBox->customButtons().value(nPress))
            QTest::mouseClick(pButton, Qt::LeftButton);
        else
            pBox->done(-100);
    });
}

bool panelCentred(const CMessageBox& box)
{
    const QRect rectBox = box.geometry();
    const QSize sizePanel = box.panel()->size();
    return box.panel()->pos() == QPoint(rectBox.x() + (rectBox.width() - sizePanel.width()) / 2,
                                        rectBox.y() + (rectBox.height() - sizePanel.height()) / 2);
}

} // namespace

class TestGuiMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void staticFunctionsShowTheirKindAndReturnThePressedIndex();
    void panelStaysCentredOverTheAskingWindow();

private:
    QWidget* pOwner = nullptr;
};

void TestGuiMessageBox::init()
{
    pOwner = new QWidget(nullptr, Qt::FramelessWindowHint);
    pOwner->setGeometry(50, 60, 420, 320);
    pOwner->show();
    QVERIFY(QTest::qWaitForWindowExposed(pOwner));
}

void TestGuiMessageBox::cleanup()
{
    delete pOwner;
    pOwner = nullptr;
}

void TestGuiMessageBox::staticFunctionsShowTheirKindAndReturnThePressedIndex()
{
    using Fn =
        int (*)(QWidget*, const QString&, const QString&, const QString&, const QString&, const QString&, int, int);
    const std::pair<Fn, int> calls[] = {{&CMessageBox::information, 1},
                                        {&CMessageBox::warning, 2},
                                        {&CMessageBox::critical, 3},
                                        {&CMessageBox::question, 4}};
    for (const auto& [fn, nIcon] : calls) {
        const int nPress = nIcon % 3; // 1, 2, 0, 1
        guitest::BoxSeen seen;
        answerNextBox(seen, nPress);
        QCOMPARE(fn(pOwner, QStringLiteral("Prompt"), QStringLiteral("Go on?"), QStringLiteral("Yes"),
                    QStringLiteral("No"), QStringLiteral("Later"), 0, -1),
                 nPress);
        QCOMPARE(seen.strTitle, QStringLiteral("Prompt"));
        QCOMPARE(seen.strText, QStringLiteral("Go on?"));
        QCOMPARE(seen.lstButtons, QStringList({"Yes", "No", "Later"}));
        QCOMPARE(seen.imgIcon, guitest::boxIcon(nIcon));
    }
    // Without button texts a lone OK is added, in the installed translation.
    QTranslator translator;
    QVERIFY(translator.load(QCoreApplication::applicationDirPath() + QStringLiteral("/language/vantrel_zh.qm")));
    QCoreApplication::installTranslator(&translator);
    guitest::BoxSeen seen;
    answerNextBox(seen, 0);
    const int nResult = CMessageBox::critical(pOwner, QStringLiteral("Error"), QStringLiteral("Bad"), QString());
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(nResult, 0);
    QCOMPARE(seen.lstButtons, QStringList({QString::fromUtf8("确定")}));

    // A box is not left behind.
    QTRY_VERIFY(!openBox());
    QVERIFY(pOwner->findChildren<CMessageBox*>().isEmpty());
}

void TestGuiMessageBox::panelStaysCentredOverTheAskingWindow()
{
    CMessageBox box(1, QStringLiteral("Tips"), QStringLiteral("Set Subnet Mask Failed"), QDialogButtonBox::NoButton,
                    pOwner);
    box.addButton(QStringLiteral("OK"), QDialogButtonBox::ActionRole);
    QVERIFY(box.isModal());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QFrame* pPanel = box.panel();
    QTRY_VERIFY(pPanel->isVisible());
    // The overlay covers the asking window, the panel sits in its middle.
    QCOMPARE(box.geometry(), QRect(50, 60, 420, 320));
    QTRY_VERIFY(panelCentred(box));

    // The asking window grows and moves: the overlay follows, the panel stays in its middle.
    pOwner->setGeometry(30, 40, 600, 420);
    QTRY_COMPARE(box.geometry(), QRect(30, 40, 600, 420));
    QTRY_VERIFY(panelCentred(box));
    // The panel itself grows: it is placed again.
    pPanel->resize(pPanel->size() + QSize(81, 47));
    QTRY_VERIFY(panelCentred(box));
}

QTEST_MAIN(TestGuiMessageBox)
#include "tst_gui_messagebox.moc"
