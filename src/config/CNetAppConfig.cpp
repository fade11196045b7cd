#include "CNetAppConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CNetAppConfig.h"

CNetAppConfig::CNetAppConfig(QWidget* parent)
    : QWidget(parent), baConfig(PmsRecord::kSize, 0), nType(kPagePms), ui(std::make_unique<Ui::CNetAppConfig>())
{
    ui->setupUi(this);
}

CNetAppConfig::~CNetAppConfig() = default;

void CNetAppConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CNetAppConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    baConfig = data.baRecord;
    ui->checkBoxEnablePMS->setChecked(data.nResult >= 1 && recordFlag(baConfig, PmsRecord::kEnable));
}

bool CNetAppConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    setRecordByte(baConfig, PmsRecord::kEnable, ui->checkBoxEnablePMS->isChecked() ? 1 : 0);
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CNetAppConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CNetAppConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CNetAppConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
