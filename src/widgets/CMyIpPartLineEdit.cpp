#include "CMyIpPartLineEdit.h"

#include <QFocusEvent>
#include <QIntValidator>
#include <QKeyEvent>

namespace {

// Inner borders are removed so that the four edits read as one field.
const char* const kPartStyle[4] = {
    "#IPLineEdit{border-right:0px;border-radius:0px;}",
    "#IPLineEdit{border-left:0px;border-right:0px;border-radius:0px;}",
    "#IPLineEdit{border-left:0px;border-right:0px;border-radius:0px;}",
    "#IPLineEdit{border-left:0px;border-radius:0px;}",
};

// Qt's integer validator lets a number above the top through as Intermediate while it has no
// more digits than the top ("300" for 255), and takes signs; an octet takes digits up to 255 only.
class COctetValidator : public QIntValidator
{
public:
    explicit COctetValidator(QObject* parent) : QIntValidator(0, 255, parent) {}

    State validate(QString& input, int& pos) const override
    {
        for (const QChar ch : input) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return Invalid;
        }
        const State state = QIntValidator::validate(input, pos);
        if (state == Intermediate && !input.isEmpty() && input.toInt() > top())
            return Invalid;
        return state;
    }
};

} // namespace

CMyIpPartLineEdit::CMyIpPartLineEdit(QWidget* parent, int index) : QLineEdit(parent), nIndex(index)
{
    setMaxLength(3);
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setObjectName(QStringLiteral("IPLineEdit"));
    setValidator(new COctetValidator(this));
    if (index >= 0 && index < 4)
        setStyleSheet(QLatin1String(kPartStyle[index]));
    connect(this, &QLineEdit::textEdited, this, &CMyIpPartLineEdit::text_edited);
}

CMyIpPartLineEdit::~CMyIpPartLineEdit() = default;

void CMyIpPartLineEdit::setNextEdit(CMyIpPartLineEdit* pEdit)
{
    pNext = pEdit;
}

void CMyIpPartLineEdit::setPreviousEdit(CMyIpPartLineEdit* pEdit)
{
    pPrevious = pEdit;
}

CMyIpPartLineEdit* CMyIpPartLineEdit::nextEdit() const
{
    return pNext;
}

CMyIpPartLineEdit* CMyIpPartLineEdit::previousEdit() const
{
    return pPrevious;
}

int CMyIpPartLineEdit::index() const
{
    return nIndex;
}

void CMyIpPartLineEdit::focusAt(int key)
{
    setFocus();
    setCursorPosition(key == Qt::Key_Left ? text().size() : 0);
}

void CMyIpPartLineEdit::focusAndSelectAll(CMyIpPartLineEdit* pEdit)
{
    pEdit->setFocus();
    pEdit->selectAll();
}

void CMyIpPartLineEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Period:
        if (pNext && !text().isEmpty())
            focusAndSelectAll(pNext);
        break;
    case Qt::Key_Left:
        if (cursorPosition() == 0 && nIndex != 0)
            emit keyPressLeftOrRight(Qt::Key_Left, nIndex - 1);
        break;
    case Qt::Key_Right:
        if (cursorPosition() == text().size() && nIndex != 3)
            emit keyPressLeftOrRight(Qt::Key_Right, nIndex + 1);
        break;
    case Qt::Key_Backspace:
        if (pPrevious && text().isEmpty())
            focusAndSelectAll(pPrevious);
        break;
    default:
        break;
    }
    // The key still reaches this octet: the validator refuses the dot, and an arrow or Backspace at
    // the octet's edge has nothing left to do here.
    QLineEdit::keyPressEvent(event);
}

void CMyIpPartLineEdit::focusInEvent(QFocusEvent* event)
{
    selectAll();
    QLineEdit::focusInEvent(event);
}

void CMyIpPartLineEdit::text_edited(const QString& text)
{
    QIntValidator validator(0, 255);
    QString strText = text;
    int nPos = 0;
    if (validator.validate(strText, nPos) != QValidator::Acceptable || text.size() < 2)
        return;
    if (!pNext || !pNext->text().isEmpty())
        return;
    // Above 25 a third digit could only give more than 255, so the octet is complete.
    if (text.size() == 2 && text.toInt() <= 25)
        return;
    focusAndSelectAll(pNext);
}
