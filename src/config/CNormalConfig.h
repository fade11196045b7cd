#pragma once

#include <memory>

#include <QByteArray>
#include <QWidget>

#include "config/ConfigLoad.h"

namespace Ui {
class CNormalConfig;
}

/// Configuration page 12, "Normal": the video standard (general record, command 18) chosen from the
/// list the device offers (command 64).
class CNormalConfig : public QWidget
{
    Q_OBJECT

public:
    explicit CNormalConfig(QWidget* parent = nullptr);
    ~CNormalConfig() override;

    /// Writes the chosen standard's index and copies the 192 bytes; false, writing nothing, for any other
    /// size. With nothing chosen (an empty list) the device's index goes back unchanged.
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
    std::unique_ptr<Ui::CNormalConfig> ui;
};
