#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"
#include "config/EncodeCapability.h"

class QComboBox;
struct CChannelAbility;

namespace Ui {
class CEncodeConfig;
}

/// Configuration page 14, "EncodeMedia": the video encoding of the device's channel 0, main and extra
/// stream. Every resolution, frame rate and bit rate it offers is one the device can sustain
/// (CEncodeModel): a change to one box re-fits every list that depends on it, with the boxes'
/// own change signals blocked while they are refilled, so each list belongs to what the boxes show.
/// After a failed read every widget is disabled and getConfig refuses, so a cleared record never
/// reaches a camera.
class CEncodeConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CEncodeConfig(QWidget* parent = nullptr);
    ~CEncodeConfig() override;

    /// Writes the shown values into channel 0's entry and copies the 3914428 bytes. False, writing
    /// nothing, for any other size, and until a read has succeeded.
    bool getConfig(char* pConfig, int nSize);
    bool isSetEnableChecked() const;
    void fillConfig(const CPageData& data);
    int type() const { return nType; }
    /// The channel-ability query (name index 0 or 1) with the handle of the last opening.
    long getChannelAbilityJson(int nNameIndex, int nChannel, CChannelAbility* pAbility) const;

signals:
    void checkStateChanged(int nType, bool bChecked);

public slots:
    void onCheckChanged(int nType, bool bChecked);
    void on_checkBoxSetEnable_clicked();
    /// Reads for any handle of 0 or above (0 fails and disables the page); a negative one does nothing.
    void initConfig(long lLoginID);
    void onExtraVideoCheckStateChanged(int state);
    void EnableExpandVideo(bool bShow);
    void onChangeCurrentIndexQualityMain(int index);
    void onChangeCurrentIndexQualityExtra(int index);
    void onChangeCurrentIndexFPSMain(int index);
    void onChangeCurrentIndexFPSExtra(int index);
    void onChangeCurrentIndexStreamCtrlMain(int index);
    void onChangeCurrentIndexStreamCtrlExtra(int index);
    /// Refills a stream's bit-rate box with six values for the stream's present bit rate.
    void onUpdateQualifiedRate(int nStreamType, const int* pQualifiedRate);
    /// Refills a stream's bit-rate box for nValue, then re-fits the lists that depend on the change.
    void onUpdateEncodeBitRateValue(int nEncodeType, const int* pQualifyValue, int nValue);
    void onChangeCurrentIndexSmartH264Main(int index);
    void onChangeCurrentIndexSmartH264Extra(int index);
    void onChangeCurrentIndexCompressionMain(int index);
    void onChangeCurrentIndexCompressionExtra(int index);
    void onChangeCurrentIndexResolutionMain(int index);
    void onChangeCurrentIndexResolutionExtra(int index);
    /// Recomputes a stream of channel 0 after a change (bit rate preset from its quality); the six
    /// values to offer go to BitrateValueArr.
    void onGetCodeStreamValue(int nChannelID, int nEncodeType, int* BitrateValueArr);
    /// The same after a frame-rate change: a constant bit rate is carried over from stSrcFormat.
    void onGetCodeStreamValueByFrameChanged(int nChannelNum, SDK_VIDEO_FORMAT stSrcFormat, int nEncodeType,
                                            int* pQualifyValue);
    void onEnableAllControl(bool bEnabled);
    /// Re-fits both streams to the device's power and lists and refills their resolution, frame-rate
    /// and bit-rate boxes (their change signals blocked).
    void GetSelectResolutionInfo();
    void setCurrentFPSIndex(QComboBox* comboBox, int nIndex);
    /// Up to six positive values; the first not below nValue is chosen, else the last offered.
    void addBitRateComb(QComboBox* pComb, const int* pBitrateValueArr, int nValue);
    bool getBitRateControl(QComboBox** pComb, SDK_VIDEO_FORMAT& format, int nStreamType);

private:
    struct CStreamBoxes
    {
        QComboBox* pCompression;
        QComboBox* pResolution;
        QComboBox* pFps;
        QComboBox* pStreamCtrl;
        QComboBox* pQuality;
        QComboBox* pBitRate;
        QComboBox* pIFrame;
        QComboBox* pSmart;
    };
    CStreamBoxes boxes(int nStream) const;
    SDK_VIDEO_FORMAT format(int nStream) const;
    void setFormat(int nStream, const SDK_VIDEO_FORMAT& f);
    SDK_VIDEO_FORMAT savedFormat(int nStream) const;
    /// Stores a changed field and recomputes the stream (pPrevious after a frame-rate change).
    void recomputeStream(int nStream, const SDK_VIDEO_FORMAT* pPrevious);
    void fillStreamLists(int nStream, const CBitRates& values);
    void fillCompressions();
    void fillProfiles();
    void fillSmartBoxes(bool bKeepIndexes);
    /// The smart-encoding rule for one stream's boxes: on, the I-frame, stream-control and bit-rate
    /// boxes are locked (interval 2, "VBR"); off, they are free again.
    void applySmart(int nStream, bool bOn);
    void setStreamControl(int nStream, int nIndex);
    void onIFrameChanged(int nStream, int index);
    void onQuality(int nStream, int index);
    void onFps(int nStream, int index);
    void onStreamCtrl(int nStream, int index);
    void onResolution(int nStream, int index);
    void onSmart(int nStream, int index);
    void setH265Flags(int nStream, int nCode);

    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CEncodeConfig> ui;
    QByteArray baFunctions;
    QByteArray baSystemInfo;
    long lLoginID = 0;
    QByteArray baSavedEntry; ///< channel 0's entry as read or last handed out
    CEncodeModel model;
    bool bH265X = false;
    bool bProfileInUse = false;
    bool bInitialised = false;
    bool bResolutionChanged = false;
    bool bReadOk = false; ///< getConfig refuses until a read succeeded
};
