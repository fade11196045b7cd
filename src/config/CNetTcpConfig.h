#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CNetTcpConfig;
}

/// Configuration page 10, "NetTcp": IP adaptive (command 274, record byte 0) and DHCP (command 37,
/// record bytes 1 to 165, its first byte the switch).
class CNetTcpConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CNetTcpConfig(QWidget* parent = nullptr);
    ~CNetTcpConfig() override;

    /// Writes bytes 0 and 1 and copies all 166 bytes; false, writing nothing, for any other size.
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

private:
    QByteArray baConfig;
    int nType = 0;
    std::unique_ptr<Ui::CNetTcpConfig> ui;
};
