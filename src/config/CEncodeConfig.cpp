#include "CEncodeConfig.h"

#include <cstring>

#include <QSignalBlocker>

#include "config/ConfigRecords.h"
#include "config/EncodeLoad.h"
#include "ui_CEncodeConfig.h"

namespace {

namespace R = EncodeRecord;

const char* const kCompressionNames[Encode::kCompressionCount] = {
    QT_TRANSLATE_NOOP("CEncodeConfig", "DIVX MPEG4"), QT_TRANSLATE_NOOP("CEncodeConfig", "MS MPEG4"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "MPEG2"),      QT_TRANSLATE_NOOP("CEncodeConfig", "MPEG1"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "H.263"),      QT_TRANSLATE_NOOP("CEncodeConfig", "MJPG"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "FCC MPEG4"),  QT_TRANSLATE_NOOP("CEncodeConfig", "H.264"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "H.265")};
const char* const kQualityNames[Encode::kQualityLevels] = {
    QT_TRANSLATE_NOOP("CEncodeConfig", "Worst"),   QT_TRANSLATE_NOOP("CEncodeConfig", "Worse"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "General"), QT_TRANSLATE_NOOP("CEncodeConfig", "Good"),
    QT_TRANSLATE_NOOP("CEncodeConfig", "Better"),  QT_TRANSLATE_NOOP("CEncodeConfig", "Best")};
// Profiles by number (1-based) with the value the device keeps for each.
const char* const kProfileNames[3] = {QT_TRANSLATE_NOOP("CEncodeConfig", "baseline"),
                                      QT_TRANSLATE_NOOP("CEncodeConfig", "main profile"),
                                      QT_TRANSLATE_NOOP("CEncodeConfig", "high profile")};
constexpr int kProfileValues[3] = {51, 41, 40};
constexpr int kIFrameIntervals = 12;
constexpr int kVbr = 1;
// Smart-encoding item data: off, "plus" mode, second mode.
constexpr int kSmartOff = 0, kSmartPlus = 1, kSmartSecond = 2;

int profileNumberOf(int nValue)
{
    for (int i = 0; i < 3; ++i) {
        if (kProfileValues[i] == nValue)
            return i + 1;
    }
    return 0;
}

int blockOf(int nStream)
{
    return CEncodeModel::streamOffset(nStream);
}

void selectData(QComboBox* pBox, int nData)
{
    pBox->setCurrentIndex(pBox->findData(nData));
}

void selectIndex(QComboBox* pBox, int nIndex)
{
    pBox->setCurrentIndex(nIndex >= 0 && nIndex < pBox->count() ? nIndex : -1);
}

} // namespace

CEncodeConfig::CEncodeConfig(QWidget* parent)
    : QWidget(parent), baConfig(R::kSize, 0), nType(kPageEncode), ui(std::make_unique<Ui::CEncodeConfig>())
{
    ui->setupUi(this);
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        const CStreamBoxes b = boxes(nStream);
        b.pStreamCtrl->addItems({tr("CBR"), tr("VBR")});
        for (const char* szName : kQualityNames)
            b.pQuality->addItem(tr(szName));
        for (int i = 1; i <= kIFrameIntervals; ++i)
            b.pIFrame->addItem(QString::number(i));
        connect(b.pIFrame, &QComboBox::currentIndexChanged, this,
                [this, nStream](int index) { onIFrameChanged(nStream, index); });
    }
    connect(ui->checkBoxVideoExtra, &QCheckBox::stateChanged, this, &CEncodeConfig::onExtraVideoCheckStateChanged);
    connect(ui->comboBoxSmartH264V2Main, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexSmartH264Main);
    connect(ui->comboBoxSmartH264V2Extra, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexSmartH264Extra);
    connect(ui->comboBoxCompressionMain, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexCompressionMain);
    connect(ui->comboBoxCompressionExtra, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexCompressionExtra);
    connect(ui->comboBoxResolutionMain, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexResolutionMain);
    connect(ui->comboBoxResolutionExtra, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexResolutionExtra);
    connect(ui->comboBoxQualityMain, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexQualityMain);
    connect(ui->comboBoxQualityExtra, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexQualityExtra);
    connect(ui->comboBoxFPSMain, &QComboBox::currentIndexChanged, this, &CEncodeConfig::onChangeCurrentIndexFPSMain);
    connect(ui->comboBoxFPSExtra, &QComboBox::currentIndexChanged, this, &CEncodeConfig::onChangeCurrentIndexFPSExtra);
    connect(ui->comboBoxStreamCtrlMain, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexStreamCtrlMain);
    connect(ui->comboBoxStreamCtrlExtra, &QComboBox::currentIndexChanged, this,
            &CEncodeConfig::onChangeCurrentIndexStreamCtrlExtra);
    ui->labelStaticEncode->hide();
    ui->comboBoxStaticEncodeMain->hide();
    ui->labelSmartH264Enable->hide();
    ui->comboBoxSmartH264V2Main->hide();
    ui->comboBoxSmartH264V2Extra->hide();
    // Nothing read yet: nothing to edit.
    onEnableAllControl(false);
}

