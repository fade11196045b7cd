#pragma once

#include <QLoggingCategory>

/// One category per module of the program.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
Q_DECLARE_LOGGING_CATEGORY(lcMainWindow)
Q_DECLARE_LOGGING_CATEGORY(lcBatch)
Q_DECLARE_LOGGING_CATEGORY(lcAddressCheck)
Q_DECLARE_LOGGING_CATEGORY(lcIpPlan)
Q_DECLARE_LOGGING_CATEGORY(lcUpgrade)
