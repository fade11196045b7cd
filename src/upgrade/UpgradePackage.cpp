#include "UpgradePackage.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <json/json.h>
#include <zzip/zzip.h>

#include "upgrade/UpgradeJson.h"
#include "upgrade/UpgradeTexts.h"

bool isSafeEntryName(const QByteArray& baName)
{
    if (baName.isEmpty())
        return false;
    if (baName.startsWith('/') || baName.startsWith('\\'))
        return false;
    // "C:evil" is relative to drive C's current folder on one system and a plain name on others;
    // neither belongs in the scratch folder.
    if (baName.size() >= 2 && baName.at(1) == ':')
        return false;
    if (baName.contains('\0'))
        return false;
    QByteArray baPart;
    for (int i = 0; i <= baName.size(); ++i) {
        const char ch = i < baName.size() ? baName.at(i) : '/';
        if (ch == '/' || ch == '\\') {
            if (baPart == "..")
                return false;
            baPart.clear();
        } else {
            baPart.append(ch);
        }
    }
    return true;
}

namespace {

struct ZzipDirCloser
{
    void operator()(ZZIP_DIR* pDir) const { zzip_dir_close(pDir); }
};

void copyEntry(ZZIP_DIR* pDir, const char* pszName, const QByteArray& baTarget, std::vector<char>& buffer,
               ExtractReport& report)
{
    ZZIP_FILE* pEntry = zzip_file_open(pDir, pszName, 0);
    std::FILE* pTarget = std::fopen(baTarget.constData(), "wb+");
    if (pTarget) {
        if (pEntry) {
            for (;;) {
                const zzip_ssize_t nRead = zzip_file_read(pEntry, buffer.data(), buffer.size());
                if (nRead <= 0)
                    break;
                std::fwrite(buffer.data(), 1, size_t(nRead), pTarget);
            }
        }
        std::fclose(pTarget);
        ++report.nWritten;
    } else {
        ++report.nUnwritten;
    }
    if (pEntry)
        zzip_file_close(pEntry);
}

} // namespace

int extractArchive(const char* pszArchive, const char* pszDestFolder, ExtractReport* pReport)
{
    ExtractReport report;
    zzip_error_t nError = ZZIP_NO_ERROR;
    std::unique_ptr<ZZIP_DIR, ZzipDirCloser> dir(zzip_dir_open(pszArchive, &nError));
    if (!dir) {
        if (pReport)
            *pReport = report;
        return -1;
    }
    std::vector<char> buffer(kExtractBufferBytes);
    const QByteArray baDest(pszDestFolder);
    ZZIP_DIRENT entry;
    while (zzip_dir_read(dir.get(), &entry)) {
        const QByteArray baName(entry.d_name);
        qCDebug(lcUpgrade, "extract:%s", baName.constData());
        if (!isSafeEntryName(baName)) {
            ++report.nUnsafe;
            qCWarning(lcUpgrade, "skipped unsafe archive entry:%s", baName.constData());
            continue;
        }
        const QByteArray baTarget = baDest + '/' + baName;
        const int nSlash = baTarget.lastIndexOf('/');
        if (baName.contains('/')) {
            // One level only: a deeper folder must have come as an entry of its own.
            QDir().mkdir(QString::fromLocal8Bit(baTarget.left(nSlash)));
        }
        copyEntry(dir.get(), entry.d_name, baTarget, buffer, report);
    }
    if (pReport)
        *pReport = report;
    return 0;
}

bool removeDirectory(const QString& strFolder)
{
    QDir dir(strFolder);
    if (!QFileInfo(strFolder).isDir() || QFileInfo(strFolder).isSymLink())
        return !QFileInfo::exists(strFolder) && !QFileInfo(strFolder).isSymLink();
    const QFileInfoList lstEntries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& info : lstEntries) {
        if (info.isDir() && !info.isSymLink())
            removeDirectory(info.filePath());
        else
            QFile::remove(info.filePath());
    }
    return QDir().rmdir(strFolder) || !QFileInfo::exists(strFolder);
}

QString parseInstallDescHardware(const QByteArray& baText)
{
    // The description is read as a zero-terminated text: anything after a zero byte is not part
    // of it.
    const int nEnd = baText.indexOf('\0');
    const QByteArray baJson = nEnd < 0 ? baText : baText.left(nEnd);
    Json::Value root;
    if (!readJsonObject(baJson, &root))
        return QString();
    try {
        if (!root.isMember("Hardware") || !root["Hardware"].isString())
            return QString();
        return QString::fromStdString(root["Hardware"].asString()).left(kHardwareMaxChars);
    } catch (const Json::Exception&) {
        return QString();
    }
}

InstallDescRead readInstallDescHardware(const QString& strFolder, QString* pHardware)
{
    pHardware->clear();
    QFile file(strFolder + QStringLiteral("/InstallDesc"));
    if (!file.open(QIODevice::ReadOnly))
        return InstallDescRead::Unopenable;
    if (file.size() > kInstallDescMaxBytes) {
        qCWarning(lcUpgrade, "InstallDesc of %lld bytes not read", static_cast<long long>(file.size()));
        return InstallDescRead::Ok;
    }
    *pHardware = parseInstallDescHardware(file.read(kInstallDescMaxBytes));
    return InstallDescRead::Ok;
}

PackageRead readPackageHardware(const QString& strPackage, qint64 nDiskLimitBytes, QString* pHardware)
{
    pHardware->clear();
    zzip_error_t nError = ZZIP_NO_ERROR;
    std::unique_ptr<ZZIP_DIR, ZzipDirCloser> dir(zzip_dir_open(QFile::encodeName(strPackage).constData(), &nError));
    if (!dir)
        return PackageRead::NotAnArchive;
    // The directory's sizes are the archive's claims, read before any entry is: a package whose
    // entries would fill the disk is no firmware package.
    qint64 nTotal = 0;
    bool bDesc = false;
    ZZIP_DIRENT entry;
    while (zzip_dir_read(dir.get(), &entry)) {
        nTotal += qint64(quint32(entry.st_size));
        if (qstrcmp(entry.d_name, "InstallDesc") == 0)
            bDesc = true;
    }
    if (nTotal > nDiskLimitBytes) {
        qCWarning(lcUpgrade) << "package entries of" << nTotal << "bytes exceed" << nDiskLimitBytes;
        return PackageRead::TooLarge;
    }
    ZZIP_FILE* pDesc = bDesc ? zzip_file_open(dir.get(), "InstallDesc", 0) : nullptr;
    if (!pDesc)
        return PackageRead::NoInstallDesc;
    QByteArray baText(int(kInstallDescMaxBytes) + 1, Qt::Uninitialized);
    qint64 nUsed = 0;
    while (nUsed < baText.size()) {
        const zzip_ssize_t nRead = zzip_file_read(pDesc, baText.data() + nUsed, zzip_size_t(baText.size() - nUsed));
        if (nRead <= 0)
            break;
        nUsed += nRead;
    }
    zzip_file_close(pDesc);
    if (nUsed > kInstallDescMaxBytes) {
        qCWarning(lcUpgrade, "InstallDesc larger than %lld bytes not read",
                  static_cast<long long>(kInstallDescMaxBytes));
        return PackageRead::Ok;
    }
    baText.truncate(int(nUsed));
    *pHardware = parseInstallDescHardware(baText);
    return PackageRead::Ok;
}