CEncodeConfig::~CEncodeConfig() = default;

CEncodeConfig::CStreamBoxes CEncodeConfig::boxes(int nStream) const
{
    if (nStream == Encode::kMainStream)
        return {ui->comboBoxCompressionMain, ui->comboBoxResolutionMain, ui->comboBoxFPSMain,
                ui->comboBoxStreamCtrlMain,  ui->comboBoxQualityMain,    ui->comboBoxBitRateMain,
                ui->comboBoxIFrameInterMain, ui->comboBoxSmartH264V2Main};
    return {ui->comboBoxCompressionExtra, ui->comboBoxResolutionExtra, ui->comboBoxFPSExtra,
            ui->comboBoxStreamCtrlExtra,  ui->comboBoxQualityExtra,    ui->comboBoxBitRateExtra,
            ui->comboBoxIFrameInterExtra, ui->comboBoxSmartH264V2Extra};
}

SDK_VIDEO_FORMAT CEncodeConfig::format(int nStream) const
{
    return videoFormatAt(baConfig, blockOf(nStream));
}

void CEncodeConfig::setFormat(int nStream, const SDK_VIDEO_FORMAT& f)
{
    setVideoFormatAt(baConfig, blockOf(nStream), f);
}

SDK_VIDEO_FORMAT CEncodeConfig::savedFormat(int nStream) const
{
    return videoFormatAt(baSavedEntry, nStream == Encode::kMainStream ? R::kMainBlock : R::kExtraBlock);
}

// ---- opening -------------------------------------------------------------------------------------

void CEncodeConfig::initConfig(long lLogin)
{
    if (lLogin < 0)
        return;
    fillConfig(loadPageData(nType, lLogin));
}

