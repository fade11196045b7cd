#include "LogCategories.h"

Q_LOGGING_CATEGORY(lcApp, "vantrel.app")
Q_LOGGING_CATEGORY(lcDevice, "vantrel.device")
Q_LOGGING_CATEGORY(lcMainWindow, "vantrel.mainwindow")
Q_LOGGING_CATEGORY(lcBatch, "vantrel.batch")
Q_LOGGING_CATEGORY(lcAddressCheck, "vantrel.addresscheck")
Q_LOGGING_CATEGORY(lcIpPlan, "vantrel.ipplan")
Q_LOGGING_CATEGORY(lcUpgrade, "vantrel.upgrade")
Q_LOGGING_CATEGORY(lcMedia, "vantrel.media")
Q_LOGGING_CATEGORY(lcConfig, "vantrel.config")
