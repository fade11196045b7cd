#include "CNetCloudConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CNetCloudConfig.h"

CNetCloudConfig::CNetCloudConfig(QWidget* parent)
    : QWidget(parent), baConfig(CloudRecord::kSize, 0), nType(kPageCloud), ui(std::make_unique<Ui::CNetCloudConfig>())
{
    ui->setupUi(this);
    connect(ui->checkBoxEnableCloud, &QCheckBox::stateChanged, this, &CNetCloudConfig::onstateChanged);
}

CNetCloudConfig::~CNetCloudConfig() = default;

void CNetCloudConfig::onstateChanged(int nState)
{
    if (nState == Qt::Unchecked)
        ui->lineEditMtu->setEnabled(false);
    else if (nState == Qt::Checked)
        ui->lineEditMtu->setEnabled(true);
}

void CNetCloudConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CNetCloudConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    using namespace CloudRecord;
    baConfig = data.baRecord;
    if (data.nResult < 1) {
        ui->checkBoxEnableCloud->setChecked(false);
        ui->lineEditMtu->setText(QStringLiteral("0"));
        return;
    }
    const bool bEnabled = recordFlag(baConfig, kEnable);
    ui->checkBoxEnableCloud->setChecked(bEnabled);
    onstateChanged(bEnabled ? Qt::Checked : Qt::Unchecked);
    ui->lineEditMtu->setText(QString::number(quint32(recordInt(baConfig, kMtu))));
}

bool CNetCloudConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    using namespace CloudRecord;
    setRecordByte(baConfig, kEnable, ui->checkBoxEnableCloud->isChecked() ? 1 : 0);
    bool bOk = false;
    const uint nMtu = ui->lineEditMtu->text().toUInt(&bOk);
    setRecordInt(baConfig, kMtu, qint32(bOk ? nMtu : 0));
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CNetCloudConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CNetCloudConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CNetCloudConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
