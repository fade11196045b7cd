#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CCameraConfig;
}

/// Configuration page 13, "CameraParam": the image settings of the first channel (camera parameter
/// record 94 and, where the device has it, the extended record 145). Which day/night modes and extra
/// controls show depends on the device's abilities.
class CCameraConfig : public QWidget
{
    Q_OBJECT

public:
    /// Day/night modes by number; the number is each entry's item data in comboBoxDayNightMode.
    enum EDayNightMode
    {
        kStarIr = 0,
        kFullColor = 1,
        kBlackAndWhite = 2,
        kIntellMotionDetect = 3,
        kWarmLight = 4,
        kIntelligentInfrared = 5,
        kLicensePlate = 6,
    };

    explicit CCameraConfig(QWidget* parent = nullptr);
    ~CCameraConfig() override;

    /// Writes the shown fields and copies the 528 bytes; false, writing nothing, for any other size.
    bool getConfig(char* pConfig, int nSize);
    bool isSetEnableChecked() const;
    void fillConfig(const CPageData& data);
    int type() const { return nType; }

signals:
    void checkStateChanged(int nType, bool bChecked);

public slots:
    void onCheckChanged(int nType, bool bChecked);
    void on_checkBoxSetEnable_clicked();
    void initConfig(long lLoginID);
    void onCurrentIndexDayNightModeChanged(int index);
    void onSliderValueChangedSP(int nValue);
    void onSliderValueChangedDNCT(int nvalue);

private:
    void addMode(int nMode);
    void setSoftPhotoVisible(bool bVisible);
    void setThresholdVisible(bool bVisible);
    /// The visibility rule of a day/night mode: modes 0 to 2 show the threshold, the others the soft
    /// photo slider (only on a device that has it).
    void showWidgetsForMode(int nMode);

    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CCameraConfig> ui;
    bool bSoftPhoto = false;
};
