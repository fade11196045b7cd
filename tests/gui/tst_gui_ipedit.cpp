// The four-octet address editor driven by key presses on the real widgets: what setText accepts,
// what text() and the two signals report, what an octet takes and how the cursor moves between them.
// (Enabling and the tab order are Qt's.)
#include <QApplication>
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
    void setTextAcceptsOnlyCompleteAddresses();
    void changedOnEveryChangeEditedOnlyOnUserEdits();
    void keysMoveAcrossOctets();

private:
    CMyIpPartLineEdit* part(int nIndex) const { return pEditor->partEdit(nIndex); }
    CMyIpPartLineEdit* focusedPart() const { return qobject_cast<CMyIpPartLineEdit*>(QApplication::focusWidget()); }
    // Keys go where a user's would: to the widget that has the focus at that moment. '<' and '>' stand
    // for the arrow keys.
    void type(const QString& strKeys);
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

void TestGuiIpEdit::type(const QString& strKeys)
{
    for (const QChar ch : strKeys) {
        QWidget* pTarget = QApplication::focusWidget();
        QVERIFY(pTarget);
        const char c = ch.toLatin1();
        if (c == '<' || c == '>')
            QTest::keyClick(pTarget, c == '<' ? Qt::Key_Left : Qt::Key_Right);
        else
            QTest::keyClick(pTarget, c);
    }
}

bool TestGuiIpEdit::focusOn(int nIndex)
{
    part(nIndex)->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == part(nIndex); }, 2000);
}

void TestGuiIpEdit::setTextAcceptsOnlyCompleteAddresses()
{
    // Accepted addresses show as given, refused ones empty every octet. Each starts from a filled
    // editor so that emptying is visible.
    const QStringList lstAccepted = {"192.168.1.10", "0.255.249.200", "010.001.1.1"};
    const QStringList lstRefused = {"192.168.1.256", "260.1.1.1",    "192.168.1.", "1.2.3.4.5", "192.168.1.1x",
                                    "1.2.3.0001",    "192.168. 1.1", "10..0.1",    ""};
    for (const QString& strAddress : lstAccepted + lstRefused) {
        pEditor->setText(QStringLiteral("1.2.3.4"));
        pEditor->setText(strAddress);
        QCOMPARE(pEditor->text(), lstAccepted.contains(strAddress) ? strAddress : QStringLiteral("..."));
    }
    QVERIFY(!pEditor->partEdit(4) && !pEditor->partEdit(-1) && !pEditor->dotLabel(3));
}

void TestGuiIpEdit::changedOnEveryChangeEditedOnlyOnUserEdits()
{
    QSignalSpy spyChanged(pEditor.get(), &CMyIpAddrEdit::textchanged);
    QSignalSpy spyEdited(pEditor.get(), &CMyIpAddrEdit::textedited);

    // setText fills the octets one by one; each change reports the whole text as it then stands. An
    // invalid address empties every octet: four more changes. Neither is an edit.
    pEditor->setText(QStringLiteral("192.168.1.10"));
    QCOMPARE(spyChanged.size(), 4);
    QCOMPARE(spyChanged.at(0).at(0).toString(), QStringLiteral("192..."));
    QCOMPARE(spyChanged.at(3).at(0).toString(), QStringLiteral("192.168.1.10"));
    pEditor->setText(QStringLiteral("192.168.1.256"));
    QCOMPARE(spyChanged.size(), 8);
    QCOMPARE(spyChanged.last().at(0).toString(), QStringLiteral("..."));
    QCOMPARE(spyEdited.size(), 0);

    // The user types into octet 2: one change and one edit per accepted key, none for a refused one.
    pEditor->setText(QStringLiteral("192.168.1.10"));
    spyChanged.clear();
    QVERIFY(focusOn(2));
    part(2)->setCursorPosition(1);
    type(QStringLiteral("7x"));
    QCOMPARE(spyChanged.size(), 1);
    QCOMPARE(spyEdited.size(), 1);
    QCOMPARE(spyEdited.at(0).at(0).toString(), QStringLiteral("192.168.17.10"));
    type(QStringLiteral("\b"));
    QCOMPARE(spyChanged.size(), 2);
    QCOMPARE(spyEdited.size(), 2);
    QCOMPARE(spyEdited.last().at(0).toString(), QStringLiteral("192.168.1.10"));
}

