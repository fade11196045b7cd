// The four-octet address editor driven by key presses on the real widgets: what setText accepts,
// what text() and the two signals report, how the cursor moves between octets, and the layout.
#include <QApplication>
#include <QIntValidator>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "CMyIpAddrEdit.h"
#include "CMyIpPartLineEdit.h"

class TestGuiIpEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void octetsAreBuiltLinkedAndStyled();
    void setTextAcceptsOnlyCompleteAddresses_data();
    void setTextAcceptsOnlyCompleteAddresses();
    void textKeepsEmptyOctetsInPlace();
    void changedOnEveryChangeEditedOnlyOnUserEdits();
    void octetTakesOnlyNumbersUpTo255();
    void completeOctetAdvancesToEmptyNext();
    void periodMovesOnFromFilledOctetOnly();
    void arrowsCrossOctetEdges();
    void backspaceInEmptyOctetSelectsPrevious();
    void focusEntrySelectsOctet();
    void editEnabledSwitchesAllParts();
    void layoutFollowsWidth();

private:
    CMyIpPartLineEdit* part(int nIndex) const { return pEditor->partEdit(nIndex); }
    QStringList octets() const;
    // Keys go where a user's would: to the widget that has the focus at that moment.
    void type(const QString& strKeys);
    void press(Qt::Key key);
    bool focusOn(int nIndex);

    std::unique_ptr<CMyIpAddrEdit> pEditor;
};

void TestGuiIpEdit::init()
{
    pEditor = std::make_unique<CMyIpAddrEdit>();
    pEditor->resize(200, 30);
    pEditor->show();
    pEditor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(pEditor.get()));
}

void TestGuiIpEdit::cleanup()
{
    pEditor.reset();
}

QStringList TestGuiIpEdit::octets() const
{
    QStringList lstOctets;
    for (int i = 0; i < 4; ++i)
        lstOctets << part(i)->text();
    return lstOctets;
}

void TestGuiIpEdit::type(const QString& strKeys)
{
    for (const QChar ch : strKeys) {
        QWidget* pTarget = QApplication::focusWidget();
        QVERIFY(pTarget);
        QTest::keyClick(pTarget, ch.toLatin1());
    }
}

void TestGuiIpEdit::press(Qt::Key key)
{
    QWidget* pTarget = QApplication::focusWidget();
    QVERIFY(pTarget);
    QTest::keyClick(pTarget, key);
}

bool TestGuiIpEdit::focusOn(int nIndex)
{
    part(nIndex)->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == part(nIndex); }, 2000);
}

void TestGuiIpEdit::octetsAreBuiltLinkedAndStyled()
{
    const QString strStyle[4] = {
        QStringLiteral("#IPLineEdit{border-right:0px;border-radius:0px;}"),
        QStringLiteral("#IPLineEdit{border-left:0px;border-right:0px;border-radius:0px;}"),
        QStringLiteral("#IPLineEdit{border-left:0px;border-right:0px;border-radius:0px;}"),
        QStringLiteral("#IPLineEdit{border-left:0px;border-radius:0px;}"),
    };
    for (int i = 0; i < 4; ++i) {
        CMyIpPartLineEdit* pPart = part(i);
        QVERIFY(pPart);
        QCOMPARE(pPart->parentWidget(), pEditor.get());
        QCOMPARE(pPart->index(), i);
        QCOMPARE(pPart->objectName(), QStringLiteral("IPLineEdit"));
        QCOMPARE(pPart->maxLength(), 3);
        QVERIFY(!pPart->hasFrame());
        QCOMPARE(pPart->alignment(), Qt::AlignCenter);
        QCOMPARE(pPart->styleSheet(), strStyle[i]);
        const auto* pValidator = qobject_cast<const QIntValidator*>(pPart->validator());
        QVERIFY(pValidator);
        QCOMPARE(pValidator->bottom(), 0);
        QCOMPARE(pValidator->top(), 255);
        QCOMPARE(pPart->previousEdit(), i > 0 ? part(i - 1) : nullptr);
        QCOMPARE(pPart->nextEdit(), i < 3 ? part(i + 1) : nullptr);
    }
    QCOMPARE(pEditor->findChildren<QLabel*>().size(), 3);
    for (int i = 0; i < 3; ++i) {
        QLabel* pDot = pEditor->dotLabel(i);
        QVERIFY(pDot);
        QCOMPARE(pDot->parentWidget(), pEditor.get());
        QCOMPARE(pDot->text(), QStringLiteral(" ."));
        QCOMPARE(pDot->alignment(), Qt::AlignCenter);
    }
    QVERIFY(!pEditor->partEdit(4) && !pEditor->partEdit(-1) && !pEditor->dotLabel(3));

    // Tab walks the octets left to right.
    QVERIFY(focusOn(0));
    for (int i = 1; i < 4; ++i) {
        press(Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(i)));
    }
}

