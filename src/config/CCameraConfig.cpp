#include "CCameraConfig.h"

#include <cstring>

#include "config/ConfigRecords.h"
#include "ui_CCameraConfig.h"

namespace {

const char* const kModeNames[] = {
    QT_TRANSLATE_NOOP("CCameraConfig", "Star IR"),           QT_TRANSLATE_NOOP("CCameraConfig", "Full Color"),
    QT_TRANSLATE_NOOP("CCameraConfig", "BlackAndWhiteMode"), QT_TRANSLATE_NOOP("CCameraConfig", "IntellMotionDetect"),
    QT_TRANSLATE_NOOP("CCameraConfig", "WarmLight"),         QT_TRANSLATE_NOOP("CCameraConfig", "IntelligentInfrared"),
    QT_TRANSLATE_NOOP("CCameraConfig", "LicensePlateMode")};

// A combo index from a record field; a value the box does not hold leaves no item chosen.
void setIndex(QComboBox* pBox, qint32 nValue)
{
    pBox->setCurrentIndex(nValue >= 0 && nValue < pBox->count() ? int(nValue) : -1);
}

// The chosen index back into the field; with nothing chosen the device's value stays.
void putIndex(QByteArray& baRecord, int nOffset, const QComboBox* pBox)
{
    if (pBox->currentIndex() >= 0)
        setRecordInt(baRecord, nOffset, pBox->currentIndex());
}

} // namespace

CCameraConfig::CCameraConfig(QWidget* parent)
    : QWidget(parent), baConfig(CameraRecord::kSize, 0), nType(kPageCamera), ui(std::make_unique<Ui::CCameraConfig>())
{
    ui->setupUi(this);
    ui->comboBoxSceneMode->addItems({tr("Auto"), tr("Indoor"), tr("Outdoor")});
    ui->comboBoxSceneMode->setCurrentIndex(0);
    for (QComboBox* pBox : {ui->comboBoxDayNTLevel, ui->comboBoxNightNTLevel}) {
        for (int i = 0; i <= 5; ++i)
            pBox->addItem(QString::number(i));
        pBox->setCurrentIndex(0);
    }
    ui->horizontalSliderDNCThreshold->setOrientation(Qt::Horizontal);
    ui->horizontalSliderDNCThreshold->setRange(10, 50);
    ui->horizontalSliderDNCThreshold->setValue(20);
    ui->SoftPhotoAdjustSlider->setOrientation(Qt::Horizontal);
    ui->SoftPhotoAdjustSlider->setMaximum(5);
    ui->SoftPhotoAdjustSlider->setPageStep(1);
    ui->SoftPhotoAdjustSlider->setValue(3);
    setSoftPhotoVisible(false);
    connect(ui->horizontalSliderDNCThreshold, &QSlider::valueChanged, this, &CCameraConfig::onSliderValueChangedDNCT);
    connect(ui->SoftPhotoAdjustSlider, &QSlider::valueChanged, this, &CCameraConfig::onSliderValueChangedSP);
    connect(ui->comboBoxDayNightMode, &QComboBox::currentIndexChanged, this,
            &CCameraConfig::onCurrentIndexDayNightModeChanged);
    for (int nMode = kStarIr; nMode <= kLicensePlate; ++nMode)
        addMode(nMode);
}

CCameraConfig::~CCameraConfig() = default;

void CCameraConfig::addMode(int nMode)
{
    ui->comboBoxDayNightMode->addItem(tr(kModeNames[nMode]), nMode);
}

void CCameraConfig::setSoftPhotoVisible(bool bVisible)
{
    ui->SoftPhotoAdjustLabel->setVisible(bVisible);
    ui->SoftPhotoAdjustSlider->setVisible(bVisible);
    ui->SoftPhotoAdjustSliderValue->setVisible(bVisible);
}

void CCameraConfig::setThresholdVisible(bool bVisible)
{
    ui->labelDNC->setVisible(bVisible);
    ui->horizontalSliderDNCThreshold->setVisible(bVisible);
    ui->labelDNCValue->setVisible(bVisible);
}

void CCameraConfig::showWidgetsForMode(int nMode)
{
    const bool bClassic = nMode >= kStarIr && nMode <= kBlackAndWhite;
    setThresholdVisible(bClassic);
    // A device without the soft photo ability has no field for it: its slider would change nothing.
    setSoftPhotoVisible(!bClassic && bSoftPhoto);
}

void CCameraConfig::onCurrentIndexDayNightModeChanged(int index)
{
    if (index >= 0)
        showWidgetsForMode(ui->comboBoxDayNightMode->itemData(index).toInt());
}

void CCameraConfig::onSliderValueChangedSP(int nValue)
{
    ui->SoftPhotoAdjustSliderValue->setText(QString::number(nValue));
}

void CCameraConfig::onSliderValueChangedDNCT(int nvalue)
{
    ui->labelDNCValue->setText(QString::number(nvalue));
}

