#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CAlarmMotionConfig;
}

/// Configuration page 11, "Motion Detect": motion detection with its alarm actions (phone report,
/// alarm sound with a sound type and an interval), humanoid detection and the device's volume. Which
/// controls show depends on the device's abilities.
class CAlarmMotionConfig : public QWidget
{
    Q_OBJECT

public:
    /// The alarm interval's range in seconds (the device's own limit is not known to the page).
    static constexpr int kMaxAlarmInterval = 86400;

    explicit CAlarmMotionConfig(QWidget* parent = nullptr);
    ~CAlarmMotionConfig() override;

    /// Writes the shown fields and copies the 3800 bytes; false, writing nothing, for any other size.
    bool getConfig(char* pConfig, int nSize);
    bool isSetEnableChecked() const;
    void fillConfig(const CPageData& data);
    int type() const { return nType; }
    /// The page's JSON read (name index 2: voice tips, 3: volume); see ::getDevConfigJson.
    long getDevConfigJson(long lLoginID, int nNameIndex, int nChannel, char* pRecord, int nSize, int* pRetSize);

signals:
    void checkStateChanged(int nType, bool bChecked);

public slots:
    void onCheckChanged(int nType, bool bChecked);
    void onstateChanged(int state);
    void onAlarmSoundSelected(int state);
    /// UTF-8 to the local 8-bit encoding; pmb must hold utf8Len + 1 bytes (see ::utf8ToLocal8Bit).
    bool UTFToMB(char* pmb, const char* pu8, int utf8Len);
    void onVolumeValueChange(int nValue);
    void on_checkBoxSetEnable_clicked();
    void initConfig(long lLoginID);

private:
    void setVoiceTipWidgetsVisible(bool bVisible);

    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CAlarmMotionConfig> ui;
};
