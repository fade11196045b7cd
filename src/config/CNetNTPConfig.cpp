#include "CNetNTPConfig.h"

#include <cstring>

#include <QButtonGroup>

#include "app/LogCategories.h"
#include "config/ConfigRecords.h"
#include "config/CRangeValidator.h"
#include "ui_CNetNTPConfig.h"

namespace {

const char* const kTimeZones[] = {
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+00:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+01:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+02:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+03:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+03:30"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+04:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+04:30"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+05:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+05:30"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+05:45"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+06:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+06:30"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+07:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+08:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+09:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+09:30"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+10:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+11:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+12:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT+13:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-01:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-02:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-03:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-03:30"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-04:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-05:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-06:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-07:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-08:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-09:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-10:00"), QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-11:00"),
    QT_TRANSLATE_NOOP("CNetNTPConfig", "GMT-12:00")};

} // namespace

CNetNTPConfig::CNetNTPConfig(QWidget* parent)
    : QWidget(parent), baConfig(NtpRecord::kSize, 0), nType(kPageNtp), ui(std::make_unique<Ui::CNetNTPConfig>())
{
    ui->setupUi(this);
    for (const char* szZone : kTimeZones)
        ui->comboBoxTimeZone->addItem(tr(szZone));
    // The time-zone field travels through the hidden list; the two server buttons set it.
    ui->labelTimeZone->hide();
    ui->comboBoxTimeZone->hide();
    ui->lineEditHostPort->setValidator(new CRangeValidator(1, 65535, ui->lineEditHostPort));
    ui->lineEditUpdateInterval->setValidator(new CRangeValidator(1, 99999, ui->lineEditUpdateInterval));
    pServerGroup = new QButtonGroup(this);
    pServerGroup->addButton(ui->radioButtonCustom, 0);
    pServerGroup->addButton(ui->radioButtonAuto, 1);
    connect(ui->checkBoxEnableNtp, &QCheckBox::stateChanged, this, &CNetNTPConfig::onstateChanged);
    connect(pServerGroup, &QButtonGroup::idClicked, this, &CNetNTPConfig::on_radioButton_clicked);
}

CNetNTPConfig::~CNetNTPConfig() = default;

void CNetNTPConfig::setServerWidgetsEnabled(bool bEnabled)
{
    ui->lineEditHostIP->setEditEnabled(bEnabled);
    ui->lineEditHostIP->setEnabled(bEnabled);
    for (QWidget* pWidget : {static_cast<QWidget*>(ui->lineEditHostPort), static_cast<QWidget*>(ui->comboBoxTimeZone),
                             static_cast<QWidget*>(ui->lineEditUpdateInterval),
                             static_cast<QWidget*>(ui->radioButtonCustom), static_cast<QWidget*>(ui->radioButtonAuto)})
        pWidget->setEnabled(bEnabled);
}

void CNetNTPConfig::setServerAddressVisible(bool bVisible)
{
    for (QWidget* pWidget : {static_cast<QWidget*>(ui->lineEditHostIP), static_cast<QWidget*>(ui->labelHostIP),
                             static_cast<QWidget*>(ui->lineEditHostPort), static_cast<QWidget*>(ui->labelHostPort)})
        pWidget->setVisible(bVisible);
}

void CNetNTPConfig::onstateChanged(int nState)
{
    if (nState == Qt::Unchecked)
        setServerWidgetsEnabled(false);
    else if (nState == Qt::Checked)
        setServerWidgetsEnabled(true);
}

void CNetNTPConfig::on_radioButton_clicked(int nId)
{
    const bool bCustom = nId == 0;
    setServerAddressVisible(bCustom);
    ui->comboBoxTimeZone->setCurrentIndex(bCustom ? NtpRecord::kTimeZoneCustom : NtpRecord::kTimeZoneAuto);
}

void CNetNTPConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CNetNTPConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    using namespace NtpRecord;
    baConfig = data.baRecord;
    qCDebug(lcConfig) << "updateNTPConfig";
    const bool bEnabled = recordFlag(baConfig, kEnable);
    setServerWidgetsEnabled(bEnabled);
    const int nZone = recordInt(baConfig, kTimeZone);
    if (nZone == kTimeZoneCustom) {
        ui->radioButtonCustom->setChecked(true);
        setServerAddressVisible(true);
    } else if (nZone == kTimeZoneAuto) {
        ui->radioButtonAuto->setChecked(true);
        setServerAddressVisible(false);
    }
    ui->checkBoxEnableNtp->setChecked(bEnabled);
    ui->lineEditHostIP->setText(recordText(baConfig, kServer, kServerSize));
    ui->lineEditHostPort->setText(QString::number(recordInt(baConfig, kPort)));
    ui->comboBoxTimeZone->setCurrentIndex(nZone);
    ui->lineEditUpdateInterval->setText(QString::number(recordInt(baConfig, kPeriod)));
}

bool CNetNTPConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    using namespace NtpRecord;
    // The editor shows addresses only: a server the device holds by name shows empty octets and goes
    // back as the device sent it, not as an address of empty parts.
    const QString strServer = ui->lineEditHostIP->text();
    if (!strServer.split(QLatin1Char('.')).contains(QString()))
        setRecordText(baConfig, kServer, kServerSize, strServer.toLatin1());
    setRecordByte(baConfig, kEnable, ui->checkBoxEnableNtp->isChecked() ? 1 : 0);
    // A zone outside the list (a device value the page does not know) goes back unchanged.
    if (ui->comboBoxTimeZone->currentIndex() >= 0)
        setRecordInt(baConfig, kTimeZone, ui->comboBoxTimeZone->currentIndex());
    if (ui->lineEditHostPort->hasAcceptableInput())
        setRecordInt(baConfig, kPort, ui->lineEditHostPort->text().toInt());
    if (ui->lineEditUpdateInterval->hasAcceptableInput())
        setRecordInt(baConfig, kPeriod, ui->lineEditUpdateInterval->text().toInt());
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CNetNTPConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CNetNTPConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CNetNTPConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
