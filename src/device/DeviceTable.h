#pragma once

#include <functional>

#include <QString>

/// The device table's columns, in the order the window builds them.
enum DeviceColumn : int
{
    ColumnNumber = 0, ///< "NO.": the row number, the check box and the row's record
    ColumnIpAddress,  ///< "IP Address": rewritten by address changes
    ColumnPort,       ///< "Port"
    ColumnStatus,     ///< "Destribe": the outcome of the row's last operation
    ColumnMac,        ///< "Mac Address"
    ColumnCloudId,    ///< "CloudID"
    ColumnVersion,    ///< "Version"
    ColumnBuildDate,  ///< "BuildDate"
    ColumnCount
};

/// The table holds at most this many rows: a search pass's buffer and the upgrade's per-row slots
/// have room for that many.
constexpr int kMaxTableRows = 256;

/// Where worker code writes row texts: (row, column, text). The writes of one thread reach the table
/// in the order they were made.
using CellWriter = std::function<void(int nRow, int nColumn, const QString& strText)>;
