// The program's message box driven the way callers use it: the static functions run it modally over
// the asking window, a test timer reads what it shows and presses a button.
#include <QAbstractButton>
#include <QApplication>
#include <QBitmap>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <functional>

#include "widgets/CMessageBox.h"

namespace {

struct Seen
{
    bool bFound = false;
    QString strTitle;
    QString strText;
    QStringList lstButtons;
    QRect rectBox;
    QRect rectPanel;
    bool bModal = false;
    bool bPanelVisible = false;
};

CMessageBox* openBox()
{
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (auto* pBox = qobject_cast<CMessageBox*>(pWidget); pBox && pBox->isVisible())
            return pBox;
    }
    return nullptr;
}

// Once the modal loop runs: record what the box shows, run an optional action inside the loop, then
// press button nPress. The box is always closed, so a failing check can never hang the test.
void answerNextBox(Seen& seen, int nPress, std::function<void(CMessageBox*)> action = {})
{
    QTimer::singleShot(0, qApp, [&seen, nPress, action]() {
        CMessageBox* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        if (!pBox)
            pBox = openBox();
        if (!pBox)
            return;
        seen.bFound = true;
        seen.strTitle = pBox->windowTitle();
        seen.strText = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        auto* pButtonBox = pBox->findChild<QDialogButtonBox*>(QStringLiteral("msgbox_buttonbox"));
        for (QAbstractButton* pButton : pButtonBox->buttons())
            seen.lstButtons << pButton->text();
        seen.bModal = pBox->isModal();
        seen.bPanelVisible = pBox->panel()->isVisible();
        if (action)
            action(pBox);
        seen.rectBox = pBox->geometry();
        seen.rectPanel = pBox->panel()->geometry();
        const QList<QAbstractButton*> lstButtons = pBox->customButtons();
        if (nPress >= 0 && nPress < lstButtons.size())
            QTest::mouseClick(lstButtons.at(nPress), Qt::LeftButton);
        else
            pBox->done(-100);
    });
}

QPoint centredPanelPos(const QRect& rectBox, const QSize& sizePanel)
{
    return QPoint(rectBox.x() + (rectBox.width() - sizePanel.width()) / 2,
                  rectBox.y() + (rectBox.height() - sizePanel.height()) / 2);
}