void TestGuiIpEdit::setTextAcceptsOnlyCompleteAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("expected");
    const QStringList empty = {QString(), QString(), QString(), QString()};
    QTest::newRow("plain") << "192.168.1.10" << QStringList{"192", "168", "1", "10"};
    QTest::newRow("bounds") << "0.255.249.200" << QStringList{"0", "255", "249", "200"};
    QTest::newRow("leading zeros") << "010.001.1.1" << QStringList{"010", "001", "1", "1"};
    QTest::newRow("octet above 255") << "192.168.1.256" << empty;
    QTest::newRow("260") << "260.1.1.1" << empty;
    QTest::newRow("three octets") << "192.168.1" << empty;
    QTest::newRow("trailing dot") << "192.168.1." << empty;
    QTest::newRow("five octets") << "1.2.3.4.5" << empty;
    QTest::newRow("letters") << "a.b.c.d" << empty;
    QTest::newRow("letter suffix") << "192.168.1.1x" << empty;
    QTest::newRow("four digits") << "1.2.3.0001" << empty;
    QTest::newRow("blank inside") << "192.168. 1.1" << empty;
    QTest::newRow("empty octet") << "10..0.1" << empty;
    QTest::newRow("empty") << "" << empty;
}

void TestGuiIpEdit::setTextAcceptsOnlyCompleteAddresses()
{
    QFETCH(QString, address);
    QFETCH(QStringList, expected);
    // Start from a filled editor so that emptying is visible.
    pEditor->setText(QStringLiteral("1.2.3.4"));
    QCOMPARE(octets(), (QStringList{"1", "2", "3", "4"}));

    pEditor->setText(address);
    QCOMPARE(octets(), expected);
    QCOMPARE(pEditor->text(), expected.join(QLatin1Char('.')));
}

void TestGuiIpEdit::textKeepsEmptyOctetsInPlace()
{
    QCOMPARE(pEditor->text(), QStringLiteral("..."));
    part(0)->setText(QStringLiteral("10"));
    part(2)->setText(QStringLiteral("0"));
    part(3)->setText(QStringLiteral("1"));
    QCOMPARE(pEditor->text(), QStringLiteral("10..0.1"));
}

void TestGuiIpEdit::changedOnEveryChangeEditedOnlyOnUserEdits()
{
    QSignalSpy spyChanged(pEditor.get(), &CMyIpAddrEdit::textchanged);
    QSignalSpy spyEdited(pEditor.get(), &CMyIpAddrEdit::textedited);

    // setText fills the octets one by one; each change reports the whole text as it then stands.
    pEditor->setText(QStringLiteral("192.168.1.10"));
    QCOMPARE(spyChanged.size(), 4);
    QCOMPARE(spyChanged.at(0).at(0).toString(), QStringLiteral("192..."));
    QCOMPARE(spyChanged.at(3).at(0).toString(), QStringLiteral("192.168.1.10"));
    QCOMPARE(spyEdited.size(), 0);

    // An invalid address empties every octet: four more changes, still no edit.
    pEditor->setText(QStringLiteral("192.168.1.256"));
    QCOMPARE(spyChanged.size(), 8);
    QCOMPARE(spyChanged.last().at(0).toString(), QStringLiteral("..."));
    QCOMPARE(spyEdited.size(), 0);

    // The user types into octet 2: one change and one edit per accepted key.
    pEditor->setText(QStringLiteral("192.168.1.10"));
    spyChanged.clear();
    QVERIFY(focusOn(2));
    part(2)->setCursorPosition(1);
    type(QStringLiteral("7"));
    QCOMPARE(pEditor->text(), QStringLiteral("192.168.17.10"));
    QCOMPARE(spyChanged.size(), 1);
    QCOMPARE(spyEdited.size(), 1);
    QCOMPARE(spyEdited.at(0).at(0).toString(), QStringLiteral("192.168.17.10"));

    // A key the octet refuses changes nothing and reports nothing.
    type(QStringLiteral("x"));
    QCOMPARE(spyChanged.size(), 1);
    QCOMPARE(spyEdited.size(), 1);

    press(Qt::Key_Backspace);
    QCOMPARE(spyEdited.size(), 2);
    QCOMPARE(spyEdited.last().at(0).toString(), QStringLiteral("192.168.1.10"));
    QCOMPARE(spyChanged.size(), 2);
}

