#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CNetAppConfig;
}

/// Configuration page 9, "NetPMS": the push service (command 138): enable.
class CNetAppConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CNetAppConfig(QWidget* parent = nullptr);
    ~CNetAppConfig() override;

    /// Writes enable and copies the 224 bytes; false, writing nothing, for any other size.
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
    std::unique_ptr<Ui::CNetAppConfig> ui;
};
