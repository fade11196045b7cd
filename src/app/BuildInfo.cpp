#include "BuildInfo.h"

#include <QCoreApplication>
#include <QLocale>

QDateTime parseBuildDateTime(const char* szDate, const char* szTime)
{
    // The compiler pads a one-digit day with a blank ("Nov  7 2020"); "d" reads one or two digits.
    const QString strDate = QString::fromLatin1(szDate).simplified();
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDate date = english.toDate(strDate, QStringLiteral("MMM d yyyy"));
    const QTime time = QTime::fromString(QString::fromLatin1(szTime), QStringLiteral("hh:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

QString windowTitleText(const QDateTime& dtBuild)
{
    return QStringLiteral("%1 %2 R%3")
        .arg(QCoreApplication::translate("CVantrel", "Vantrel"), dtBuild.date().toString(QStringLiteral("yyyyMMdd")),
             dtBuild.time().toString(QStringLiteral("hhmmss")));
}