void CEncodeConfig::fillConfig(const CPageData& data)
{
    if (!data.bLoaded)
        return;
    lLoginID = data.lLoginID;
    baFunctions = data.baFunctions;
    baSystemInfo = data.baSystemInfo;
    bInitialised = false;
    bResolutionChanged = false;
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        const CStreamBoxes b = boxes(nStream);
        for (QComboBox* pBox : {b.pCompression, b.pResolution, b.pFps, b.pBitRate, b.pSmart}) {
            const QSignalBlocker blocker(pBox);
            pBox->clear();
        }
    }
    {
        const QSignalBlocker blocker(ui->comboBoxStaticEncodeMain);
        ui->comboBoxStaticEncodeMain->clear();
    }
    if (data.nResult < 1 || data.baRecord.size() != R::kSize) {
        // Nothing to show and nothing that may be written: the record holds cleared device records.
        baConfig = data.baRecord.size() == R::kSize ? data.baRecord : QByteArray(R::kSize, 0);
        bReadOk = false;
        onEnableAllControl(false);
        if (ui->checkBoxSetEnable->isChecked()) {
            ui->checkBoxSetEnable->setChecked(false);
            emit checkStateChanged(nType, false);
        }
        return;
    }
    baConfig = data.baRecord;
    bReadOk = true;
    onEnableAllControl(true);
    ui->checkBoxVideoMain->setEnabled(false); // the main stream is always encoded
    model.initResolutionTable(recordInt(baConfig, R::kVideoStandard));
    baSavedEntry = baConfig.mid(R::kEntries, R::kEntrySize);
    bH265X = recordFlag(baFunctions, FunctionRecord::kH265X);

    fillCompressions();
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        const CStreamBoxes b = boxes(nStream);
        const SDK_VIDEO_FORMAT f = format(nStream);
        fillStreamLists(nStream, CBitRates{});
        const QSignalBlocker blockQuality(b.pQuality);
        const QSignalBlocker blockIFrame(b.pIFrame);
        selectIndex(b.pQuality, f.nQuality - 1);
        selectIndex(b.pIFrame, f.nGOP - 1);
        setStreamControl(nStream, f.nBitRateControl);
    }
    {
        const QSignalBlocker blockVideo(ui->checkBoxVideoExtra);
        ui->checkBoxVideoMain->setChecked(recordFlag(baConfig, blockOf(Encode::kMainStream) + R::kBlockVideo));
        ui->checkBoxAudioMain->setChecked(recordFlag(baConfig, blockOf(Encode::kMainStream) + R::kBlockAudio));
        ui->checkBoxVideoExtra->setChecked(recordFlag(baConfig, blockOf(Encode::kExtraStream) + R::kBlockVideo));
        ui->checkBoxAudioExtra->setChecked(recordFlag(baConfig, blockOf(Encode::kExtraStream) + R::kBlockAudio));
    }
    onExtraVideoCheckStateChanged(ui->checkBoxVideoExtra->isChecked() ? Qt::Checked : Qt::Unchecked);
    fillProfiles();
    fillSmartBoxes(false);

    bInitialised = true;
    // The bit rates of what the boxes show, each stream's carried from the device's frame rate.
    onChangeCurrentIndexFPSMain(ui->comboBoxFPSMain->currentIndex());
    onChangeCurrentIndexFPSExtra(ui->comboBoxFPSExtra->currentIndex());
    GetSelectResolutionInfo();
}

void CEncodeConfig::fillCompressions()
{
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        QComboBox* pBox = boxes(nStream).pCompression;
        const QSignalBlocker blocker(pBox);
        pBox->clear();
        const int nList = nStream == Encode::kMainStream ? R::kMainCompressions : R::kExtraCompressions;
        for (int c = 0; c < Encode::kCompressionCount; ++c) {
            if (recordInt(baConfig, nList + 4 * c) == 0)
                continue;
            const bool bX = c == Encode::kH264 && bH265X;
            pBox->addItem(bX ? tr("H.265X") : tr(kCompressionNames[c]), c);
        }
        selectData(pBox, format(nStream).nCompression);
    }
}

void CEncodeConfig::fillProfiles()
{
    QComboBox* pBox = ui->comboBoxStaticEncodeMain;
    const QSignalBlocker blocker(pBox);
    pBox->clear();
    const int nValue = recordInt(baConfig, R::kProfiles + 4);
    if (recordInt(baSystemInfo, SystemInfoRecord::kProfileField) == 2) {
        if (recordFlag(baConfig, R::kProfileRecord)) {
            for (int i = 0; i < 3; ++i)
                pBox->addItem(tr(kProfileNames[i]), kProfileValues[i]);
            selectIndex(pBox, recordInt(baConfig, R::kProfiles) - 1);
        }
    } else {
        const int nMask = recordInt(baConfig, R::kProfileMask) & 7;
        for (int i = 0; i < 3; ++i) {
            if (nMask & (1 << i))
                pBox->addItem(tr(kProfileNames[i]), kProfileValues[i]);
        }
        // Among several, the device's own profile; the page's last choice when the device's is not offered.
        const int nDevice = pBox->findData(nValue);
        selectIndex(pBox, pBox->count() == 1 ? 0 : nDevice >= 0 ? nDevice : recordInt(baConfig, R::kProfileIndex));
    }
    bProfileInUse = pBox->count() > 0;
    pBox->setVisible(bProfileInUse);
    ui->labelStaticEncode->setVisible(bProfileInUse);
}

