#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

class QButtonGroup;
namespace Ui {
class CNetNTPConfig;
}

/// Configuration page 7, "Ntp": the time server (command 41): enable, custom or automatic server,
/// address, port and update interval.
class CNetNTPConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CNetNTPConfig(QWidget* parent = nullptr);
    ~CNetNTPConfig() override;

    /// Writes the shown fields into the record and copies it (216 bytes) to pConfig; false, writing
    /// nothing, for any other size. A port or interval field that does not hold an acceptable number
    /// (an empty field) keeps the device's value.
    bool getConfig(char* pConfig, int nSize);
    bool isSetEnableChecked() const;
    /// Fills the widgets from data loaded for this page (user-interface thread).
    void fillConfig(const CPageData& data);
    int type() const { return nType; }

signals:
    void checkStateChanged(int nType, bool bChecked);

public slots:
    void onCheckChanged(int nType, bool bChecked);
    void on_checkBoxSetEnable_clicked();
    void initConfig(long lLoginID);
    void onstateChanged(int nState);

public:
    /// The server buttons (custom 0, automatic 1). Not a slot: a slot of this name would have the form
    /// look for an object "radioButton" to connect it to; the button group's signal is connected instead.
    void on_radioButton_clicked(int nId);

private:
    void setServerWidgetsEnabled(bool bEnabled);
    void setServerAddressVisible(bool bVisible);

    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CNetNTPConfig> ui;
    QButtonGroup* pServerGroup = nullptr;
};