void TestGuiIpEdit::octetTakesOnlyNumbersUpTo255()
{
    QVERIFY(focusOn(3));
    type(QStringLiteral("+-x 26"));
    QCOMPARE(part(3)->text(), QStringLiteral("26"));
    // 260 and above would need a third digit the octet refuses.
    type(QStringLiteral("0"));
    QCOMPARE(part(3)->text(), QStringLiteral("26"));
    press(Qt::Key_Backspace);
    type(QStringLiteral("55"));
    QCOMPARE(part(3)->text(), QStringLiteral("255"));
    type(QStringLiteral("5"));
    QCOMPARE(part(3)->text(), QStringLiteral("255"));
    part(3)->selectAll();
    type(QStringLiteral("099"));
    QCOMPARE(part(3)->text(), QStringLiteral("099"));
}

void TestGuiIpEdit::completeOctetAdvancesToEmptyNext()
{
    // 30 cannot take a third digit: on to the empty octet 1.
    QVERIFY(focusOn(0));
    type(QStringLiteral("30"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    QCOMPARE(part(0)->text(), QStringLiteral("30"));

    // 25 may still become 250: stay until the third digit.
    type(QStringLiteral("25"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    type(QStringLiteral("0"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(2)));
    QCOMPARE(pEditor->text(), QStringLiteral("30.250.."));

    // One digit never advances, even 9.
    type(QStringLiteral("9"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(2)));

    // The whole address typed straight through, the dots not needed.
    pEditor->setText(QString());
    QVERIFY(focusOn(0));
    type(QStringLiteral("192168110"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(3)));
    QCOMPARE(pEditor->text(), QStringLiteral("192.168.110."));
    // Octet 3 has no next: its third digit goes nowhere and a fourth is refused.
    type(QStringLiteral("2547"));
    QCOMPARE(pEditor->text(), QStringLiteral("192.168.110.254"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(3)));

    // A filled next octet is not taken over, neither after two digits above 25 nor after three.
    pEditor->setText(QStringLiteral("1.168.1.1"));
    part(0)->clear();
    QVERIFY(focusOn(0));
    type(QStringLiteral("30"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    type(QStringLiteral("0"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    QCOMPARE(pEditor->text(), QStringLiteral("30.168.1.1"));
}

void TestGuiIpEdit::periodMovesOnFromFilledOctetOnly()
{
    pEditor->setText(QStringLiteral("10.20.30.40"));
    part(1)->clear();

    // Empty octet: the dot neither moves nor lands anywhere.
    QVERIFY(focusOn(1));
    type(QStringLiteral("."));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    QCOMPARE(pEditor->text(), QStringLiteral("10..30.40"));

    // Filled octet: on to the next with its text selected, so typing replaces it.
    QVERIFY(focusOn(0));
    part(0)->setCursorPosition(1);
    type(QStringLiteral("."));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    QCOMPARE(part(0)->text(), QStringLiteral("10"));
    type(QStringLiteral("7."));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(2)));
    QCOMPARE(part(2)->selectedText(), QStringLiteral("30"));
    type(QStringLiteral("8"));
    QCOMPARE(pEditor->text(), QStringLiteral("10.7.8.40"));

    // Last octet: nothing to move to, nothing inserted.
    QVERIFY(focusOn(3));
    part(3)->setCursorPosition(2);
    type(QStringLiteral("."));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(3)));
    QCOMPARE(part(3)->text(), QStringLiteral("40"));
}

void TestGuiIpEdit::arrowsCrossOctetEdges()
{
    pEditor->setText(QStringLiteral("192.168.1.10"));

    // Left at the start of octet 2: the end of octet 1, nothing selected.
    QVERIFY(focusOn(2));
    part(2)->setCursorPosition(0);
    press(Qt::Key_Left);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    QCOMPARE(part(1)->cursorPosition(), 3);
    QVERIFY(!part(1)->hasSelectedText());

    // Inside an octet the arrows only move the cursor.
    press(Qt::Key_Left);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    QCOMPARE(part(1)->cursorPosition(), 2);

    // Right at the end of octet 1: the start of octet 2.
    part(1)->setCursorPosition(3);
    press(Qt::Key_Right);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(2)));
    QCOMPARE(part(2)->cursorPosition(), 0);
    QVERIFY(!part(2)->hasSelectedText());

    // The outer edges stay put and report no move.
    QSignalSpy spyLeftEdge(part(0), &CMyIpPartLineEdit::keyPressLeftOrRight);
    QSignalSpy spyRightEdge(part(3), &CMyIpPartLineEdit::keyPressLeftOrRight);
    QVERIFY(focusOn(0));
    part(0)->setCursorPosition(0);
    press(Qt::Key_Left);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    QCOMPARE(part(0)->cursorPosition(), 0);
    QVERIFY(focusOn(3));
    part(3)->setCursorPosition(2);
    press(Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(3)));
    QCOMPARE(part(3)->cursorPosition(), 2);
    QCOMPARE(spyLeftEdge.size(), 0);
    QCOMPARE(spyRightEdge.size(), 0);

    // The editor's slot ignores octets that do not exist.
    pEditor->onKeyPressLeftOrRight(Qt::Key_Right, 4);
    pEditor->onKeyPressLeftOrRight(Qt::Key_Left, -1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(3)));
    pEditor->onKeyPressLeftOrRight(Qt::Key_Left, 0);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    QCOMPARE(part(0)->cursorPosition(), 3);
}