void CEncodeConfig::fillSmartBoxes(bool bKeepIndexes)
{
    const bool bChannel = recordFlag(baConfig, R::kSmartChannel);
    const bool bPerStream = recordFlag(baConfig, R::kSmartPerStream);
    const bool bH265 = ui->comboBoxCompressionMain->currentData().toInt() == Encode::kH265;
    QComboBox* pMain = ui->comboBoxSmartH264V2Main;
    QComboBox* pExtra = ui->comboBoxSmartH264V2Extra;
    const int nPrevMain = pMain->currentIndex();
    const int nPrevExtra = pExtra->currentIndex();
    {
        const QSignalBlocker blockMain(pMain);
        const QSignalBlocker blockExtra(pExtra);
        pMain->clear();
        pExtra->clear();
        ui->labelSmartH264Enable->setVisible(bChannel || bPerStream);
        pMain->setVisible(bChannel || bPerStream);
        pExtra->setVisible(bPerStream);
        if (bPerStream) {
            for (QComboBox* pBox : {pMain, pExtra}) {
                pBox->addItem(tr("Close"), kSmartOff);
                if (bH265) {
                    pBox->addItem(tr("H265+"), kSmartPlus);
                    pBox->addItem(bH265X ? tr("H265AI") : tr("H265++"), kSmartSecond);
                } else if (bH265X) {
                    pBox->addItem(tr("H265x"), kSmartPlus);
                } else {
                    pBox->addItem(tr("H264+"), kSmartPlus);
                    pBox->addItem(tr("H265x"), kSmartSecond);
                }
            }
            for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
                QComboBox* pBox = nStream == Encode::kMainStream ? pMain : pExtra;
                const int nPrev = nStream == Encode::kMainStream ? nPrevMain : nPrevExtra;
                const bool bPlus = recordFlag(baConfig, R::kSmartStreams + nStream);
                const int nMode = recordInt(baConfig, R::kSmartStreams + 4 + 4 * nStream);
                const int nData = bPlus && nMode == 0 ? kSmartPlus : !bPlus && nMode == 1 ? kSmartSecond : kSmartOff;
                if (bKeepIndexes && nPrev >= 0 && nPrev < pBox->count())
                    pBox->setCurrentIndex(nPrev);
                else
                    pBox->setCurrentIndex(qMax(0, pBox->findData(nData)));
            }
        } else if (bChannel) {
            pMain->addItem(tr("Close"), kSmartOff);
            pMain->addItem(bH265 ? tr("H265+") : bH265X ? tr("H265X") : tr("H264+"), kSmartPlus);
            if (bKeepIndexes && nPrevMain >= 0 && nPrevMain < pMain->count())
                pMain->setCurrentIndex(nPrevMain);
            else
                pMain->setCurrentIndex(recordFlag(baConfig, R::kSmartSwitches) ? 1 : 0);
        }
    }
    if (bPerStream) {
        applySmart(Encode::kMainStream, pMain->currentIndex() >= 1);
        applySmart(Encode::kExtraStream, pExtra->currentIndex() >= 1);
    } else if (bChannel) {
        applySmart(Encode::kMainStream, pMain->currentIndex() >= 1);
        applySmart(Encode::kExtraStream, pMain->currentIndex() >= 1);
    }
}

// ---- lists and boxes -----------------------------------------------------------------------------

void CEncodeConfig::fillStreamLists(int nStream, const CBitRates& values)
{
    const CStreamBoxes b = boxes(nStream);
    const SDK_VIDEO_FORMAT f = format(nStream);
    const QSignalBlocker blockResolution(b.pResolution);
    const QSignalBlocker blockFps(b.pFps);
    const QSignalBlocker blockBitRate(b.pBitRate);
    b.pResolution->clear();
    const int nList = nStream == Encode::kMainStream ? R::kMainResolutions : R::kExtraResolutions;
    for (int r = 0; r < Encode::kResolutionCount; ++r) {
        if (recordInt(baConfig, nList + 4 * r) != 0)
            b.pResolution->addItem(QString::fromLatin1(resolutionName(r)), r);
    }
    selectData(b.pResolution, f.nResolution);
    const int nRates = recordInt(baConfig, nStream == Encode::kMainStream ? R::kMainFrameRates : R::kExtraFrameRates);
    if (b.pFps->count() != nRates) {
        b.pFps->clear();
        for (int i = 1; i <= nRates; ++i)
            b.pFps->addItem(QString::number(i));
    }
    setCurrentFPSIndex(b.pFps, f.nFPS - 1);
    addBitRateComb(b.pBitRate, values.data(), f.nBitRate);
}

