#include "LogCategories.h"

Q_LOGGING_CATEGORY(lcApp, "vantrel.app")
Q_LOGGING_CATEGORY(lcDevice, "vantrel.device")
Q_LOGGING_CATEGORY(lcMainWindow, "vantrel.mainwindow")
Q_LOGGING_CATEGORY(lcConfig, "vantrel.config")