void TestGuiIpEdit::backspaceInEmptyOctetSelectsPrevious()
{
    pEditor->setText(QStringLiteral("192.168.1.10"));
    part(1)->clear();

    // The key moves to octet 0 and selects it; it deletes nothing there in the same press.
    QVERIFY(focusOn(1));
    press(Qt::Key_Backspace);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    QCOMPARE(part(0)->text(), QStringLiteral("192"));
    QCOMPARE(part(0)->selectedText(), QStringLiteral("192"));

    // In a filled octet it deletes as usual and stays.
    QVERIFY(focusOn(2));
    part(2)->setCursorPosition(1);
    press(Qt::Key_Backspace);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(2)));
    QCOMPARE(pEditor->text(), QStringLiteral("192...10"));
    // Now empty: the next press goes back to octet 1, which is empty too.
    press(Qt::Key_Backspace);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(1)));
    // Octet 0 has no previous: Backspace in an empty octet 0 stays.
    part(0)->clear();
    QVERIFY(focusOn(0));
    press(Qt::Key_Backspace);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part(0)));
    QCOMPARE(pEditor->text(), QStringLiteral("...10"));
}

void TestGuiIpEdit::focusEntrySelectsOctet()
{
    pEditor->setText(QStringLiteral("192.168.1.10"));
    QVERIFY(focusOn(0));
    QVERIFY(focusOn(1));
    QCOMPARE(part(1)->selectedText(), QStringLiteral("168"));
    // Typing replaces the selected octet.
    type(QStringLiteral("5"));
    QCOMPARE(pEditor->text(), QStringLiteral("192.5.1.10"));
}

void TestGuiIpEdit::editEnabledSwitchesAllParts()
{
    pEditor->setEditEnabled(false);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!part(i)->isEnabled());
    for (int i = 0; i < 3; ++i)
        QVERIFY(!pEditor->dotLabel(i)->isEnabled());
    QVERIFY(pEditor->isEnabled());

    pEditor->setEditEnabled(true);
    for (int i = 0; i < 4; ++i)
        QVERIFY(part(i)->isEnabled());
    for (int i = 0; i < 3; ++i)
        QVERIFY(pEditor->dotLabel(i)->isEnabled());
}

void TestGuiIpEdit::layoutFollowsWidth()
{
    // 203 does not divide by 4: the last octet takes the remainder.
    for (const QSize size : {QSize(203, 30), QSize(120, 24)}) {
        pEditor->resize(size);
        QTRY_COMPARE(pEditor->size(), size);
        const int w = size.width() / 4;
        const int h = size.height();
        QCOMPARE(part(0)->geometry(), QRect(0, 0, w, h));
        QCOMPARE(part(1)->geometry(), QRect(w, 0, w, h));
        QCOMPARE(part(2)->geometry(), QRect(2 * w, 0, w, h));
        QCOMPARE(part(3)->geometry(), QRect(3 * w, 0, size.width() - 3 * w, h));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(pEditor->dotLabel(i)->geometry(), QRect((i + 1) * w - 3, 1, 6, h - 2));
    }
}

QTEST_MAIN(TestGuiIpEdit)
#include "tst_gui_ipedit.moc"