void CEncodeConfig::setCurrentFPSIndex(QComboBox* comboBox, int nIndex)
{
    if (!comboBox)
        return;
    const int nLast = comboBox->count() - 1;
    comboBox->setCurrentIndex(nIndex >= nLast ? nLast : qMax(0, nIndex));
}

void CEncodeConfig::addBitRateComb(QComboBox* pComb, const int* pBitrateValueArr, int nValue)
{
    if (!pComb || !pBitrateValueArr)
        return;
    const QSignalBlocker blocker(pComb);
    pComb->clear();
    int nChosen = -1;
    for (int i = 0; i < Encode::kQualityLevels && pBitrateValueArr[i] > 0; ++i) {
        pComb->addItem(QString::number(pBitrateValueArr[i]));
        if (nChosen < 0 && pBitrateValueArr[i] >= nValue)
            nChosen = i;
    }
    // Above every value offered: the highest one (a box with nothing chosen would write no bit rate).
    pComb->setCurrentIndex(nChosen >= 0 ? nChosen : pComb->count() - 1);
}

void CEncodeConfig::onUpdateQualifiedRate(int nStreamType, const int* pQualifiedRate)
{
    addBitRateComb(boxes(nStreamType).pBitRate, pQualifiedRate, format(nStreamType).nBitRate);
}

void CEncodeConfig::onUpdateEncodeBitRateValue(int nEncodeType, const int* pQualifyValue, int nValue)
{
    addBitRateComb(boxes(nEncodeType).pBitRate, pQualifyValue, nValue);
    // Every change can move what the other boxes may offer (the other stream's power, the extra
    // stream's resolutions under the main one): they are re-fitted once, here, for what is shown.
    bResolutionChanged = false;
    GetSelectResolutionInfo();
}

void CEncodeConfig::GetSelectResolutionInfo()
{
    if (!bReadOk)
        return;
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream})
        fillStreamLists(nStream, model.refit(baConfig, nStream));
    EnableExpandVideo(recordFlag(baConfig, blockOf(Encode::kExtraStream) + R::kBlockVideo));
}

void CEncodeConfig::onGetCodeStreamValue(int nChannelID, int nEncodeType, int* BitrateValueArr)
{
    Q_UNUSED(nChannelID); // the page edits channel 0
    const CBitRates values = model.recompute(baConfig, nEncodeType, nullptr);
    std::copy(values.begin(), values.end(), BitrateValueArr);
}

void CEncodeConfig::onGetCodeStreamValueByFrameChanged(int nChannelNum, SDK_VIDEO_FORMAT stSrcFormat, int nEncodeType,
                                                       int* pQualifyValue)
{
    Q_UNUSED(nChannelNum);
    const CBitRates values = model.recompute(baConfig, nEncodeType, &stSrcFormat);
    std::copy(values.begin(), values.end(), pQualifyValue);
}

void CEncodeConfig::recomputeStream(int nStream, const SDK_VIDEO_FORMAT* pPrevious)
{
    int anValues[Encode::kQualityLevels] = {};
    if (pPrevious)
        onGetCodeStreamValueByFrameChanged(0, *pPrevious, nStream, anValues);
    else
        onGetCodeStreamValue(0, nStream, anValues);
    onUpdateEncodeBitRateValue(nStream, anValues, format(nStream).nBitRate);
}

bool CEncodeConfig::getBitRateControl(QComboBox** pComb, SDK_VIDEO_FORMAT& f, int nStreamType)
{
    f = format(nStreamType);
    if (pComb)
        *pComb = boxes(nStreamType).pBitRate;
    return true;
}

void CEncodeConfig::onEnableAllControl(bool bEnabled)
{
    for (QWidget* pChild : findChildren<QWidget*>())
        pChild->setEnabled(bEnabled);
}

