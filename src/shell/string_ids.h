#pragma once

// Names of the program's texts (string_table.h). Resource-numbered texts keep their number; the
// others count up from kOwnTextBase.

#include "shell/string_table.h"

namespace strixc::shell::text {

// ---------------------------------------------------------------------------------------------
// Resource-numbered texts
// ---------------------------------------------------------------------------------------------

// System menu.
constexpr int kAboutSystemMenuItem = 101;  // "&About Strix_S..."

// Recording events written into the archive.
constexpr int kRecordingDisabled = 123;
constexpr int kRecordingEnabled = 124;

// Camera title suffix for dome cameras.
constexpr int kDomeSuffix = 142;  // "( Dome ) "

// Archive-capacity indicator.
constexpr int kArchiveSpan = 144;  // "Archive:\r\n%d day(s)\r\n%d hour(s)"

// Display settings dialog.
constexpr int kTooltipChangeTextColor = 151;  // "Change text color"

// Archive map control.
constexpr int kCursorNotSet = 200;

// Backup dialog: camera buttons.
constexpr int kTooltipCameraSelection = 201;  // "Camera selection"

// Video display.
constexpr int kCameraDefaultName = 225;  // "Camera %d"
constexpr int kFramesPerSecond = 226;    // "%d fps"

// Dome control panel tooltips.
constexpr int kDomeLeft = 233;            // "Left"
constexpr int kDomeRight = 234;           // "Right"
constexpr int kDomeUp = 235;              // "Up"
constexpr int kDomeDown = 236;            // "Down"
constexpr int kDomeZoomOut = 237;         // "Zoom out"
constexpr int kDomeZoomIn = 238;          // "Zoom in"
constexpr int kDomeStep = 239;            // "Step"
constexpr int kDomeSlow = 240;            // "Slow"
constexpr int kDomeNormal = 241;          // "Normal" (speed)
constexpr int kDomeFast = 242;            // "Fast"
constexpr int kDomePresetPosition = 243;  // "Preset position %d "

// Archive location dialog: list columns.
constexpr int kColumnPath = 344;      // "Path"
constexpr int kColumnSize = 345;      // " Size (MB) "
constexpr int kColumnFileSize = 346;  // " File size (MB) "

// Archive browser.
constexpr int kArchiveSummary = 356;  // "Archives: %s Summary: %d day(s), %d hour(s)"
constexpr int kNoRecordings = 357;
constexpr int kTooltipSelectArea = 358;
constexpr int kTooltipZoomArea = 359;
constexpr int kTooltipScreenLayout = 360;  // "Screen layout"
constexpr int kMotion = 361;               // "Motion !"
constexpr int kMotionDetecting = 362;      // " ( motion detecting ) "
constexpr int kSearchError = 363;  // "Search error ! \r\n No area selected or motion sensitivity is not set."
constexpr int kCameraMenuItem = 364;  // "C%d - '%s'"

// Image adjustment panel: filter tooltips.
constexpr int kTooltipLogFilter = 366;
constexpr int kTooltipMedianFilter = 367;
constexpr int kTooltipEqualizeHistogram = 368;

// Language choice.
constexpr int kRestartForLanguage = 369;

// Backup.
constexpr int kTimeRangeEmpty = 371;           // "The time range is empty !"
constexpr int kError = 372;                    // "Error"
constexpr int kNoCameraSelected = 373;         // "There is no cam selected !"
constexpr int kNoDestinationSelected = 374;    // "There is no destination directory selected !"
constexpr int kCreateDirectoryQuestion = 375;  // "Directory '%s' does not exist.\r\n Do you want to create it ? "
constexpr int kWarning = 376;                  // "Warning"
constexpr int kCannotCreateDirectory = 377;    // "Can't create directory ! \r\n %s"
constexpr int kMinimumFileSize = 378;          // "Minimum file size is 1MB !"
constexpr int kErrorReadingArchives = 379;
constexpr int kBackupCaption = 380;            // "Backup" (message caption)
constexpr int kCreatingFile = 381;             // "Creating file ..."
constexpr int kCancelOperationQuestion = 382;  // "Cancel the operation ?"
constexpr int kCopying = 383;                  // "Copying ..."
constexpr int kContinueQuestion = 384;         // "\r\n\r\n Continue ? "
constexpr int kOperationCancelled = 385;       // "Operation cancelled ! "
constexpr int kBackupFinished = 386;           // "Backup is finished !"
constexpr int kCreateFileQuestion = 387;       // "Create file '%s' ?"

// Connection.
constexpr int kUnrecognizedProtocol = 388;  // "Unrecognized server protocol version. ... Check "

// Message box buttons.
constexpr int kYes = 451;
constexpr int kNo = 452;
constexpr int kCancel = 453;
constexpr int kOk = 454;

// Date and time formats (strftime).
constexpr int kDateFormat = 464;  // "%d.%m.%Y"
constexpr int kTimeFormat = 465;  // "%I:%M:%S %p"

// AVI export results.
constexpr int kAviCreated = 467;    // "AVI file was created successfully."
constexpr int kAviCancelled = 468;  // "Creating AVI file was cancelled by the user !"
constexpr int kAviError = 469;      // "Error during creating AVI file !"

// Dialog titles.
constexpr int kSetBookmarkAt = 472;       // "Set bookmark at "
constexpr int kArchiveSettings = 473;     // "Archive settings"
constexpr int kBackup = 475;              // "Backup" (dialog title and browser button)
constexpr int kCalendar = 476;            // "Calendar"
constexpr int kDomeSettings = 478;        // "Dome settings" (dialog title and panel tooltip)
constexpr int kExportingAvi = 479;        // "Exporting a video sequence to AVI file"
constexpr int kExportAviTitle = 480;      // "Export video sequence to AVI file"
constexpr int kDisplaySettings = 483;     // "Display settings"
constexpr int kSaveFrameToFile = 491;     // "Save frame to a file"
constexpr int kDirectXError = 497;        // "Direct-X error !"
constexpr int kServerRefused = 10001;     // "Server refused to perform a requested operation !"
constexpr int kOpenArchives = 10005;      // "Open archives"
constexpr int kPathToArchiveFolder = 10006;  // "Path to the folder containing archive files"
constexpr int kVideoQuality = 10007;      // "Video quality"

// ---------------------------------------------------------------------------------------------
// Our own numbers
// ---------------------------------------------------------------------------------------------

constexpr int kProgramName = kOwnTextBase + 0;          // "Strix-C"
constexpr int kLanguageNotAdded = kOwnTextBase + 1;     // "This language was not added yet !"
constexpr int kProgramSettings = kOwnTextBase + 2;      // "Program settings" (dialog and tooltip)
constexpr int kLanguage = kOwnTextBase + 3;             // "Language"

// Key names.
constexpr int kKeyEnd = kOwnTextBase + 4;
constexpr int kKeyHome = kOwnTextBase + 5;
constexpr int kKeyLeft = kOwnTextBase + 6;
constexpr int kKeyUp = kOwnTextBase + 7;
constexpr int kKeyRight = kOwnTextBase + 8;
constexpr int kKeyDown = kOwnTextBase + 9;
constexpr int kKeyInsert = kOwnTextBase + 10;
constexpr int kKeyDelete = kOwnTextBase + 11;

// Dialog frame.
constexpr int kUntitled = kOwnTextBase + 12;            // "Untitled"

// Main window: menus.
constexpr int kMenuMinimize = kOwnTextBase + 13;
constexpr int kExit = kOwnTextBase + 14;                   // "Exit" (menus and browser button)
constexpr int kMenuConnection = kOwnTextBase + 15;         // "Connection ..."
constexpr int kMenuConnect = kOwnTextBase + 16;            // "Connect ..."
constexpr int kMenuAddressBook = kOwnTextBase + 17;        // "Address book ..."
constexpr int kMenuRemoteArchives = kOwnTextBase + 18;     // "Remote archives ..."
constexpr int kMenuLocalArchives = kOwnTextBase + 19;      // "Local archives ..."
constexpr int kMenuArchivesFromPath = kOwnTextBase + 20;   // "Archives from path ..."
constexpr int kMenuDomePanel = kOwnTextBase + 21;          // "Dome panel ..."
constexpr int kMenuDisplaying = kOwnTextBase + 22;         // "Displaying ..."
constexpr int kMenuArchives = kOwnTextBase + 23;           // "Archives ..."
constexpr int kMenuDomes = kOwnTextBase + 24;              // "Domes ..."
constexpr int kMenuAbout = kOwnTextBase + 25;              // "About Strix-C ..."
constexpr int kMenuNormal = kOwnTextBase + 26;             // "Normal" (display mode)
constexpr int kMenuFullscreen = kOwnTextBase + 27;
constexpr int kPreview = kOwnTextBase + 28;                // "Preview" (display mode, snapshot dialog)
constexpr int kMenuStayOnTop = kOwnTextBase + 29;
constexpr int kMenuShowMenu = kOwnTextBase + 30;
constexpr int kMenuLayoutItem = kOwnTextBase + 31;         // "L%d"
constexpr int kMenuCameraItem = kOwnTextBase + 32;         // "CAM%d"
constexpr int kMenuSnapshot = kOwnTextBase + 33;           // "Snapshot ..."
constexpr int kMenuShowProgram = kOwnTextBase + 34;        // "Show Strix-C"
constexpr int kMenuHideProgram = kOwnTextBase + 35;        // "Hide Strix-C"
constexpr int kMenuTools = kOwnTextBase + 36;
constexpr int kMenuSettings = kOwnTextBase + 37;
constexpr int kMenuVisibleCamera = kOwnTextBase + 38;
constexpr int kMenuDisplayMode = kOwnTextBase + 39;
constexpr int kMenuLayout = kOwnTextBase + 40;
constexpr int kMenuAddBookmark = kOwnTextBase + 41;        // "Add bookmark in archives ..."
constexpr int kMenuNextBookmark = kOwnTextBase + 42;
constexpr int kMenuPreviousBookmark = kOwnTextBase + 43;

// Main window: control panel tooltips.
constexpr int kTooltipRecording = kOwnTextBase + 44;       // "Recording"
constexpr int kAddressBook = kOwnTextBase + 45;            // "Address book" (tooltip, dialog title)
constexpr int kTooltipCameraSettings = kOwnTextBase + 46;  // "Camera settings"
constexpr int kTooltipArchives = kOwnTextBase + 47;        // "Archives"
constexpr int kConnection = kOwnTextBase + 48;             // "Connection" (tooltip, dialog title)
constexpr int kTooltipDomeControlPanel = kOwnTextBase + 49;
constexpr int kTooltipScreenLayoutNumber = kOwnTextBase + 50;  // "Screen layout %d"
constexpr int kTooltipInput = kOwnTextBase + 51;           // "Input"
constexpr int kTooltipOutput = kOwnTextBase + 52;          // "Output"

// Main window: start-up.
constexpr int kSocketsInitFailed = kOwnTextBase + 53;      // "Windows sockets initialization failed."
constexpr int kCreateArchivesQuestion = kOwnTextBase + 54;  // "No archive recordings found. ... create archives now ?"
constexpr int kCaptionStx = kOwnTextBase + 55;             // "STX-C"

// Connection.
constexpr int kBreakConnectionQuestion = kOwnTextBase + 56;  // "Break the current connection?"
constexpr int kPleaseWait = kOwnTextBase + 57;               // "Please wait ..."
constexpr int kConnectingTo = kOwnTextBase + 58;             // "Connecting to %s@%s:%s"
constexpr int kConnectionBroken = kOwnTextBase + 59;         // "Connection broken !"
constexpr int kAuthorizationFailed = kOwnTextBase + 60;      // "Authorization failed."
constexpr int kGettingTransmissionParameters = kOwnTextBase + 61;
constexpr int kTitleConnected = kOwnTextBase + 62;           // "Strix-C connected to '%s'"
constexpr int kStatusConnected = kOwnTextBase + 63;          // " Connected to '%s@%s (%s)'"
constexpr int kStatusNotConnected = kOwnTextBase + 64;       // "Not connected"

// Snapshot preview.
constexpr int kClose = kOwnTextBase + 65;                    // "Close"
constexpr int kSaveToFile = kOwnTextBase + 66;               // "Save to file..."
constexpr int kCannotCreateFile = kOwnTextBase + 67;         // "Can't create file !"

// Address book and Connection dialogs.
constexpr int kColumnServerName = kOwnTextBase + 68;         // "Server name"
constexpr int kLogin = kOwnTextBase + 69;                    // "Login"
constexpr int kFieldName = kOwnTextBase + 70;                // "Name"
constexpr int kServerAddress = kOwnTextBase + 71;
constexpr int kPort = kOwnTextBase + 72;
constexpr int kPassword = kOwnTextBase + 73;
constexpr int kAddNew = kOwnTextBase + 74;                   // "Add new"
constexpr int kDelete = kOwnTextBase + 75;                   // "Delete" (button)
constexpr int kNewItem = kOwnTextBase + 76;                  // "New item"
constexpr int kRemoveEntriesQuestion = kOwnTextBase + 77;  // "Are you sure you want to remove selected elements ?"
constexpr int kServerPort = kOwnTextBase + 78;
constexpr int kConnect = kOwnTextBase + 79;                  // "Connect"
constexpr int kFormNotFilled = kOwnTextBase + 80;            // "Form is not filled"

// Language list (the same in every language).
constexpr int kLanguageEnglish = kOwnTextBase + 81;          // "ENGLISH"
constexpr int kLanguageGerman = kOwnTextBase + 82;           // "DEUTCH"
constexpr int kLanguageSpanish = kOwnTextBase + 83;          // "ESPANIOL"
constexpr int kLanguagePolish = kOwnTextBase + 84;           // "POLSKI"
constexpr int kLanguageFrench = kOwnTextBase + 85;           // "FRANCAIS"

// Key-capture field: modifier prefixes.
constexpr int kKeyAltPlus = kOwnTextBase + 86;               // "Alt + "
constexpr int kKeyShiftPlus = kOwnTextBase + 87;             // "Shift + "
constexpr int kKeyCtrlPlus = kOwnTextBase + 88;              // "Ctrl + "

// Hyperlink failures.
constexpr int kHyperlinkUnableToOpen = kOwnTextBase + 89;    // "Unable to open hyperlink:\n\n"
constexpr int kHyperlinkOutOfMemory = kOwnTextBase + 90;
constexpr int kHyperlinkPathNotFound = kOwnTextBase + 91;
constexpr int kHyperlinkFileNotFound = kOwnTextBase + 92;
constexpr int kHyperlinkBadExe = kOwnTextBase + 93;
constexpr int kHyperlinkAccessDenied = kOwnTextBase + 94;
constexpr int kHyperlinkAssociationIncomplete = kOwnTextBase + 95;
constexpr int kHyperlinkDdeBusy = kOwnTextBase + 96;
constexpr int kHyperlinkDdeFailed = kOwnTextBase + 97;
constexpr int kHyperlinkDdeTimeout = kOwnTextBase + 98;
constexpr int kHyperlinkDllNotFound = kOwnTextBase + 99;
constexpr int kHyperlinkNoAssociation = kOwnTextBase + 100;
constexpr int kHyperlinkNotEnoughMemory = kOwnTextBase + 101;
constexpr int kHyperlinkSharingViolation = kOwnTextBase + 102;
constexpr int kHyperlinkUnknownError = kOwnTextBase + 103;   // "Unknown Error (%d) occurred."

// Archive database: message log and file errors.
constexpr int kLogError = kOwnTextBase + 104;                // "Error: %s \r\n"
constexpr int kLogWarning = kOwnTextBase + 105;              // "Warning: %s \r\n"
constexpr int kLogSummary = kOwnTextBase + 106;  // "There were %d errors and %d warnings during processing archives \r\n"
constexpr int kLogMoreMessages = kOwnTextBase + 107;         // "and %d more messages not displayed\r\n"
constexpr int kFormattedMegabytes = kOwnTextBase + 108;      // "%I64dMB"
constexpr int kCreatingFileFailed = kOwnTextBase + 109;      // "Creating %s : %s "
constexpr int kDeletingFileFailed = kOwnTextBase + 110;      // "Deleting %s : %s"
constexpr int kOpeningFileFailed = kOwnTextBase + 111;       // "Opening %s : %s"
constexpr int kResettingFileFailed = kOwnTextBase + 112;     // "Reseting %s : %s"
constexpr int kReadFromFileFailed = kOwnTextBase + 113;      // "Read from  %s : %s"
constexpr int kRecordToFileFailed = kOwnTextBase + 114;      // "Record to %s : %s"
constexpr int kDatabaseModificationRefused = kOwnTextBase + 115;  // "Not permited database modification !"
constexpr int kDatabaseNotOpen = kOwnTextBase + 116;         // "Database not open !"
constexpr int kArchiveAlreadyOpen = kOwnTextBase + 117;      // "Error opening - archive already open !"
constexpr int kNoArchiveRecordings = kOwnTextBase + 118;  // "No archive recordings found. Recording/Playing will not be possible."
constexpr int kFilesOverlap = kOwnTextBase + 119;  // "Files %s and %s includes same recordings from %s to %s.\r\n"
constexpr int kLossWarning = kOwnTextBase + 120;   // "You will loose recordings: ... From: %s ... To: %s"
constexpr int kRebuildDeletingFile = kOwnTextBase + 121;  // "Rebuilding location: ... Deleting file: ..."
constexpr int kRebuildCreatingFile = kOwnTextBase + 122;  // "Rebuilding location: ... Creating file: ... %d %%"
constexpr int kArchiveFileFull = kOwnTextBase + 123;         // "Archive file already full !"

// Archive location dialog.
constexpr int kAddLocation = kOwnTextBase + 124;             // "Add a new location"
constexpr int kDeleteLocation = kOwnTextBase + 125;          // "Delete selected location"
constexpr int kChangePath = kOwnTextBase + 126;
constexpr int kFastFormatting = kOwnTextBase + 127;
constexpr int kRebuildArchiveFiles = kOwnTextBase + 128;
constexpr int kMegabytesAvailable = kOwnTextBase + 129;      // "%d MB available "
constexpr int kFoundRecordings = kOwnTextBase + 130;  // "Found recordings in the selected location : ... From: %s ... To: %s"
constexpr int kNoFreeSpaceOnDisk = kOwnTextBase + 131;       // "There is no enough free space on the disk !"
constexpr int kNoFreeSpaceOnThisDisk = kOwnTextBase + 132;   // "There is no enough free space on this disk ! "
constexpr int kRebuildingArchive = kOwnTextBase + 133;  // "Please wait ...\r\nRebuilding recordings archive!"
constexpr int kRecordingArchives = kOwnTextBase + 134;       // "Recording archives"
constexpr int kDeletingLocation = kOwnTextBase + 135;        // "Deleting location '%s'"
constexpr int kUpdatingLocation = kOwnTextBase + 136;        // "Updating location '%s'"
constexpr int kAddingLocation = kOwnTextBase + 137;          // "Adding location '%s'"
constexpr int kRebuildArchiveQuestion = kOwnTextBase + 138;  // "Rebuild archive ?"

// Archive browser.
constexpr int kShowWholeDay = kOwnTextBase + 139;            // "Show a whole day"
constexpr int kMenuSetBookmark = kOwnTextBase + 140;         // "Set bookmark ..."
constexpr int kMenuRemoveBookmark = kOwnTextBase + 141;      // "Remove bookmark"
constexpr int kBookmarkTitleLabel = kOwnTextBase + 142;      // "Bookmarks title :"

// Calendar.
constexpr int kSelectAll = kOwnTextBase + 143;

// Open archives and path dialogs.
constexpr int kSelectArchiveLabel = kOwnTextBase + 144;      // "Select archive :"
constexpr int kArchiveDefault = kOwnTextBase + 145;          // "Default"
constexpr int kArchiveRemote = kOwnTextBase + 146;           // "Remote"
constexpr int kArchiveFromDisk = kOwnTextBase + 147;         // "From disk ..."
constexpr int kOpen = kOwnTextBase + 148;                    // "Open"
constexpr int kBrowse = kOwnTextBase + 149;                  // "Browse..."

// Image adjustment panel.
constexpr int kDetectionSensitivity = kOwnTextBase + 150;
constexpr int kSharpness = kOwnTextBase + 151;
constexpr int kBrightness = kOwnTextBase + 152;
constexpr int kContrast = kOwnTextBase + 153;
constexpr int kSaturation = kOwnTextBase + 154;
constexpr int kDefaults = kOwnTextBase + 155;                // "Defaults"

// Video quality dialog.
constexpr int kKeyFrame = kOwnTextBase + 156;                // "Key frame"
constexpr int kDeltaFrame = kOwnTextBase + 157;              // "Delta frame"

// Backup dialog.
constexpr int kFromLabel = kOwnTextBase + 158;               // "From:"
constexpr int kToLabel = kOwnTextBase + 159;                 // "To:"
constexpr int kBackupPickerFormat = kOwnTextBase + 160;  // "yyy'.'MM'.'dd' - 'HH':'mm':'ss'" (date-time picker)
constexpr int kAlwaysAskBeforeNewFile = kOwnTextBase + 161;  // "Always ask before creating a new file"
constexpr int kStartBackup = kOwnTextBase + 162;             // "Start backup process"
constexpr int kBreak = kOwnTextBase + 163;                   // "Break"
constexpr int kSource = kOwnTextBase + 164;                  // "Source"
constexpr int kDestination = kOwnTextBase + 165;             // "Destination"

// Display settings dialog.
constexpr int kKeyFrames = kOwnTextBase + 166;               // "Key frames"
constexpr int kDeltaFrames = kOwnTextBase + 167;             // "Delta frames"
constexpr int kCameraNumber = kOwnTextBase + 168;
constexpr int kCameraName = kOwnTextBase + 169;
constexpr int kFps = kOwnTextBase + 170;                     // "FPS"
constexpr int kCurrentTime = kOwnTextBase + 171;
constexpr int kTextColor = kOwnTextBase + 172;
constexpr int kSharpen = kOwnTextBase + 173;
constexpr int kStandardSettings = kOwnTextBase + 174;

// Video display.
constexpr int kCameraNumberPrefix = kOwnTextBase + 175;      // "C%d "

// Dome actions.
constexpr int kDomeActionNone = kOwnTextBase + 176;          // "None"
constexpr int kDomeActionLeftRight = kOwnTextBase + 177;     // "Left/Right"
constexpr int kDomeActionUpDown = kOwnTextBase + 178;        // "Up/Down"
constexpr int kDomeActionZoom = kOwnTextBase + 179;          // "Zoom in/Zoom out"
constexpr int kDomeActionFocus = kOwnTextBase + 180;         // "Focus Near/Far"
constexpr int kDomeActionIris = kOwnTextBase + 181;          // "Open/Close iris"
constexpr int kDomeActionRecallPosition = kOwnTextBase + 182;
constexpr int kDomeActionSavePosition = kOwnTextBase + 183;
constexpr int kDomeActionRecordPattern = kOwnTextBase + 184;
constexpr int kDomeActionEndPatternRecording = kOwnTextBase + 185;
constexpr int kDomeActionRunPattern = kOwnTextBase + 186;
constexpr int kDomeActionSetAuxOutput = kOwnTextBase + 187;  // "Set auxillary output"
constexpr int kDomeActionBrowsePosition = kOwnTextBase + 188;
constexpr int kDomeActionEndBrowse = kOwnTextBase + 189;
constexpr int kDomeActionShowMenu = kOwnTextBase + 190;      // "Show a configuration menu"
constexpr int kDomeActionSetAzimuth = kOwnTextBase + 191;
constexpr int kDomeActionSet = kOwnTextBase + 192;           // "Set"
constexpr int kDomeActionSetZoom = kOwnTextBase + 193;
constexpr int kDomeActionSetFocus = kOwnTextBase + 194;
constexpr int kDomeActionSetIris = kOwnTextBase + 195;

// Dome action parameter labels.
constexpr int kDomeParamSpeedDirection = kOwnTextBase + 196;  // "Speed/Turning direction :"
constexpr int kDomeParamDirection = kOwnTextBase + 197;       // "Direction : "
constexpr int kDomeParamPositionNumber = kOwnTextBase + 198;  // "Position number :"
constexpr int kDomeParamPatternNumber = kOwnTextBase + 199;   // "Pattern number :"
constexpr int kDomeParamOutputNumber = kOwnTextBase + 200;    // "Output number :"
constexpr int kDomeParamHoldTime = kOwnTextBase + 201;        // "Hold time ( sec ) :"
constexpr int kDomeParamPosition = kOwnTextBase + 202;        // "Position :"

// Joystick inputs.
constexpr int kJoystickAxisX = kOwnTextBase + 203;           // "X axis move"
constexpr int kJoystickAxisY = kOwnTextBase + 204;           // "Y axis move"
constexpr int kJoystickAxisZ = kOwnTextBase + 205;           // "Z axis move"
constexpr int kJoystickAxisR = kOwnTextBase + 206;           // "R axis move"
constexpr int kJoystickAxisU = kOwnTextBase + 207;           // "U axis move"
constexpr int kJoystickAxisV = kOwnTextBase + 208;           // "V axis move"
constexpr int kJoystickButton = kOwnTextBase + 209;          // "Button %d"

// Joystick status.
constexpr int kJoystickDriverNotFound = kOwnTextBase + 210;
constexpr int kJoystickWrongParameter = kOwnTextBase + 211;  // "Wrong parameter!"
constexpr int kJoystickNotConnected = kOwnTextBase + 212;    // "Joystick not connected !"
constexpr int kJoystickInitError = kOwnTextBase + 213;       // "Error initializing joystick !"

// Dome settings dialog.
constexpr int kDisable = kOwnTextBase + 214;                 // "Disable"
constexpr int kJoystick1 = kOwnTextBase + 215;               // "Joystick1"
constexpr int kJoystick2 = kOwnTextBase + 216;               // "Joystick2"
constexpr int kEnable = kOwnTextBase + 217;                  // "Enable"
constexpr int kDeadZone = kOwnTextBase + 218;                // "Dead zone"
constexpr int kColumnDomeCommands = kOwnTextBase + 219;      // " Dome command list "
constexpr int kBindingRow = kOwnTextBase + 220;              // " %s, %s %.1f"
constexpr int kApply = kOwnTextBase + 221;                   // "Apply"
constexpr int kJoystickAxisState = kOwnTextBase + 222;       // "Joystick: axis %s %d%%"

// AVI export dialog.
constexpr int kFramesPerSecondInAvi = kOwnTextBase + 223;    // "Frames per second in AVI file :"
constexpr int kExportBrowse = kOwnTextBase + 224;            // "Browse ..."
constexpr int kExportCameraText = kOwnTextBase + 225;        // "C%d %s"

// Display settings dialog.
constexpr int kServerTextEncoding = kOwnTextBase + 226;      // "Server text encoding"

// Closing while recording.
constexpr int kCloseWhileRecordingQuestion = kOwnTextBase + 300;

// The settings file at the start.
constexpr int kSettingsMovedAside = kOwnTextBase + 301;  // "The settings file %s was damaged ... %s ..."
constexpr int kSettingsLocked = kOwnTextBase + 302;      // "The settings file %s is locked ..."
constexpr int kSettingsUnusable = kOwnTextBase + 303;    // "The settings file %s cannot be used. ..."

// About box.
constexpr int kAboutDescription = kOwnTextBase + 304;

// Counted texts (CountedText in string_table.h): the plural forms separated by "|".
constexpr int kCountDays = kOwnTextBase + 305;            // "%d day|%d days"
constexpr int kCountHours = kOwnTextBase + 306;           // "%d hour|%d hours"
constexpr int kArchiveSpanCounted = kOwnTextBase + 307;   // "Archive:\r\n%s\r\n%s" (days, hours)
constexpr int kCountErrors = kOwnTextBase + 308;          // "%d error|%d errors"
constexpr int kCountWarnings = kOwnTextBase + 309;        // "%d warning|%d warnings"
constexpr int kLogSummaryCounted = kOwnTextBase + 310;    // "There were %s and %s during processing archives \r\n"
constexpr int kCountMoreMessages = kOwnTextBase + 311;    // "and %d more messages not displayed\r\n" (counted)

// Key names of the key-capture field, besides kKeyEnd .. kKeyDelete.
constexpr int kKeyBackspace = kOwnTextBase + 312;
constexpr int kKeyTab = kOwnTextBase + 313;
constexpr int kKeyEnter = kOwnTextBase + 314;
constexpr int kKeyPause = kOwnTextBase + 315;
constexpr int kKeyCapsLock = kOwnTextBase + 316;
constexpr int kKeyEscape = kOwnTextBase + 317;
constexpr int kKeySpace = kOwnTextBase + 318;
constexpr int kKeyPageUp = kOwnTextBase + 319;
constexpr int kKeyPageDown = kOwnTextBase + 320;
constexpr int kKeyPrint = kOwnTextBase + 321;
constexpr int kKeyNumLock = kOwnTextBase + 322;
constexpr int kKeyScrollLock = kOwnTextBase + 323;
constexpr int kKeyNumPad = kOwnTextBase + 324;  // "Num %d"

// Recording without an archive, and the archive an unattended start makes (numbered from 350).
constexpr int kRecordingNeedsArchive = kOwnTextBase + 350;   // "Recording is not possible without ..."
constexpr int kArchiveCreatedUnattended = kOwnTextBase + 351;  // "No archive found: created one in %s"

// Reconnecting and stale pictures (numbered apart, from 400).
constexpr int kTooltipRecordingInterrupted = kOwnTextBase + 400;  // "Recording interrupted: ..."
constexpr int kReconnectingIn = kOwnTextBase + 401;               // "Reconnecting to '%s' in %d s"
constexpr int kServerDidNotAnswer = kOwnTextBase + 402;           // "The server did not answer in time."
constexpr int kReconnectAutomatically = kOwnTextBase + 403;       // "Reconnect automatically"
constexpr int kStalePictureAfter = kOwnTextBase + 404;            // "Picture is stale after (s)"

// Archive browser: button tooltips (numbered apart, from 500).
constexpr int kTooltipStop = kOwnTextBase + 500;               // "Stop"
constexpr int kTooltipPlay = kOwnTextBase + 501;               // "Play"
constexpr int kTooltipPlayDouble = kOwnTextBase + 502;         // "Play at double speed"
constexpr int kTooltipFastForward = kOwnTextBase + 503;        // "Fast forward"
constexpr int kTooltipFastBackward = kOwnTextBase + 504;       // "Fast backward"
constexpr int kTooltipStepForward = kOwnTextBase + 505;        // "Step forward"
constexpr int kTooltipStepBackward = kOwnTextBase + 506;       // "Step backward"
constexpr int kTooltipEarlierHalf = kOwnTextBase + 507;        // "Earlier by half the view"
constexpr int kTooltipEarlierEighth = kOwnTextBase + 508;      // "Earlier by an eighth of the view"
constexpr int kTooltipLaterEighth = kOwnTextBase + 509;        // "Later by an eighth of the view"
constexpr int kTooltipLaterHalf = kOwnTextBase + 510;          // "Later by half the view"
constexpr int kTooltipMotionSearch = kOwnTextBase + 511;       // "Motion search"
constexpr int kTooltipExportAvi = kOwnTextBase + 512;          // "Export to AVI file"
constexpr int kTooltipImageAdjustment = kOwnTextBase + 513;    // "Image adjustment"
constexpr int kTooltipNotAvailable = kOwnTextBase + 514;       // "Not available in this version"
constexpr int kTooltipRemoteOnly = kOwnTextBase + 515;         // "Only for a server's archive"

// Archives from a folder (numbered apart, from 580).
constexpr int kFolderNotFound = kOwnTextBase + 580;  // "The folder '%s' does not exist."

// Remote archives (numbered apart, from 620).
// "The server did not give the range of its archive: it cannot be browsed."
constexpr int kRemoteArchiveUnavailable = kOwnTextBase + 620;
// AVI export: the export dialog's labels, the compression options dialog (numbered apart, from 640).
constexpr int kCompressionOptions = kOwnTextBase + 640;  // "Compression options"
constexpr int kCodec = kOwnTextBase + 641;               // "Codec :"
constexpr int kQuality = kOwnTextBase + 642;             // "Quality :"
constexpr int kKeyFrameEvery = kOwnTextBase + 643;       // "Key frame every (frames, 0 = automatic) :"
constexpr int kNoEncoderForFile = kOwnTextBase + 644;    // "No encoder of this program can write this kind of file."
constexpr int kCodecMjpeg = kOwnTextBase + 645;          // "Motion JPEG"
constexpr int kCodecMpeg4 = kOwnTextBase + 646;          // "MPEG-4 part 2"
constexpr int kCodecH264 = kOwnTextBase + 647;           // "H.264"
constexpr int kCodecFfv1 = kOwnTextBase + 648;           // "FFV1, lossless"
constexpr int kCodecUncompressed = kOwnTextBase + 649;   // "Uncompressed"
constexpr int kEnterFileName = kOwnTextBase + 650;       // "Enter a file name."
constexpr int kExportCamera = kOwnTextBase + 651;        // "Camera :"
constexpr int kExportFrom = kOwnTextBase + 652;          // "From :"
constexpr int kExportTo = kOwnTextBase + 653;            // "To :"
constexpr int kExportFileName = kOwnTextBase + 654;      // "File name :"
constexpr int kAviFiles = kOwnTextBase + 655;            // "AVI files (*.avi)"
constexpr int kMkvFiles = kOwnTextBase + 656;            // "Matroska files (*.mkv)"
constexpr int kMp4Files = kOwnTextBase + 657;            // "MP4 files (*.mp4)"
// Backup dialog (numbered apart, from 670).
constexpr int kMegabytes = kOwnTextBase + 670;  // "MB", the unit after the file size

// Dome settings dialog and dome panel (numbered apart, from 700).
constexpr int kColumnDomeAction = kOwnTextBase + 700;     // " Action "
constexpr int kColumnDomeParameter = kOwnTextBase + 701;  // " Parameter "
constexpr int kSensitivity = kOwnTextBase + 702;          // "Sensitivity" (joystick)
constexpr int kJoystickReady = kOwnTextBase + 703;        // "Joystick OK"
constexpr int kNoJoystickChosen = kOwnTextBase + 704;     // "No joystick chosen"
constexpr int kDomeKey = kOwnTextBase + 705;              // "Key :"
constexpr int kInvalidDomeParameter = kOwnTextBase + 706;
constexpr int kPressKeyToBind = kOwnTextBase + 707;
constexpr int kChooseDomeAction = kOwnTextBase + 708;

}  // namespace strixc::shell::text
