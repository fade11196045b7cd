#pragma once

#include <QLineEdit>

class QFocusEvent;
class QKeyEvent;

/// One octet of CMyIpAddrEdit: a frameless line edit for 0 to 255 that knows its neighbours, so
/// that ".", the arrow keys, Backspace and a complete octet move the cursor across the four edits
/// as if they were one field.
class CMyIpPartLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    CMyIpPartLineEdit(QWidget* parent, int index);
    ~CMyIpPartLineEdit() override;

    /// Neighbour links; neither is owned.
    void setNextEdit(CMyIpPartLineEdit* pEdit);
    void setPreviousEdit(CMyIpPartLineEdit* pEdit);
    CMyIpPartLineEdit* nextEdit() const;
    CMyIpPartLineEdit* previousEdit() const;
    int index() const;

    /// Gives this octet the focus; the cursor goes to the end of the text for Qt::Key_Left (coming
    /// from the right), to the start otherwise.
    void focusAt(int key);

signals:
    /// The cursor left this octet through its left or right edge: `key` is Qt::Key_Left or
    /// Qt::Key_Right, `index` the octet it goes to.
    void keyPressLeftOrRight(int key, int index);

public slots:
    void text_edited(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void focusAndSelectAll(CMyIpPartLineEdit* pEdit);

    CMyIpPartLineEdit* pNext = nullptr;
    CMyIpPartLineEdit* pPrevious = nullptr;
    int nIndex = 0;
};