// ---- slots ---------------------------------------------------------------------------------------

void CEncodeConfig::onQuality(int nStream, int index)
{
    if (index < 0 || !bInitialised)
        return;
    SDK_VIDEO_FORMAT f = format(nStream);
    f.nQuality = index + 1;
    setFormat(nStream, f);
    recomputeStream(nStream, nullptr);
}

void CEncodeConfig::onFps(int nStream, int index)
{
    if (index < 0 || !bInitialised)
        return;
    SDK_VIDEO_FORMAT f = format(nStream);
    f.nFPS = index + 1;
    setFormat(nStream, f);
    const SDK_VIDEO_FORMAT saved = savedFormat(nStream);
    recomputeStream(nStream, &saved);
}

void CEncodeConfig::setStreamControl(int nStream, int nIndex)
{
    const CStreamBoxes b = boxes(nStream);
    {
        const QSignalBlocker blocker(b.pStreamCtrl);
        selectIndex(b.pStreamCtrl, nIndex);
    }
    b.pBitRate->setEnabled(nIndex == 0);
    b.pQuality->setEnabled(nIndex != 0);
    if (bReadOk && nIndex >= 0) {
        SDK_VIDEO_FORMAT f = format(nStream);
        f.nBitRateControl = nIndex;
        setFormat(nStream, f);
    }
}

void CEncodeConfig::onStreamCtrl(int nStream, int index)
{
    if (index < 0)
        return;
    const CStreamBoxes b = boxes(nStream);
    b.pBitRate->setEnabled(index == 0);
    b.pQuality->setEnabled(index != 0);
    if (!bInitialised)
        return;
    SDK_VIDEO_FORMAT f = format(nStream);
    f.nBitRateControl = index;
    setFormat(nStream, f);
    recomputeStream(nStream, nullptr);
}

void CEncodeConfig::onResolution(int nStream, int index)
{
    if (index < 0 || !bInitialised)
        return;
    SDK_VIDEO_FORMAT f = format(nStream);
    f.nResolution = boxes(nStream).pResolution->itemData(index).toInt();
    setFormat(nStream, f);
    bResolutionChanged = true;
    recomputeStream(nStream, nullptr);
}

void CEncodeConfig::onIFrameChanged(int nStream, int index)
{
    if (index < 0 || !bInitialised)
        return;
    SDK_VIDEO_FORMAT f = format(nStream);
    f.nGOP = index + 1;
    setFormat(nStream, f);
    GetSelectResolutionInfo();
}

void CEncodeConfig::setH265Flags(int nStream, int nCode)
{
    const char chH265 = nCode == Encode::kH265 ? 1 : 0;
    // The main stream's compression decides both streams' bit-rate tables; the extra stream's
    // decides only its own, so the main stream's table always belongs to its own compression.
    setRecordByte(baConfig, R::kH265Extra, chH265);
    if (nStream == Encode::kMainStream)
        setRecordByte(baConfig, R::kH265Main, chH265);
}

void CEncodeConfig::onChangeCurrentIndexCompressionMain(int index)
{
    if (index < 0 || !bInitialised)
        return;
    bH265X = recordFlag(baFunctions, FunctionRecord::kH265X);
    const int nCode = ui->comboBoxCompressionMain->itemData(index).toInt();
    setH265Flags(Encode::kMainStream, nCode);
    SDK_VIDEO_FORMAT f = format(Encode::kMainStream);
    f.nCompression = nCode;
    setFormat(Encode::kMainStream, f);
    fillSmartBoxes(true);
    recomputeStream(Encode::kMainStream, nullptr);
}

void CEncodeConfig::onChangeCurrentIndexCompressionExtra(int index)
{
    if (index < 0 || !bInitialised)
        return;
    const int nCode = ui->comboBoxCompressionExtra->itemData(index).toInt();
    setH265Flags(Encode::kExtraStream, nCode);
    SDK_VIDEO_FORMAT f = format(Encode::kExtraStream);
    f.nCompression = nCode;
    setFormat(Encode::kExtraStream, f);
    recomputeStream(Encode::kExtraStream, nullptr);
}

