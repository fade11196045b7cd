#include "CAlarmMotionConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CAlarmMotionConfig.h"

CAlarmMotionConfig::CAlarmMotionConfig(QWidget* parent)
    : QWidget(parent), baConfig(MotionRecord::kSize, 0), nType(kPageMotion),
      ui(std::make_unique<Ui::CAlarmMotionConfig>())
{
    ui->setupUi(this);
    ui->sliderVolume->setOrientation(Qt::Horizontal);
    ui->sliderVolume->setRange(0, 100);
    ui->lineEditAlarmInterval->setRange(0, kMaxAlarmInterval);
    connect(ui->sliderVolume, &QSlider::valueChanged, this, &CAlarmMotionConfig::onVolumeValueChange);
    connect(ui->checkBoxEnable, &QCheckBox::stateChanged, this, &CAlarmMotionConfig::onstateChanged);
    connect(ui->checkBoxAlarmSound, &QCheckBox::stateChanged, this, &CAlarmMotionConfig::onAlarmSoundSelected);
}

CAlarmMotionConfig::~CAlarmMotionConfig() = default;

void CAlarmMotionConfig::onstateChanged(int state)
{
    if (state == Qt::Unchecked) {
        for (QWidget* pWidget :
             {static_cast<QWidget*>(ui->checkBoxHumanoidDetect), static_cast<QWidget*>(ui->checkBoxPhoneReport),
              static_cast<QWidget*>(ui->comboBoxSoundPlayType), static_cast<QWidget*>(ui->checkBoxAlarmSound)})
            pWidget->setEnabled(false);
    } else if (state == Qt::Checked) {
        ui->checkBoxHumanoidDetect->setEnabled(true);
        ui->checkBoxPhoneReport->setEnabled(true);
        ui->checkBoxAlarmSound->setEnabled(true);
    }
    const bool bSound = ui->checkBoxAlarmSound->isChecked() && state != Qt::Unchecked;
    ui->lineEditAlarmInterval->setEnabled(bSound);
    ui->comboBoxSoundPlayType->setEnabled(bSound);
}

void CAlarmMotionConfig::onAlarmSoundSelected(int state)
{
    const bool bOn = state != Qt::Unchecked;
    ui->comboBoxSoundPlayType->setEnabled(bOn);
    ui->labelSoundPlayType->setEnabled(bOn);
    ui->lineEditAlarmInterval->setEnabled(bOn);
}

void CAlarmMotionConfig::onVolumeValueChange(int nValue)
{
    ui->labelVolumeValue->setText(QStringLiteral("%1").arg(nValue));
}

bool CAlarmMotionConfig::UTFToMB(char* pmb, const char* pu8, int utf8Len)
{
    return utf8ToLocal8Bit(pmb, pu8, utf8Len);
}

long CAlarmMotionConfig::getDevConfigJson(long lLoginID, int nNameIndex, int nChannel, char* pRecord, int nSize,
                                          int* pRetSize)
{
    return ::getDevConfigJson(lLoginID, nNameIndex, nChannel, pRecord, nSize, pRetSize);
}

void CAlarmMotionConfig::setVoiceTipWidgetsVisible(bool bVisible)
{
    for (QWidget* pWidget :
         {static_cast<QWidget*>(ui->labelAlarmInterval), static_cast<QWidget*>(ui->labelAlarmIntervalSecond),
          static_cast<QWidget*>(ui->lineEditAlarmInterval), static_cast<QWidget*>(ui->comboBoxSoundPlayType),
          static_cast<QWidget*>(ui->labelSoundPlayType)})
        pWidget->setVisible(bVisible);
}

void CAlarmMotionConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CAlarmMotionConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    using namespace MotionRecord;
    baConfig = data.baRecord;
    if (data.nResult < 1) {
        onstateChanged(Qt::Unchecked);
        ui->checkBoxEnable->setChecked(false);
        ui->checkBoxAlarmSound->setChecked(false);
        ui->checkBoxPhoneReport->setChecked(false);
        ui->comboBoxSoundPlayType->setEnabled(false);
        return;
    }
    const bool bMotion = recordFlag(baConfig, kMotion);
    const bool bSound = recordFlag(baConfig, kAlarmSound);
    onstateChanged(bMotion ? Qt::Checked : Qt::Unchecked);
    ui->checkBoxEnable->setChecked(bMotion);
    ui->checkBoxAlarmSound->setChecked(bSound);
    ui->comboBoxSoundPlayType->setEnabled(bSound);
    ui->lineEditAlarmInterval->setEnabled(bSound);
    ui->checkBoxPhoneReport->setChecked(recordFlag(baConfig, kPhoneReport));
    ui->checkBoxAlarmSound->setVisible(recordFlag(data.baFunctions, FunctionRecord::kAlarmSound));

    const bool bVoice = recordFlag(baConfig, kVoiceTipFlag);
    setVoiceTipWidgetsVisible(bVoice);
    if (!bVoice) {
        ui->lineEditAlarmInterval->setValue(0);
    } else {
        ui->comboBoxSoundPlayType->clear();
        if (data.nVoiceResult > 0) {
            const qint32 nSoundType = recordInt(baConfig, kSoundType);
            int nChosen = 0;
            for (const CVoiceTip& tip : data.lstVoiceTips) {
                if (tip.nCode == nSoundType)
                    nChosen = ui->comboBoxSoundPlayType->count();
                ui->comboBoxSoundPlayType->addItem(tip.strText, tip.nCode);
            }
            ui->lineEditAlarmInterval->setValue(recordInt(baConfig, kAlarmInterval));
            ui->comboBoxSoundPlayType->setCurrentIndex(nChosen);
        }
    }

    const bool bHumanoid = recordFlag(baConfig, kHumanoidFlag);
    if (!bHumanoid)
        ui->checkBoxHumanoidDetect->setChecked(false);
    else
        ui->checkBoxHumanoidDetect->setChecked(data.nSecondResult >= 1 && recordFlag(baConfig, kHumanoid));
    ui->checkBoxHumanoidDetect->setVisible(bHumanoid);

    if (recordFlag(baConfig, kVolume) && data.nVolumeResult > 0)
        ui->sliderVolume->setValue(recordInt(baConfig, kLeftVolume));
    const bool bVolume = recordFlag(baConfig, kVolume);
    ui->sliderVolume->setVisible(bVolume);
    ui->labelVolume->setVisible(bVolume);
    ui->labelVolumeValue->setVisible(bVolume);
}

bool CAlarmMotionConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    using namespace MotionRecord;
    setRecordByte(baConfig, kMotion, ui->checkBoxEnable->isChecked() ? 1 : 0);
    if (recordFlag(baConfig, kVoiceTipFlag)) {
        // Without a voice-tip list nothing is chosen: the device's sound type stays.
        if (ui->comboBoxSoundPlayType->currentIndex() >= 0)
            setRecordInt(baConfig, kSoundType, ui->comboBoxSoundPlayType->currentData().toInt());
        setRecordInt(baConfig, kAlarmInterval, ui->lineEditAlarmInterval->value());
    }
    setRecordByte(baConfig, kPhoneReport, ui->checkBoxPhoneReport->isChecked() ? 1 : 0);
    setRecordByte(baConfig, kAlarmSound, ui->checkBoxAlarmSound->isChecked() ? 1 : 0);
    setRecordByte(baConfig, kHumanoid, ui->checkBoxHumanoidDetect->checkState() == Qt::Checked ? 1 : 0);
    if (recordFlag(baConfig, kVolume)) {
        setRecordInt(baConfig, kLeftVolume, ui->sliderVolume->value());
        setRecordInt(baConfig, kRightVolume, ui->sliderVolume->value());
    }
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CAlarmMotionConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CAlarmMotionConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CAlarmMotionConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
