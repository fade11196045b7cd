#include "CNormalConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CNormalConfig.h"

CNormalConfig::CNormalConfig(QWidget* parent)
    : QWidget(parent), baConfig(NormalRecord::kSize, 0), nType(kPageNormal), ui(std::make_unique<Ui::CNormalConfig>())
{
    ui->setupUi(this);
}

CNormalConfig::~CNormalConfig() = default;

void CNormalConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CNormalConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    baConfig = data.baRecord;
    QComboBox* pBox = ui->comboBoxVideoStandard;
    pBox->clear();
    if (data.nSecondResult < 1) {
        // The common standards stand in for a list the device did not give; appended to what an earlier
        // opening showed, they would offer a name twice and write its second place as the index.
        pBox->addItem(tr("PAL"));
        pBox->addItem(tr("NTSC"));
    } else {
        pBox->addItems(data.lstNames);
    }
    const int nIndex = recordInt(baConfig, NormalRecord::kVideoStandard);
    pBox->setCurrentIndex(data.nResult != 0 && nIndex >= 0 && nIndex < pBox->count() ? nIndex : 0);
}

bool CNormalConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    if (ui->comboBoxVideoStandard->currentIndex() >= 0)
        setRecordInt(baConfig, NormalRecord::kVideoStandard, ui->comboBoxVideoStandard->currentIndex());
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CNormalConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CNormalConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CNormalConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
