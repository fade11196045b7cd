#pragma once

/// The command codes of the batch worker, of the dedicated reset/reboot worker and of ModifyIP, and
/// the device configuration commands the maintenance work sends. The numbers are the ones the main
/// window's slots and signals carry: never renumber.

/// What the batch worker does with each checked row.
enum BatchCommand : int
{
    BatchNone = -1,            ///< no batch has run yet
    BatchResetConfig = 0,      ///< log in, reset the configuration to factory values
    BatchIpAdaptiveOn = 1,     ///< log in, write IP adaptive on
    BatchIpAdaptiveOff = 2,    ///< log in, write IP adaptive off
    BatchAddressFromStart = 3, ///< no login: consecutive free addresses from the plan's address
    BatchSameAddress = 4,      ///< no login: every device gets the plan's address
    BatchConfigPages = 7,      ///< log in, write the chosen configuration pages
};

/// True for the commands that change addresses without a login (3 and 4).
constexpr bool isAddressCommand(int nCmd)
{
    return nCmd == BatchAddressFromStart || nCmd == BatchSameAddress;
}

/// The dedicated worker's commands: the nCmd of its message signal (0 reports a failed login).
enum DealCommand : int
{
    DealLogin = 0,
    DealResetConfig = 1,
    DealReboot = 2,
};

/// ModifyIP's types: what happens to the last octet of the device's address.
enum ModifyIpType : int
{
    ModifyIpAssign = 1,        ///< row number + 20
    ModifyIpSaveAndAssign = 2, ///< save the current one, then row number + 20
    ModifyIpRestore = 3,       ///< back to the saved one
};

/// Device configuration commands (sdkGetConfig / sdkSetConfig) and the address change's request kind.
constexpr unsigned long kCmdNetworkRecord = 20; ///< the network record; also sdkSetConfigOverNet's kind
constexpr unsigned long kCmdFactoryReset = 33;
constexpr unsigned long kCmdImportConfig = 52;
constexpr unsigned long kCmdIpAdaptive = 274;
/// Sent with the 4-byte value 1 before the configuration dialog reads a device; what it does is the
/// device's business, and its result is not judged.
constexpr unsigned long kCmdConfigOpening = 164;
constexpr int kConfigOpeningWaitMs = 15000;
/// Size of the network record a login reads (the first bytes of the address-change block).
constexpr unsigned long kNetworkRecordSize = 144;