void CEncodeConfig::applySmart(int nStream, bool bOn)
{
    const CStreamBoxes b = boxes(nStream);
    b.pIFrame->setEnabled(!bOn);
    b.pStreamCtrl->setEnabled(!bOn);
    if (bOn) {
        {
            const QSignalBlocker blocker(b.pIFrame);
            b.pIFrame->setCurrentIndex(1);
        }
        if (bReadOk) {
            SDK_VIDEO_FORMAT f = format(nStream);
            f.nGOP = 2;
            setFormat(nStream, f);
        }
        setStreamControl(nStream, kVbr);
    }
    b.pBitRate->setEnabled(!bOn && b.pStreamCtrl->currentIndex() != kVbr);
}

void CEncodeConfig::onSmart(int nStream, int index)
{
    if (index < 0)
        return;
    applySmart(nStream, index >= 1);
    const bool bBoth = nStream == Encode::kMainStream && !recordFlag(baConfig, R::kSmartPerStream);
    if (bBoth)
        applySmart(Encode::kExtraStream, index >= 1);
    if (!bInitialised)
        return;
    if (bBoth)
        model.recompute(baConfig, Encode::kExtraStream, nullptr);
    recomputeStream(nStream, nullptr);
}

void CEncodeConfig::onExtraVideoCheckStateChanged(int state)
{
    if (state == 0)
        ui->checkBoxAudioExtra->setChecked(false);
    EnableExpandVideo(state != 0);
    ui->checkBoxAudioExtra->setEnabled(state > 0);
    if (!bInitialised)
        return;
    // The extra stream's load counts only while it is encoded: the lists follow it.
    setRecordByte(baConfig, blockOf(Encode::kExtraStream) + R::kBlockVideo, state != 0 ? 1 : 0);
    GetSelectResolutionInfo();
}

void CEncodeConfig::EnableExpandVideo(bool bShow)
{
    ui->checkBoxAudioExtra->setEnabled(bShow);
    ui->comboBoxFPSExtra->setEnabled(bShow);
    ui->comboBoxQualityExtra->setEnabled(bShow);
    ui->comboBoxResolutionExtra->setEnabled(bShow);
    if (bShow) {
        const bool bCbr = ui->comboBoxStreamCtrlExtra->currentIndex() == 0;
        ui->comboBoxBitRateExtra->setEnabled(bCbr);
        ui->comboBoxQualityExtra->setEnabled(!bCbr);
    }
}

void CEncodeConfig::onChangeCurrentIndexQualityMain(int index)
{
    onQuality(Encode::kMainStream, index);
}

void CEncodeConfig::onChangeCurrentIndexQualityExtra(int index)
{
    onQuality(Encode::kExtraStream, index);
}

void CEncodeConfig::onChangeCurrentIndexFPSMain(int index)
{
    onFps(Encode::kMainStream, index);
}

void CEncodeConfig::onChangeCurrentIndexFPSExtra(int index)
{
    onFps(Encode::kExtraStream, index);
}

void CEncodeConfig::onChangeCurrentIndexStreamCtrlMain(int index)
{
    onStreamCtrl(Encode::kMainStream, index);
}

void CEncodeConfig::onChangeCurrentIndexStreamCtrlExtra(int index)
{
    onStreamCtrl(Encode::kExtraStream, index);
}

void CEncodeConfig::onChangeCurrentIndexSmartH264Main(int index)
{
    onSmart(Encode::kMainStream, index);
}

void CEncodeConfig::onChangeCurrentIndexSmartH264Extra(int index)
{
    onSmart(Encode::kExtraStream, index);
}

void CEncodeConfig::onChangeCurrentIndexResolutionMain(int index)
{
    onResolution(Encode::kMainStream, index);
}

void CEncodeConfig::onChangeCurrentIndexResolutionExtra(int index)
{
    onResolution(Encode::kExtraStream, index);
}

// ---- handing the record out ----------------------------------------------------------------------

