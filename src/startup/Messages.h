#pragma once

// The numbers of the language table's messages, by what they say. Code names a message here
// instead of writing its number: one place to look a text up, and no two names for one text.
// Texts that are joined with others (a start and an end around a value) say so in the name.

namespace k27::Msg {

enum : int {
    AlreadyRunning = 0,
    DatabaseMissing = 1,
    OldPasswordWrong = 2,
    NewPasswordsDiffer = 3,
    PasswordChanged = 4,
    EnterOperatorName = 6,
    ConfirmPasswordPrompt = 7,
    ConfirmPasswordTitle = 8,
    PasswordsDiffer = 9,
    AdministratorCreatedMark = 10, // the mark of the first administrator
    AdministratorCreated = 11,
    PasswordWrong = 12,
    ThreeWrongPasswords = 13,
    FirstUseCreateAdministrator = 14,
    SelectRowsToDelete = 15,
    Permanent = 19,
    January = 20, // the months in order up to December: validity choices
    December = 31,
    SaveCardholderStart = 46, // Save the changes to cardholder "<name>
    SaveCardholderEnd = 47,   // "?
    CardholderGone = 48,
    CommandAccepted = 51,
    CommandRefused = 52,
    CardIssued = 53, // followed by the card number
    CardIssuingFailed = 54,
    ExitProgram = 55,
    EnterTerminalNumber = 56,
    TerminalNumberExists = 57,
    EnterTerminalToChange = 58,
    TerminalNumberMissing = 59,
    DeleteSelectedRows = 61,
    Administrator = 62,
    OrdinaryOperator = 63,
    RenewCard = 67,
    SelectOperatorsToDelete = 69,
    DeleteSelectedOperators = 70,
    AddOperatorEmptyName = 64,
    OperatorPasswordsDiffer = 65,
    OperatorNameExists = 66,
    ChangeOperatorEmptyName = 71,
    ChangeOperatorUnknown = 72,
    AdministratorMarker = 73,
    // Column headers of the lists.
    HeaderNo = 75, // of the cardholder and record lists
    HeaderName = 76,
    HeaderSex = 77,
    HeaderDepartment = 78,
    HeaderPosition = 79,
    HeaderAddress = 80,
    HeaderPhone = 81,
    HeaderCard = 82,
    HeaderTerminals = 83,
    HeaderValidity = 84,
    HeaderTerminalListNo = 85,
    HeaderTerminalNumber = 86,
    InstallationAddress = 87, // also a header of the terminal list
    HeaderTerminal = 88,
    HeaderLocation = 89,
    HeaderTerminalValidity = 90,
    HeaderOperatorNo = 91,
    HeaderOperator = 92,
    HeaderRights = 93,
    HeaderRemark = 94,
    CardholdersTab = 95,
    TerminalsTab = 96,
    CardIssuingTab = 97,
    SystemSettingsTab = 98,
    HolderHasOtherCard = 99,
    CardNumberMismatch = 100, // followed by the card number
    RestoreCardQuestion = 101,
    RestoreCardTitle = 102,
    AccessRecordsTab = 103,
    HeaderEntryTime = 104,
    UserIdOutOfRange = 106,
    SelectTargetCardholder = 107,
    CommandSent = 108,
    SelectTerminal = 109,
    ConfirmValidity = 110, // followed by the validity
    HeaderDay = 111,
    RecordFileUnreadable = 112,
    ImportFinishedStart = 113, // Import finished: <n> imported, <m> skipped.
    ImportedCount = 114,
    SkippedCount = 115,
    NothingToDelete = 116,
    DeletedStart = 117, // Deleted <n> row(s).
    DeletedEnd = 118,
    NoRecordsFound = 120,
    ExportFinished = 121,
    OverwriteTerminalStart = 122,   // Terminal No. "<number>
    OverwriteCardholderStart = 123, // Cardholder "<name>
    OverwriteEnd = 124,             // " already exists. Overwrite it?
    TooFewColumns = 125,
    Importing = 126,
    Deleting = 127,
    DuplicateCardholder = 128,
    DeleteSignedInOperator = 129,
    BackingUp = 130,
    BackedUp = 131,
    Restoring = 132,
    Restored = 133,
    NoBackupFound = 134,
    DatabaseUnreadable = 135, // Data.kvd is no database of this program, or the password fails
    CannotRestore = 136,
    ExportFailed = 137,
    ValidityYearOutOfRange = 138,
    BackupFailed = 139,
    NotSaved = 141, // the database refused a save: nothing was changed
    RunInProgress = 142,
    RowsToDelete = 143, // followed by the count
    OneToDelete = 144,  // followed by the name
    CommandNotSent = 145,
    WriteStopped = 150,
    PhotoTitle = 160,
    ImportCardholdersTitle = 161,
    ImportTerminalsTitle = 162,
    ImportRecordsTitle = 163,
    ExportCardholdersTitle = 164,
    ExportTerminalsTitle = 165,
    ExportRecordsTitle = 166,
    Pictures = 167,
    ChooseLanguage = 170,       // heads the language choice of a first start
    CannotCreateDatabase = 173, // followed by the path: a new folder got no database (room, rights)
    PagesToPrint = 185,         // %1: the page count
    ReadingRecords = 190,
    ExportingRecords = 191,
    OverwriteChanges = 200,
    EmptyValue = 201,
    RowUnchanged = 202,
    StopRunAndExit = 203,
    StoppedOnRequest = 204, // after a summary: a close stopped the run before its end
    PortDevice = 210,       // %1: the device
    NoPortApplied = 211,
    StaleLock = 212,        // %1: the lock file
    UnsafePlace = 220,      // followed by a folder or file another user could have put there
    BackupUnsafe = 221,     // followed by the folder or file and the reason
    RestoreUnsafe = 222,    // followed by the folder or file and the reason
    RegisterReadOnly = 223, // followed by the program folder
    CannotLock = 231,       // followed by the program folder and the reason
    FolderReadOnly = 232,
    SystemReports = 233,
    FormulasWithoutValue = 240, // followed by the count
    // The audit log page.
    AuditLogTab = 270,
    AuditVerify = 271,
    AuditTimeSpan = 272,
    AuditOperator = 273,
    AuditAction = 274,
    AuditSubject = 275,
    AuditSearch = 276,
    AuditIntactRows = 277,   // The log is intact. Rows: <n>
    AuditChanged = 278,      // The log has been changed: <what>
    AuditHeadCode = 279,     // Head code: <code>
    AuditColumnNumber = 241, // the log list's columns, 241..247 in order: number, time,
                             // computer, operator, action, subject, details
    // The records page's activity chart and "last seen" list.
    ChartPerHour = 280, // the timeline's title: per hour, day (281), week (282), month (283)
    ChartBusiestTerminals = 284,
    ChartHourOfDay = 285,
    ChartBarTip = 286, // %1: the bar, %2: its count
    ChartCounting = 287,
    LastSeenNoRecord = 288,
    LastSeenUnknownCard = 289,
    // Restoring a register on a server.
    RestoreAdministratorsOnly = 290,
    RestoreDesksConnected = 291, // followed by the computers, one a line
};

} // namespace k27::Msg