void CCameraConfig::initConfig(long lLoginID)
{
    if (lLoginID <= 0)
        return;
    fillConfig(loadPageData(nType, lLoginID));
}

void CCameraConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded || data.baRecord.size() != baConfig.size())
        return;
    using namespace CameraRecord;
    baConfig = data.baRecord;
    const QByteArray& fn = data.baFunctions;
    if (data.nResult >= 1) {
        QComboBox* pModes = ui->comboBoxDayNightMode;
        pModes->clear();
        if (!recordFlag(fn, FunctionRecord::kNoClassicModes)) {
            addMode(kStarIr);
            addMode(kFullColor);
            addMode(kBlackAndWhite);
        }
        if (recordFlag(fn, FunctionRecord::kHumanoid) || baConfig.at(kIntellMotionAbility) == 1)
            addMode(kIntellMotionDetect);
        bSoftPhoto = recordFlag(fn, FunctionRecord::kSoftPhoto);
        if (bSoftPhoto) {
            ui->SoftPhotoAdjustSlider->setValue(recordInt(baConfig, kSoftPhoto));
            ui->SoftPhotoAdjustSliderValue->setText(QString::number(ui->SoftPhotoAdjustSlider->value()));
            addMode(kWarmLight);
            addMode(kIntelligentInfrared);
        }
        setSoftPhotoVisible(bSoftPhoto);
        if (recordFlag(fn, FunctionRecord::kLicensePlateMode))
            addMode(kLicensePlate);
        // The rule for the device's mode, then the entry chosen (its own rule follows through the box's
        // signal): a mode the box does not offer leaves the first entry chosen.
        const int nMode = recordInt(baConfig, kDayNightMode);
        showWidgetsForMode(nMode);
        pModes->setCurrentIndex(0);
        pModes->setCurrentIndex(qMax(0, pModes->findData(nMode)));
    }
    ui->horizontalSliderDNCThreshold->setValue(recordInt(baConfig, kDncThreshold));
    setIndex(ui->comboBoxDayNTLevel, recordInt(baConfig, kDayNtLevel));
    setIndex(ui->comboBoxNightNTLevel, recordInt(baConfig, kNightNtLevel));
    setIndex(ui->comboBoxSceneMode, recordInt(baConfig, kSceneMode));
    ui->checkBoxAutoIris->setChecked(recordInt(baConfig, kAutoIris) != 0);
    ui->checkBoxBlacklight->setChecked(recordInt(baConfig, kBacklight) != 0);
    ui->checkBoxFlip->setChecked(recordInt(baConfig, kFlip) != 0);
    ui->checkBoxMirror->setChecked(recordInt(baConfig, kMirror) != 0);
    ui->checkBoxAntiFlashing->setChecked(recordInt(baConfig, kAntiFlashing) != 0);
    ui->checkBoxIRSwap->setChecked(recordInt(baConfig, kIrSwap) != 0);
    const bool bExtended = recordFlag(baConfig, kExtendedAbility);
    if (bExtended)
        ui->checkBoxNoRedFaceExposure->setChecked(recordInt(baConfig, kNoRedFace) != 0);
    ui->checkBoxNoRedFaceExposure->setVisible(bExtended);
}

bool CCameraConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != baConfig.size())
        return false;
    using namespace CameraRecord;
    // An empty mode list (a device that offers none) leaves the device's mode as it is.
    if (ui->comboBoxDayNightMode->currentIndex() >= 0)
        setRecordInt(baConfig, kDayNightMode, ui->comboBoxDayNightMode->currentData().toInt());
    if (bSoftPhoto)
        setRecordInt(baConfig, kSoftPhoto, ui->SoftPhotoAdjustSlider->value());
    setRecordInt(baConfig, kDncThreshold, ui->horizontalSliderDNCThreshold->value());
    putIndex(baConfig, kDayNtLevel, ui->comboBoxDayNTLevel);
    putIndex(baConfig, kNightNtLevel, ui->comboBoxNightNTLevel);
    putIndex(baConfig, kSceneMode, ui->comboBoxSceneMode);
    setRecordInt(baConfig, kAutoIris, ui->checkBoxAutoIris->isChecked() ? 1 : 0);
    setRecordInt(baConfig, kBacklight, ui->checkBoxBlacklight->isChecked() ? 1 : 0);
    setRecordInt(baConfig, kFlip, ui->checkBoxFlip->isChecked() ? 1 : 0);
    setRecordInt(baConfig, kMirror, ui->checkBoxMirror->isChecked() ? 1 : 0);
    setRecordInt(baConfig, kAntiFlashing, ui->checkBoxAntiFlashing->isChecked() ? 1 : 0);
    setRecordInt(baConfig, kIrSwap, ui->checkBoxIRSwap->isChecked() ? 1 : 0);
    if (recordFlag(baConfig, kExtendedAbility))
        setRecordInt(baConfig, kNoRedFace, ui->checkBoxNoRedFaceExposure->isChecked() ? 1 : 0);
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CCameraConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CCameraConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CCameraConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}
