// SPDX-License-Identifier: GPL-2.0-or-later
// The ids of the window's controls, as the dialog templates number them.
// Every control made from a template carries its id as the property
// kControlIdProperty, so tests and later additions find controls by id.
#pragma once

namespace tarnwick {

inline constexpr char kControlIdProperty[] = "controlId";

// Static controls (labels, group boxes, lines without a role) have none.
inline constexpr int kNoId = -1;

enum ControlId : int {
    // Shared by the dialogs.
    IdOk = 1,
    IdCancel = 2,
    IdExit = 2,
    // Main window.
    IdConnect = 1000,
    IdEraseAndProgram = 1004,
    IdUpdateCamera = 1009,
    IdUpdateInfo = 1013,
    IdErase = 1016,
    IdAddItem = 1017,
    IdDeleteItem = 1018,
    IdDestinationName = 1020,
    IdSettings = 1021,
    IdStartAddress = 1022,
    IdEndAddress = 1023,
    IdSize = 1024,
    IdBlankCheck = 1025,
    IdVersion = 1026,
    IdPlatform = 1027,
    IdChecksum1 = 1030,
    IdItemList = 1031,
    IdPackageBox = 1032,
    IdNewPackage = 1034,
    IdLoadPackage = 1036,
    IdDeletePackage = 1037,
    IdPropertyList = 1038,
    IdChecksum2 = 1041,
    IdProgramSelected = 1042,
    IdDetachFile = 1044,
    IdViewToggle = 1048,
    IdDividingLine = 1051,
    IdSkipVerify = 1054,
    // How the last command ended, below the buttons.
    IdOutcome = 1055,
    // Progress window.
    IdProgressBar = 1033,
    IdStatusLine = 1035,
    // Settings dialog.
    IdPortList = 1001,
    IdBitRateList = 1006,
    IdSaveList = 1010,
    IdConfigPath = 1011,
    IdBrowse = 1014,
    // About box.
    IdAboutText = 1053,
};

}  // namespace tarnwick