bool CEncodeConfig::getConfig(char* pConfig, int nSize)
{
    if (!pConfig || nSize != R::kSize || !bReadOk)
        return false;
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        const CStreamBoxes b = boxes(nStream);
        SDK_VIDEO_FORMAT f = format(nStream);
        // A box with nothing chosen leaves the device's value.
        if (b.pStreamCtrl->currentIndex() >= 0)
            f.nBitRateControl = b.pStreamCtrl->currentIndex();
        if (b.pBitRate->currentIndex() >= 0)
            f.nBitRate = b.pBitRate->currentText().toInt();
        if (b.pIFrame->currentIndex() >= 0)
            f.nGOP = b.pIFrame->currentIndex() + 1;
        if (b.pCompression->currentIndex() >= 0)
            f.nCompression = b.pCompression->currentData().toInt();
        setFormat(nStream, f);
    }
    const int nMain = blockOf(Encode::kMainStream);
    const int nExtra = blockOf(Encode::kExtraStream);
    setRecordByte(baConfig, nMain + R::kBlockVideo, ui->checkBoxVideoMain->isChecked() ? 1 : 0);
    setRecordByte(baConfig, nMain + R::kBlockAudio, ui->checkBoxAudioMain->isChecked() ? 1 : 0);
    setRecordByte(baConfig, nExtra + R::kBlockVideo, ui->checkBoxVideoExtra->isChecked() ? 1 : 0);
    setRecordByte(baConfig, nExtra + R::kBlockAudio, ui->checkBoxAudioExtra->isChecked() ? 1 : 0);
    baSavedEntry = baConfig.mid(R::kEntries, R::kEntrySize);

    QComboBox* pProfile = ui->comboBoxStaticEncodeMain;
    if (bProfileInUse && pProfile->currentIndex() >= 0) {
        const int nValue = pProfile->currentData().toInt();
        setRecordInt(baConfig, R::kProfiles, profileNumberOf(nValue));
        setRecordInt(baConfig, R::kProfiles + 4, nValue);
        setRecordInt(baConfig, R::kProfileIndex, pProfile->currentIndex());
    }
    const bool bPerStream = recordFlag(baConfig, R::kSmartPerStream);
    if (!bPerStream && recordFlag(baConfig, R::kSmartChannel) && ui->comboBoxSmartH264V2Main->currentIndex() >= 0) {
        setRecordByte(baConfig, R::kSmartSwitches, ui->comboBoxSmartH264V2Main->currentIndex() != 0 ? 1 : 0);
    } else if (bPerStream) {
        for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
            const QComboBox* pBox = boxes(nStream).pSmart;
            if (pBox->currentIndex() < 0)
                continue;
            const int nData = pBox->currentData().toInt();
            setRecordByte(baConfig, R::kSmartStreams + nStream, nData == kSmartPlus ? 1 : 0);
            setRecordInt(baConfig, R::kSmartStreams + 4 + 4 * nStream, nData == kSmartSecond ? 1 : 0);
        }
    }
    // A recorder's channel 0 is its first digital channel: its stream table entry takes the formats.
    if (recordFlag(baConfig, R::kDigitalStream)) {
        const int s = digitalTableEntry(baConfig, 0);
        if (s >= 0) {
            const int nEntry = R::kDigitalEntries + R::kEntrySize * s;
            std::memcpy(baConfig.data() + nEntry + R::kMainBlock, baConfig.constData() + nMain, R::kSimpleBlock);
            std::memcpy(baConfig.data() + nEntry + R::kExtraBlock, baConfig.constData() + nExtra, R::kSimpleBlock);
        }
    }
    std::memcpy(pConfig, baConfig.constData(), size_t(nSize));
    return true;
}

bool CEncodeConfig::isSetEnableChecked() const
{
    return ui->checkBoxSetEnable->isChecked();
}

void CEncodeConfig::onCheckChanged(int nCode, bool bChecked)
{
    if (nCode == nType)
        ui->checkBoxSetEnable->setChecked(bChecked);
}

void CEncodeConfig::on_checkBoxSetEnable_clicked()
{
    emit checkStateChanged(nType, ui->checkBoxSetEnable->isChecked());
}

long CEncodeConfig::getChannelAbilityJson(int nNameIndex, int nChannel, CChannelAbility* pAbility) const
{
    return ::getChannelAbilityJson(lLoginID, nNameIndex, nChannel, pAbility);
}
