#pragma once
// What the drive link shows in the main window: the link icon and the drive commands that a
// connect enables or disables. The main window implements it; the link never includes a
// window header.
//
// The link also keeps whether the "port cannot be opened" box was shown: the main window
// allows it again (CommLink::allowPortMessage) before a connect the user starts (a click on
// the link icon, the communication set-up command, the command for a new parameter set).

enum class LinkIcon { Failed = 0, Idle = 1, Busy = 2 };

// The drive commands, menu item and tool button each.
enum class DriveCommand {
    Import,         // "Parameter Import": DownLoad, ToolBpr
    Export,         // "Parameter Export": UpLoad, ToolBpw
    SelectedImport, // "Selected Parameter Import": PopDownLoad2, ToolBpsr
    SelectedExport, // "Selected Parameter Export": PopUpLoad2, ToolBpsw
    Comparison,     // "Parameter Comparison": PopComp, ToolBpcp
    KeyPad,         // "Key Pad": InvRun, ToolBpanel
    InverterInfo,   // "Inverter Info.": MonInvInfo, ToolBInvInfo
};
inline constexpr DriveCommand kAllDriveCommands[] = {
    DriveCommand::Import,         DriveCommand::Export,     DriveCommand::SelectedImport,
    DriveCommand::SelectedExport, DriveCommand::Comparison, DriveCommand::KeyPad,
    DriveCommand::InverterInfo,
};

class LinkView {
public:
    virtual ~LinkView() = default;
    // Image 0, 1 or 2 of ToolBline; drawn at once (the line's short waits, the silent interval
    // and the drain, hold the thread). The link shows image 0 whenever the drive commands are
    // disabled.
    virtual void setLinkIcon(LinkIcon icon) = 0;
    // Menu item and tool button together.
    virtual void setDriveCommandEnabled(DriveCommand command, bool enabled) = 0;
};
