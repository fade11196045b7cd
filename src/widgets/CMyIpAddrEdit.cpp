#include "CMyIpAddrEdit.h"

#include <QLabel>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QStringList>

#include "CMyIpPartLineEdit.h"

CMyIpAddrEdit::CMyIpAddrEdit(QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < 4; ++i)
        pIpPart[i] = new CMyIpPartLineEdit(this, i);
    for (QLabel*& pLabel : pDot) {
        pLabel = new QLabel(QStringLiteral(" ."), this);
        pLabel->setAlignment(Qt::AlignCenter);
    }

    for (int i = 0; i < 3; ++i) {
        QWidget::setTabOrder(pIpPart[i], pIpPart[i + 1]);
        pIpPart[i]->setNextEdit(pIpPart[i + 1]);
        pIpPart[i + 1]->setPreviousEdit(pIpPart[i]);
    }

    for (CMyIpPartLineEdit* pPart : pIpPart) {
        connect(pPart, &QLineEdit::textChanged, this, &CMyIpAddrEdit::textchangedslot);
        connect(pPart, &QLineEdit::textEdited, this, &CMyIpAddrEdit::texteditedslot);
        connect(pPart, &CMyIpPartLineEdit::keyPressLeftOrRight, this, &CMyIpAddrEdit::onKeyPressLeftOrRight);
    }
}

CMyIpAddrEdit::~CMyIpAddrEdit() = default;

QString CMyIpAddrEdit::text() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(pIpPart[0]->text(), pIpPart[1]->text(), pIpPart[2]->text(), pIpPart[3]->text());
}

void CMyIpAddrEdit::setText(const QString& text)
{
    // The validator anchors the pattern: only a complete address of four octets is Acceptable.
    static const QRegularExpression rxAddress(
        QStringLiteral("((2[0-4]\\d|25[0-5]|[01]?\\d\\d?)\\.){3}(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)"));
    QRegularExpressionValidator validator(rxAddress);
    QString strAddress = text;
    int nPos = 0;
    if (validator.validate(strAddress, nPos) == QValidator::Acceptable) {
        const QStringList lstParts = strAddress.split(QLatin1Char('.'));
        for (int i = 0; i < 4; ++i)
            pIpPart[i]->setText(lstParts.at(i));
    } else {
        for (CMyIpPartLineEdit* pPart : pIpPart)
            pPart->setText(QString());
    }
}

void CMyIpAddrEdit::setEditEnabled(bool bEnabled)
{
    for (CMyIpPartLineEdit* pPart : pIpPart)
        pPart->setEnabled(bEnabled);
    for (QLabel* pLabel : pDot)
        pLabel->setEnabled(bEnabled);
}

CMyIpPartLineEdit* CMyIpAddrEdit::partEdit(int nIndex) const
{
    return nIndex >= 0 && nIndex < 4 ? pIpPart[nIndex] : nullptr;
}

QLabel* CMyIpAddrEdit::dotLabel(int nIndex) const
{
    return nIndex >= 0 && nIndex < 3 ? pDot[nIndex] : nullptr;
}

void CMyIpAddrEdit::onKeyPressLeftOrRight(int key, int index)
{
    if (index < 0 || index > 3)
        return;
    pIpPart[index]->focusAt(key);
}

void CMyIpAddrEdit::textchangedslot(const QString&)
{
    emit textchanged(text());
}

void CMyIpAddrEdit::texteditedslot(const QString&)
{
    emit textedited(text());
}

void CMyIpAddrEdit::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width() / 4;
    const int h = height();
    for (int i = 0; i < 3; ++i)
        pIpPart[i]->setGeometry(i * w, 0, w, h);
    pIpPart[3]->setGeometry(3 * w, 0, width() - 3 * w, h);
    for (int i = 0; i < 3; ++i)
        pDot[i]->setGeometry((i + 1) * w - 3, 1, 6, h - 2);
}