QImage pictureOf(const QLabel* pLabel)
{
    return pLabel->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourceImage(const char* szPath)
{
    return QImage(QLatin1String(szPath)).convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestGuiMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void threeButtonsReturnTheirIndex();
    void emptyButtonTextGivesTranslatedOk();
    void iconsByKind();
    void richTextWrapsPlainTextDoesNot();
    void emptyTitleAndTextLeaveBoxUntouched();
    void overlayCoversAskingWindowAndPanelStaysCentred();
    void panelIsRoundedGreyOverBlackOverlay();
    void withoutParentCoversPrimaryWorkArea();
    void buttonsCanBeRemovedAndReadded();

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

void TestGuiMessageBox::threeButtonsReturnTheirIndex()
{
    for (int nPress = 0; nPress < 3; ++nPress) {
        Seen seen;
        answerNextBox(seen, nPress);
        const int nResult = CMessageBox::question(pOwner, QStringLiteral("Prompt"), QStringLiteral("Go on?"),
                                                  QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Later"));
        QVERIFY(seen.bFound);
        QCOMPARE(nResult, nPress);
        QCOMPARE(seen.lstButtons, QStringList({"Yes", "No", "Later"}));
        QCOMPARE(seen.strTitle, QStringLiteral("Prompt"));
        QCOMPARE(seen.strText, QStringLiteral("Go on?"));
        QVERIFY(seen.bModal);
        QVERIFY(seen.bPanelVisible);
    }
    // A box is not left behind.
    QTRY_VERIFY(!openBox());
    QVERIFY(pOwner->findChildren<CMessageBox*>().isEmpty());

    // Two buttons, the second pressed.
    Seen seen;
    answerNextBox(seen, 1);
    QCOMPARE(CMessageBox::warning(pOwner, QStringLiteral("T"), QStringLiteral("x"), QStringLiteral("A"),
                                  QStringLiteral("B")),
             1);
    QCOMPARE(seen.lstButtons, QStringList({"A", "B"}));
}

void TestGuiMessageBox::emptyButtonTextGivesTranslatedOk()
{
    Seen seen;
    answerNextBox(seen, 0);
    QCOMPARE(CMessageBox::information(pOwner, QStringLiteral("Tips"), QStringLiteral("Done"), QString()), 0);
    QCOMPARE(seen.lstButtons, QStringList({"OK"}));

    QTranslator translator;
    QVERIFY(translator.load(QCoreApplication::applicationDirPath() + QStringLiteral("/language/vantrel_zh.qm")));
    QCoreApplication::installTranslator(&translator);
    Seen seenZh;
    answerNextBox(seenZh, 0);
    const int nResult = CMessageBox::critical(pOwner, QStringLiteral("Error"), QStringLiteral("Bad"), QString());
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(nResult, 0);
    QCOMPARE(seenZh.lstButtons, QStringList({QString::fromUtf8("确定")}));
}

void TestGuiMessageBox::iconsByKind()
{
    const QImage imageInfo = resourceImage(":/Pellmar/Res/infomation.png");
    const QImage imageError = resourceImage(":/Pellmar/Res/error.png");
    const QImage imageQuestion = resourceImage(":/Pellmar/Res/question.png");
    QVERIFY(!imageInfo.isNull() && !imageError.isNull() && !imageQuestion.isNull());

    {
        CMessageBox box(0, QStringLiteral("T"), QStringLiteral("x"), QDialogButtonBox::NoButton, pOwner);
        auto* pIcon = box.findChild<QLabel*>(QStringLiteral("msgboxex_icon_label"));
        QVERIFY(pIcon);
        QVERIFY(pIcon->pixmap().isNull());
        QCOMPARE(pIcon->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    }
    const QImage expected[] = {QImage(), imageInfo, imageError, imageError, imageQuestion};
    for (int nIcon = 1; nIcon <= 4; ++nIcon) {
        CMessageBox box(nIcon, QStringLiteral("T"), QStringLiteral("x"), QDialogButtonBox::NoButton, pOwner);
        QCOMPARE(pictureOf(box.findChild<QLabel*>(QStringLiteral("msgboxex_icon_label"))), expected[nIcon]);
    }
    QVERIFY(imageInfo != imageError);
    QVERIFY(imageInfo != imageQuestion);
    QVERIFY(imageError != imageQuestion);

    // The static functions pick their kind's picture.
    using Fn =
        int (*)(QWidget*, const QString&, const QString&, const QString&, const QString&, const QString&, int, int);
    const std::pair<Fn, QImage> calls[] = {{&CMessageBox::information, imageInfo},
                                           {&CMessageBox::warning, imageError},
                                           {&CMessageBox::critical, imageError},
                                           {&CMessageBox::question, imageQuestion}};
    for (const auto& call : calls) {
        QImage imageSeen;
        Seen seen;
        answerNextBox(seen, 0, [&imageSeen](CMessageBox* pBox) {
            imageSeen = pictureOf(pBox->findChild<QLabel*>(QStringLiteral("msgboxex_icon_label")));
        });
        QCOMPARE(call.first(pOwner, QStringLiteral("T"), QStringLiteral("x"), QStringLiteral("OK"), QString(),
                            QString(), 0, -1),
                 0);
        QCOMPARE(imageSeen, call.second);
    }
}

void TestGuiMessageBox::richTextWrapsPlainTextDoesNot()
{
    CMessageBox box(1, QStringLiteral("T"), QStringLiteral("<b>Upgrade</b> finished on <i>3</i> devices"),
                    QDialogButtonBox::NoButton, pOwner);
    auto* pLabel = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(pLabel->wordWrap());
    QCOMPARE(pLabel->alignment(), Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(pLabel->contentsMargins(), QMargins(2, 0, 30, 0));
    QCOMPARE(pLabel->indent(), 9);
    QVERIFY(pLabel->openExternalLinks());

    box.setText(QStringLiteral("Please add device first"));
    QVERIFY(!pLabel->wordWrap());
    QCOMPARE(box.text(), QStringLiteral("Please add device first"));

    // A label forced to rich text wraps whatever the text looks like.
    pLabel->setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("plain words"));
    QVERIFY(pLabel->wordWrap());
    pLabel->setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("<b>tags</b> shown as they are"));
    QVERIFY(!pLabel->wordWrap());
}

void TestGuiMessageBox::emptyTitleAndTextLeaveBoxUntouched()
{
    // Title changes are counted at the application, where even the constructor's cannot hide.
    struct TitleCounter : QObject
    {
        int nChanges = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::WindowTitleChange && qobject_cast<CMessageBox*>(watched))
                ++nChanges;
            return false;
        }
    } counter;
    qApp->installEventFilter(&counter);
    {
        CMessageBox box(1, QString(), QString(), QDialogButtonBox::NoButton, pOwner);
        QCOMPARE(counter.nChanges, 0);
        QVERIFY(box.windowTitle().isEmpty());
        QVERIFY(box.text().isEmpty());
    }
    {
        CMessageBox box(1, QStringLiteral("Tips"), QString(), QDialogButtonBox::NoButton, pOwner);
        QCOMPARE(counter.nChanges, 1);
        QCOMPARE(box.windowTitle(), QStringLiteral("Tips"));
    }
    {
        CMessageBox box(1, QString(), QStringLiteral("Only text"), QDialogButtonBox::NoButton, pOwner);
        QCOMPARE(box.text(), QStringLiteral("Only text"));
    }
    qApp->removeEventFilter(&counter);
}

void TestGuiMessageBox::overlayCoversAskingWindowAndPanelStaysCentred()
{
    Seen seen;
    QRect rectBoxAtStart;
    QRect rectPanelAtStart;
    QRect rectBoxAfterOwner;
    QRect rectPanelAfterOwner;
    bool bFollowedOwner = false;
    bool bFollowedPanel = false;
    answerNextBox(seen, 0, [&](CMessageBox* pBox) {
        QFrame* pPanel = pBox->panel();
        rectBoxAtStart = pBox->geometry();
        rectPanelAtStart = pPanel->geometry();
        // The asking window grows and moves: the overlay follows, the panel stays in its middle.
        pOwner->setGeometry(30, 40, 600, 420);
        bFollowedOwner = QTest::qWaitFor([&]() { return pBox->geometry() == QRect(30, 40, 600, 420); }, 5000);
        rectBoxAfterOwner = pBox->geometry();
        rectPanelAfterOwner = pPanel->geometry();
        // The panel itself grows: it is placed again.
        pPanel->resize(pPanel->width() + 81, pPanel->height() + 47);
        bFollowedPanel =
            QTest::qWaitFor([&]() { return pPanel->pos() == centredPanelPos(pBox->geometry(), pPanel->size()); }, 5000);
    });
    QCOMPARE(CMessageBox::information(pOwner, QStringLiteral("Tips"), QStringLiteral("Set Subnet Mask Failed"),
                                      QStringLiteral("OK")),
             0);
    QVERIFY(seen.bFound);
    QVERIFY(bFollowedOwner);
    QVERIFY(bFollowedPanel);
    QCOMPARE(rectBoxAtStart, QRect(50, 60, 420, 320));
    QVERIFY(rectPanelAtStart.width() >= 250);
    QCOMPARE(rectPanelAtStart.topLeft(), centredPanelPos(rectBoxAtStart, rectPanelAtStart.size()));
    QCOMPARE(rectBoxAfterOwner, QRect(30, 40, 600, 420));
    QCOMPARE(rectPanelAfterOwner.topLeft(), centredPanelPos(rectBoxAfterOwner, rectPanelAfterOwner.size()));
    QCOMPARE(seen.rectPanel.size(), rectPanelAfterOwner.size() + QSize(81, 47));
    QCOMPARE(seen.rectPanel.topLeft(), centredPanelPos(seen.rectBox, seen.rectPanel.size()));
}

void TestGuiMessageBox::panelIsRoundedGreyOverBlackOverlay()
{
    CMessageBox box(1, QStringLiteral("Tips"), QStringLiteral("Please add device first"), QDialogButtonBox::NoButton,
                    pOwner);
    box.addButton(QStringLiteral("OK"), QDialogButtonBox::ActionRole);
    QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(qAbs(box.windowOpacity() - 0.5) < 0.01);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QFrame* pPanel = box.panel();
    QTRY_VERIFY(pPanel->isVisible());
    QVERIFY(pPanel->isWindow());
    QVERIFY(pPanel->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(pPanel->parent(), &box);
    QCOMPARE(pPanel->minimumWidth(), 250);

    const QImage imageBox = box.grab().toImage();
    QCOMPARE(imageBox.pixelColor(imageBox.width() / 2, imageBox.height() / 2), QColor(Qt::black));

    const QImage imagePanel = pPanel->grab().toImage();
    QCOMPARE(imagePanel.pixelColor(imagePanel.width() - 4, imagePanel.height() / 2), QColor(240, 240, 240));

    const QRegion mask = pPanel->mask();
    QVERIFY(!mask.isEmpty());
    const int w = pPanel->width();
    const int h = pPanel->height();
    QVERIFY(mask.contains(QPoint(w / 2, h / 2)));
    QVERIFY(mask.contains(QPoint(6, 0)));
    QVERIFY(mask.contains(QPoint(0, h / 2)));
    for (const QPoint& ptCorner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        QVERIFY2(!mask.contains(ptCorner), "the corners are cut off");
    box.done(0);
    QVERIFY(!pPanel->isVisible() || box.isHidden());
}

void TestGuiMessageBox::withoutParentCoversPrimaryWorkArea()
{
    Seen seen;
    answerNextBox(seen, 0);
    QCOMPARE(
        CMessageBox::information(nullptr, QStringLiteral("Tips"), QStringLiteral("No window"), QStringLiteral("OK")),
        0);
    QVERIFY(seen.bFound);
    QCOMPARE(seen.rectBox, QGuiApplication::primaryScreen()->availableGeometry());
    QCOMPARE(seen.rectPanel.topLeft(), centredPanelPos(seen.rectBox, seen.rectPanel.size()));
}

void TestGuiMessageBox::buttonsCanBeRemovedAndReadded()
{
    CMessageBox box(4, QStringLiteral("T"), QStringLiteral("x"), QDialogButtonBox::Cancel, pOwner);
    auto* pButtonBox = box.findChild<QDialogButtonBox*>(QStringLiteral("msgbox_buttonbox"));
    QVERIFY(pButtonBox->centerButtons());
    QCOMPARE(pButtonBox->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Cancel));
    QPushButton* pFirst = box.addButton(QStringLiteral("First"), QDialogButtonBox::ActionRole);
    QPushButton* pSecond = box.addButton(QStringLiteral("Second"), QDialogButtonBox::ActionRole);
    QCOMPARE(pButtonBox->buttonRole(pFirst), QDialogButtonBox::ActionRole);
    box.addButton(pFirst, QDialogButtonBox::ActionRole);
    QCOMPARE(box.customButtons(), QList<QAbstractButton*>({pSecond, pFirst}));
    box.removeButton(pSecond);
    QCOMPARE(box.customButtons(), QList<QAbstractButton*>({pFirst}));
    QVERIFY(!pButtonBox->buttons().contains(pSecond));
    box.addButton(nullptr, QDialogButtonBox::ActionRole);
    QCOMPARE(box.customButtons().size(), 1);
    delete pSecond;

    // A standard button answers with its own value, a custom one with its index.
    QTimer::singleShot(
        0, &box, [pButtonBox]() { QTest::mouseClick(pButtonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton); });
    QCOMPARE(box.exec(), int(QDialogButtonBox::Cancel));
    QTimer::singleShot(0, &box, [pFirst]() { QTest::mouseClick(pFirst, Qt::LeftButton); });
    QCOMPARE(box.exec(), 0);
}

QTEST_MAIN(TestGuiMessageBox)
#include "tst_gui_messagebox.moc"
