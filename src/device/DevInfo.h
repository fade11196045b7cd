#pragma once

#include <netsdk/netsdk.h>

/// The program's record of one table row. Owned by its row (column 0 holds its address under
/// Qt::UserRole); allocated zero-filled when the row is created, freed when the row goes.
struct DEV_INFO
{
    int nIndex;                     ///< row number at creation; every status text goes to this row
    long lLoginID;                  ///< 0 when created, above 0 while logged in, 0 or -1 after logout
    int nPort;                      ///< service port, passed to login as 16-bit
    char szIpAddr[16];              ///< "%d.%d.%d.%d"
    char szUserName[32];            ///< "admin" for search rows
    char szPassword[32];            ///< overwritten from the password field before each login
    SDK_NET_ADDRESS_BLOCK netBlock; ///< first 144 bytes: the device's network record
    char szCloudId[64];             ///< as shown in the CloudID column
    SDK_DEVICE_INFO devInfo;        ///< filled by the login
    int nSavedLastOctet;            ///< last address byte saved by ModifyIP type 2
};
