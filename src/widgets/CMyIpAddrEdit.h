#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QResizeEvent;
class CMyIpPartLineEdit;

/// An IPv4 address field made of four octet edits with a dot between neighbours. text() gives the
/// dotted address (an empty octet leaves its place empty); setText() takes only a complete valid
/// address and empties the field otherwise.
class CMyIpAddrEdit : public QWidget
{
    Q_OBJECT

public:
    explicit CMyIpAddrEdit(QWidget* parent = nullptr);
    ~CMyIpAddrEdit() override;

    QString text() const;
    void setText(const QString& text);
    /// Enables or disables the four octets and the dots together.
    void setEditEnabled(bool bEnabled);

    /// Octet `nIndex` (0 to 3), or null.
    CMyIpPartLineEdit* partEdit(int nIndex) const;
    /// Dot label `nIndex` (0 to 2, between octets nIndex and nIndex + 1), or null.
    QLabel* dotLabel(int nIndex) const;

signals:
    void textchanged(const QString& text);
    void textedited(const QString& text);

public slots:
    void onKeyPressLeftOrRight(int key, int index);
    void textchangedslot(const QString& text);
    void texteditedslot(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CMyIpPartLineEdit* pIpPart[4] = {};
    QLabel* pDot[3] = {};
};
