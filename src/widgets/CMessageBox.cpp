#include "CMessageBox.h"

#include <QAbstractButton>
#include <QBitmap>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextDocument>

// The message-box pictures are compiled into an object library of their own; referencing its
// initialiser keeps the linker from dropping it out of the static widget library.
static void initPictureResources()
{
    Q_INIT_RESOURCE(vantrel_pictures);
}

CMessageBox::CMessageBox(int nIcon, const QString& strTitle, const QString& strText,
                         QDialogButtonBox::StandardButtons buttons, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    static const bool bResourcesReady = (initPictureResources(), true);
    Q_UNUSED(bResourcesReady);

    buildPanel(strTitle, strText);
    coverOwner();
    // Follow the asking window while the box is up, so the overlay keeps covering it exactly.
    if (parent)
        parent->installEventFilter(this);
    setIcon(nIcon);
    setStandardButtons(buttons);
}

CMessageBox::~CMessageBox() = default;

int CMessageBox::information(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                             const QString& button1Text, const QString& button2Text, int, int)
{
    return showMessageBox(parent, 1, title, text, button0Text, button1Text, button2Text);
}

int CMessageBox::warning(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                         const QString& button1Text, const QString& button2Text, int, int)
{
    return showMessageBox(parent, 2, title, text, button0Text, button1Text, button2Text);
}

int CMessageBox::critical(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                          const QString& button1Text, const QString& button2Text, int, int)
{
    return showMessageBox(parent, 3, title, text, button0Text, button1Text, button2Text);
}

int CMessageBox::question(QWidget* parent, const QString& title, const QString& text, const QString& button0Text,
                          const QString& button1Text, const QString& button2Text, int, int)
{
    return showMessageBox(parent, 4, title, text, button0Text, button1Text, button2Text);
}

int CMessageBox::showMessageBox(QWidget* parent, int nIcon, const QString& title, const QString& text,
                                const QString& button0Text, const QString& button1Text, const QString& button2Text)
{
    // Held through a guard: if the asking window dies while the box is up, the box dies with it.
    QPointer<CMessageBox> pBox = new CMessageBox(nIcon, title, text, QDialogButtonBox::NoButton, parent);
    const QString strButton0 =
        button0Text.isEmpty() ? QCoreApplication::translate("QDialogButtonBox", "OK") : button0Text;
    pBox->addButton(strButton0, QDialogButtonBox::ActionRole);
    if (!button1Text.isEmpty())
        pBox->addButton(button1Text, QDialogButtonBox::ActionRole);
    if (!button2Text.isEmpty())
        pBox->addButton(button2Text, QDialogButtonBox::ActionRole);
    const int nResult = pBox->exec();
    delete pBox.data();
    return nResult;
}

QString CMessageBox::iconPath(int nIcon)
{
    switch (nIcon) {
    case 1:
        return QStringLiteral(":/Pellmar/Res/infomation.png");
    case 2:
    case 3:
        return QStringLiteral(":/Pellmar/Res/error.png");
    case 4:
        return QStringLiteral(":/Pellmar/Res/question.png");
    default:
        return QString();
    }
}

void CMessageBox::buildPanel(const QString& strTitle, const QString& strText)
{
    pPanel = new QFrame(this, Qt::Window | Qt::FramelessWindowHint);
    pPanel->installEventFilter(this);
    pPanel->setMinimumWidth(250);

    pTextLabel = new QLabel;
    pTextLabel->setObjectName(QStringLiteral("qt_msgbox_label"));
    pTextLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pTextLabel->setOpenExternalLinks(true);
    pTextLabel->setContentsMargins(2, 0, 30, 0);
    pTextLabel->setIndent(9);

    pIconLabel = new QLabel;
    pIconLabel->setObjectName(QStringLiteral("msgboxex_icon_label"));
    pIconLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    pButtonBox = new QDialogButtonBox;
    pButtonBox->setObjectName(QStringLiteral("msgbox_buttonbox"));
    pButtonBox->setCenterButtons(true);
    connect(pButtonBox, &QDialogButtonBox::clicked, this, &CMessageBox::_q_buttonClicked);

    auto* pLine = new QFrame;
    pLine->setFrameShape(QFrame::HLine);
    pLine->setFrameShadow(QFrame::Sunken);

    auto* pGrid = new QGridLayout(pPanel);
    pGrid->addWidget(pIconLabel, 0, 0, Qt::AlignTop);
    pGrid->addWidget(pTextLabel, 0, 1);
    pGrid->setRowStretch(1, 100);
    pGrid->addWidget(pLine, 2, 0, 1, 2);
    pGrid->addWidget(pButtonBox, 3, 0, 1, 2);
    pGrid->setSizeConstraint(QLayout::SetNoConstraint);

    if (!strTitle.isEmpty() || !strText.isEmpty()) {
        setWindowTitle(strTitle);
        setText(strText);
    }
    setModal(true);
    setWindowOpacity(0.5);
}

