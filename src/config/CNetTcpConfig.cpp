#include "CNetTcpConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CNetTcpConfig.h"

CNetTcpConfig::CNetTcpConfig(QWidget* parent)
    : QWidget(parent), baConfig(TcpRecord::kSize, 0), nType(kPageTcp), ui(std::make_unique<Ui::CNetTcpConfig>())
{
    ui->setupUi(this);
}

CNetTcpConfig::~CNetTcpConfig() = default;

void CNetTcpConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CNetTcpConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    baConfig = data.baRecord;
    ui->checkBoxDHCP->setChecked(data.nResult >= 1 && recordFlag(baConfig, TcpRecord::kDhcp));
    ui->checkBoxIPAdaptive->setChecked(data.nSecondResult >= 1 && recordFlag(baConfig, TcpRecord::kAdaptive));
}

bool CNetTcpConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    setRecordByte(baConfig, TcpRecord::kAdaptive, ui->checkBoxIPAdaptive->isChecked() ? 1 : 0);
    setRecordByte(baConfig, TcpRecord::kDhcp, ui->checkBoxDHCP->isChecked() ? 1 : 0);
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CNetTcpConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CNetTcpConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CNetTcpConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
