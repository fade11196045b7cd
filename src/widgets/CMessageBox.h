#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QList>
#include <QString>

class QAbstractButton;
class QFrame;
class QLabel;
class QPushButton;

/// The program's modal message box: darkens the asking window with a half-transparent overlay of its
/// size and shows a frameless, rounded, light-grey panel centred on it with an icon, the text and a
/// row of buttons. The static functions return the index of the pressed button.
class CMessageBox : public QDialog
{
    Q_OBJECT

public:
    /// Icon numbers: 0 none, 1 information, 2 warning, 3 critical, 4 question.
    CMessageBox(int nIcon, const QString& strTitle, const QString& strText,
                QDialogButtonBox::StandardButtons buttons = QDialogButtonBox::NoButton, QWidget* parent = nullptr);
    ~CMessageBox() override;

    static int information(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                           const QString& button1Text = QString(), const QString& button2Text = QString(),
                           int defaultButtonNumber = 0, int escapeButtonNumber = -1);
    static int warning(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                       const QString& button1Text = QString(), const QString& button2Text = QString(),
                       int defaultButtonNumber = 0, int escapeButtonNumber = -1);
    static int critical(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                        const QString& button1Text = QString(), const QString& button2Text = QString(),
                        int defaultButtonNumber = 0, int escapeButtonNumber = -1);
    static int question(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                        const QString& button1Text = QString(), const QString& button2Text = QString(),
                        int defaultButtonNumber = 0, int escapeButtonNumber = -1);

    /// The resource path of an icon number's picture; empty for 0 and unknown numbers.
    static QString iconPath(int nIcon);

    void setText(const QString& strText);
    QString text() const;
    void setStandardButtons(QDialogButtonBox::StandardButtons buttons);
    QPushButton* addButton(const QString& strText, QDialogButtonBox::ButtonRole role);
    void addButton(QAbstractButton* pButton, QDialogButtonBox::ButtonRole role);
    void removeButton(QAbstractButton* pButton);
    QList<QAbstractButton*> customButtons() const;
    /// The visible panel, a frameless top-level window of its own.
    QFrame* panel() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void _q_buttonClicked(QAbstractButton* pButton);

private:
    static int showMessageBox(QWidget* parent, int nIcon, const QString& title, const QString& text,
                              const QString& button0Text, const QString& button1Text, const QString& button2Text);
    void buildPanel(const QString& strTitle, const QString& strText);
    void setIcon(int nIcon);
    void centrePanel();
    void coverOwner();

    QFrame* pPanel = nullptr;
    QLabel* pTextLabel = nullptr;
    QLabel* pIconLabel = nullptr;
    QDialogButtonBox* pButtonBox = nullptr;
    QList<QAbstractButton*> lstCustomButtons;
};
