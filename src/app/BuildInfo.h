#pragma once

#include <QDateTime>
#include <QString>

/// Parses the compiler's __DATE__ ("Nov 17 2020", "Nov  7 2020") and __TIME__ ("20:24:12") texts.
/// Returns an invalid value when either text does not parse.
QDateTime parseBuildDateTime(const char* szDate, const char* szTime);

/// The window title "%1 %2 R%3": the translated "Vantrel" (context "CVantrel"), the build date
/// "yyyyMMdd" and the build time "hhmmss".
QString windowTitleText(const QDateTime& dtBuild);
