#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CNetCloudConfig;
}

/// Configuration page 8, "NetCloud": the cloud service (command 122): enable and MTU.
class CNetCloudConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CNetCloudConfig(QWidget* parent = nullptr);
    ~CNetCloudConfig() override;

    /// Writes enable and MTU (0 when the field does not parse) and copies the 84 bytes; false, writing
    /// nothing, for any other size.
    bool getConfig(char* pConfig, int nSize);
    bool isSetEnableChecked() const;
    void fillConfig(const CPageData& data);
    int type() const { return nType; }

signals:
    void checkStateChanged(int nType, bool bChecked);

public slots:
    /// The MTU field follows the enable box. The box itself stays enabled, so the cloud can be switched
    /// on again on this page.
    void onstateChanged(int nState);
    void onCheckChanged(int nType, bool bChecked);
    void on_checkBoxSetEnable_clicked();
    void initConfig(long lLoginID);

private:
    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CNetCloudConfig> ui;
};