void CMessageBox::setIcon(int nIcon)
{
    const QString strPath = iconPath(nIcon);
    pIconLabel->setPixmap(strPath.isEmpty() ? QPixmap() : QPixmap(strPath));
}

void CMessageBox::setText(const QString& strText)
{
    pTextLabel->setText(strText);
    const Qt::TextFormat format = pTextLabel->textFormat();
    pTextLabel->setWordWrap(format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(strText)));
}

QString CMessageBox::text() const
{
    return pTextLabel->text();
}

void CMessageBox::setStandardButtons(QDialogButtonBox::StandardButtons buttons)
{
    pButtonBox->setStandardButtons(buttons);
}

QPushButton* CMessageBox::addButton(const QString& strText, QDialogButtonBox::ButtonRole role)
{
    auto* pButton = new QPushButton(strText);
    addButton(pButton, role);
    return pButton;
}

void CMessageBox::addButton(QAbstractButton* pButton, QDialogButtonBox::ButtonRole role)
{
    if (!pButton)
        return;
    removeButton(pButton);
    pButtonBox->addButton(pButton, role);
    lstCustomButtons.append(pButton);
}

void CMessageBox::removeButton(QAbstractButton* pButton)
{
    lstCustomButtons.removeAll(pButton);
    pButtonBox->removeButton(pButton);
}

QList<QAbstractButton*> CMessageBox::customButtons() const
{
    return lstCustomButtons;
}

QFrame* CMessageBox::panel() const
{
    return pPanel;
}

void CMessageBox::coverOwner()
{
    if (QWidget* pOwner = parentWidget()) {
        setGeometry(QRect(pOwner->mapToGlobal(QPoint(0, 0)), pOwner->size()));
    } else if (QScreen* pScreen = QGuiApplication::primaryScreen()) {
        // Nothing asked for the box (no active window): darken the primary screen's work area and
        // put the panel in its middle, where a user looks for a system prompt.
        setGeometry(pScreen->availableGeometry());
    }
    centrePanel();
}

void CMessageBox::centrePanel()
{
    // The panel is a top-level window: its position is in screen coordinates, like the box's.
    const QRect rectBox = geometry();
    pPanel->move(rectBox.x() + (rectBox.width() - pPanel->width()) / 2,
                 rectBox.y() + (rectBox.height() - pPanel->height()) / 2);
}

bool CMessageBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pPanel) {
        if (event->type() == QEvent::Paint) {
            QPainter painter(pPanel);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(QColor(240, 240, 240));
            painter.drawRoundedRect(pPanel->rect().adjusted(0, 0, -1, -1), 5.0, 5.0);
        } else if (event->type() == QEvent::Resize) {
            const QSize size = pPanel->size();
            QBitmap bmpMask(size);
            bmpMask.fill(Qt::white);
            QPainter painter(&bmpMask);
            painter.setRenderHint(QPainter::Antialiasing);
            const qreal w = size.width();
            const qreal h = size.height();
            QPainterPath path;
            path.moveTo(6, 0);
            path.arcTo(QRectF(0, 0, 12, 12), 90, 90);
            path.lineTo(0, h - 6);
            path.arcTo(QRectF(0, h - 12, 12, 12), 180, 90);
            path.lineTo(w - 6, h);
            path.arcTo(QRectF(w - 12, h - 12, 12, 12), 270, 90);
            path.lineTo(w, 6);
            path.arcTo(QRectF(w - 12, 0, 12, 12), 0, 90);
            path.closeSubpath();
            painter.fillPath(path, Qt::black);
            painter.end();
            pPanel->setMask(bmpMask);
            // The panel grows with its content after the box has been placed: keep it in the middle.
            centrePanel();
        }
    } else if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        coverOwner();
    }
    return QDialog::eventFilter(watched, event);
}

void CMessageBox::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void CMessageBox::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    centrePanel();
}

void CMessageBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    pPanel->show();
    centrePanel();
}

void CMessageBox::_q_buttonClicked(QAbstractButton* pButton)
{
    pPanel->hide();
    int nResult = pButtonBox->standardButton(pButton);
    if (nResult == QDialogButtonBox::NoButton)
        nResult = lstCustomButtons.indexOf(pButton);
    done(nResult);
}