void TestGuiIpEdit::keysMoveAcrossOctets()
{
    // Each step: octets to fill in (null: keep), octet to focus and where to put its cursor (-1:
    // keep), keys, then the octet that has the focus, the text, and the focused octet's selected text
    // (null: not checked) and cursor (-1: not checked).
    const struct
    {
        const char* szFill;
        int nFocus;
        int nCursor;
        const char* szKeys;
        int nFocusAfter;
        const char* szText;
        const char* szSelected;
        int nCursorAfter;
    } steps[] = {
        // A complete octet advances to an empty next one: 26 cannot take a third digit, 25 may still
        // become 250, one digit never advances.
        {"...", 0, -1, "26", 1, "26...", nullptr, -1},
        {nullptr, -1, -1, "25", 1, "26.25..", nullptr, -1},
        {nullptr, -1, -1, "0", 2, "26.250..", nullptr, -1},
        // Typed straight through, no dots needed; octet 3 has no next and refuses a fourth digit.
        {"...", 0, -1, "1921681102547", 3, "192.168.110.254", nullptr, -1},
        // Signs, letters and blanks are refused, and so is a digit that would make more than 255.
        {"...", 3, -1, "+-x 260", 3, "...26", nullptr, -1},
        {nullptr, -1, -1, "\b555", 3, "...255", nullptr, -1},
        // A filled next octet is not taken over.
        {".168.1.1", 0, -1, "260", 0, "26.168.1.1", nullptr, -1},
        // "." leaves a filled octet for the next, whose text is selected so that typing replaces it; in
        // an empty or the last octet it does nothing and lands nowhere.
        {"10..30.40", 1, -1, ".", 1, "10..30.40", nullptr, -1},
        {nullptr, 0, 1, ".", 1, "10..30.40", nullptr, -1},
        {nullptr, -1, -1, "7.", 2, "10.7.30.40", "30", -1},
        {nullptr, 3, 2, ".", 3, "10.7.30.40", nullptr, 2},
        // Arrows cross an octet's edge to the neighbour's near end, nothing selected; inside an octet
        // and at the field's outer edges they only move the cursor.
        {"192.168.1.10", 2, 0, "<", 1, "192.168.1.10", "", 3},
        {nullptr, -1, 3, ">", 2, "192.168.1.10", "", 0},
        {nullptr, 0, 0, "<", 0, "192.168.1.10", nullptr, 0},
        // Backspace in an empty octet selects the previous one without deleting there; in a filled
        // octet it deletes and stays; octet 0 has no previous.
        {"192..1.10", 1, -1, "\b", 0, "192..1.10", "192", -1},
        {nullptr, 2, 1, "\b", 2, "192...10", nullptr, -1},
        {nullptr, -1, -1, "\b", 1, "192...10", nullptr, -1},
        {"...10", 0, -1, "\b", 0, "...10", nullptr, -1},
        // Any focus entry selects the octet, so typing replaces it.
        {"192.168.1.10", 1, -1, "", 1, "192.168.1.10", "168", -1},
        {nullptr, -1, -1, "5", 1, "192.5.1.10", nullptr, -1},
    };
    // The outer octets have no neighbour to hand the cursor to.
    QSignalSpy spyLeftEdge(part(0), &CMyIpPartLineEdit::keyPressLeftOrRight);
    QSignalSpy spyRightEdge(part(3), &CMyIpPartLineEdit::keyPressLeftOrRight);
    const auto state = [](int nStep, int nFocus, const QString& strText, const QString& strSelected, int nCursor) {
        return QStringLiteral("step %1: octet %2 '%3' selected '%4' cursor %5")
            .arg(nStep)
            .arg(nFocus)
            .arg(strText, strSelected)
            .arg(nCursor);
    };
    for (int nStep = 0; nStep < int(std::size(steps)); ++nStep) {
        const auto& s = steps[nStep];
        if (s.szFill) {
            const QStringList lstOctets = QString::fromLatin1(s.szFill).split(QLatin1Char('.'));
            for (int i = 0; i < 4; ++i)
                part(i)->setText(lstOctets.at(i));
        }
        if (s.nFocus >= 0)
            QVERIFY(focusOn(s.nFocus));
        if (s.nCursor >= 0)
            focusedPart()->setCursorPosition(s.nCursor);
        type(QLatin1String(s.szKeys));
        const auto actual = [&] {
            const CMyIpPartLineEdit* pAt = focusedPart();
            const int nAt = pAt ? pAt->index() : -1;
            return state(nStep, nAt, pEditor->text(), pAt && s.szSelected ? pAt->selectedText() : QString(),
                         pAt && s.nCursorAfter >= 0 ? pAt->cursorPosition() : -1);
        };
        QTRY_COMPARE(actual(),
                     state(nStep, s.nFocusAfter, QLatin1String(s.szText), QLatin1String(s.szSelected), s.nCursorAfter));
    }
    QCOMPARE(spyLeftEdge.size() + spyRightEdge.size(), 0);
}

QTEST_MAIN(TestGuiIpEdit)
#include "tst_gui_ipedit.moc"
