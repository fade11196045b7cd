#pragma once

#include <QString>

/// Reading an upgrade package: a zip archive whose top-level "InstallDesc" (one JSON object) names
/// the "Hardware" the firmware fits. The package is unpacked into a scratch folder only to read
/// that file; the package itself is what gets sent to each device.

/// Size of each copy step while unpacking an entry.
constexpr int kExtractBufferBytes = 40960;
/// Characters of "Hardware" that are kept.
constexpr int kHardwareMaxChars = 64;
/// The largest install description that is read; a larger one counts as unreadable JSON.
constexpr qint64 kInstallDescMaxBytes = 1024 * 1024;

/// What happened to the entries of one unpacked archive.
struct ExtractReport
{
    int nWritten = 0;   ///< entries copied into a file under the destination
    int nUnsafe = 0;    ///< entries skipped for a name that is absolute or climbs out of the destination
    int nUnwritten = 0; ///< entries whose target could not be opened (directory entries, missing folders)
};

/// True when an entry name may be joined to a destination folder: not empty, not absolute, no
/// drive letter, no ".." part. Both '/' and '\\' count as separators, since the name may be
/// unpacked on a system where either one is.
bool isSafeEntryName(const QByteArray& baName);

/// Unpacks every entry of the archive into pszDestFolder (both paths in the local 8-bit
/// encoding). Entries in a folder get that one folder level created; deeper folders must come as
/// entries of their own first. Unsafe entry names are skipped. Returns 0 when the archive could be
/// opened (whatever happened to single entries), -1 when it could not.
int extractArchive(const char* pszArchive, const char* pszDestFolder, ExtractReport* pReport = nullptr);

/// Removes everything in the folder and then the folder itself. A symbolic link is removed as a
/// link, never followed. Returns true when the folder no longer exists.
bool removeDirectory(const QString& strFolder);

enum class InstallDescRead
{
    Ok,         ///< the file was read; the hardware may still be empty (no member, not JSON)
    Unopenable, ///< there is no readable "InstallDesc" in the folder
};

/// Reads "InstallDesc" from strFolder and sets *pHardware to its "Hardware" string (at most
/// kHardwareMaxChars characters). A text that is not a JSON object, a missing member or a member
/// that is not a string leaves *pHardware empty.
InstallDescRead readInstallDescHardware(const QString& strFolder, QString* pHardware);

/// The "Hardware" of an install description text; empty when there is none.
QString parseInstallDescHardware(const QByteArray& baText);

enum class PackageRead
{
    Ok,            ///< the install description was read; the hardware may still be empty
    NotAnArchive,  ///< the file cannot be opened as a zip archive
    TooLarge,      ///< its entries would need more disk space than the limit given
    NoInstallDesc, ///< there is no "InstallDesc" entry at the top level
};

/// What an Upgrade press needs of a package, read without unpacking it: the entries' sizes are
/// summed from the archive's directory (a package whose entries claim more than nDiskLimitBytes,
/// the space unpacking it would need, is refused), and only the "InstallDesc" entry is read, at
/// most kInstallDescMaxBytes of it (a longer one counts as unreadable JSON). *pHardware gets its
/// "Hardware" (empty when there is none). Nothing is written to disk. Blocking file work: run it
/// off the user-interface thread.
PackageRead readPackageHardware(const QString& strPackage, qint64 nDiskLimitBytes, QString* pHardware);
