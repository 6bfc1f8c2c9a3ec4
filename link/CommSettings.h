#pragma once
// The rules of the communication settings, apart from the set-up dialog that shows them:
// the settings section "Comms", the exclusive station choices, the list of usable ports,
// and the two ways of taking default settings from the selected drive type (its Info.ini,
// or the values of its own parameters in the table).
// The settings themselves are the link's (CommLink::settings, replyTimeoutMs, frameGapMs), so
// every exchange reads what the dialog shows; the dialog changes them through here.
#include <QString>
#include <QStringList>

class CommLink;
class IniFile;
struct ProgramContext;

// The settings compared by MarkChangedSettings, as the dialog was shown.
struct CommSnapshot {
    int protocol = 0;
    int portIndex = 0;
    int baudIndex = 0;
    int parityIndex = 0;
    int inverterNumber = 0;
    bool appendNo = false;
};

// Which of them differ from the snapshot.
struct CommChanges {
    bool protocol = false;
    bool portIndex = false;
    bool baudIndex = false;
    bool parityIndex = false;
    bool inverterNumber = false;
    bool appendNo = false;
};

// Availability of the two default buttons for the selected drive type.
struct DefaultButtons {
    bool driveDefaults = false; // every "Def Comms" integer is 0 or more
    bool tableDefaults = false; // at least one "Para_" source is not "-"
};

class CommSettings {
public:
    static constexpr int kIdLow = 0, kIdHigh = 63;
    static constexpr int kDelayLow = 30, kDelayHigh = 5000;
    static constexpr int kDefaultDelay = 200;
    // "COM1".."COM15": the names tried when the ports are listed (ComboAllPort_COM).
    static QStringList allPortNames();
    // Texts of the baud-rate list, as the dialog shows them.
    static QStringList baudTexts();

    explicit CommSettings(CommLink& link);

    CommLink& link() { return link_; }

    // LoadCommSettings: reads "Comms" into the link's settings, ReplyTimeout and FrameGap. A
    // missing, non-numeric or out-of-range value gives that key's default; the protocol is
    // therefore always 0 or 1, so every reader of it agrees.
    void load(const IniFile& settings);
    // Opens the link's settings file (the settings file of its program context).
    void load();
    // Writes "Comms" in the order Prtocol, Commport, Baudrate, Parity, Stopbits, Bytesize, ID,
    // AppendNo, Douhou, Delay (appended in that order to a new section) and sets FrameGap.
    void save(IniFile& settings);
    // Writes the settings file; false when the file could not be written.
    bool save();

    // The inverter-number and time-out fields accepted by the dialog.
    void setInverterNumber(int n);
    void setReplyTimeout(int ms);

    // "Set number" checked: "Broadcast" cleared. "Broadcast" checked: "Set number" cleared.
    // Unchecking either leaves the other as it is.
    void setAppendNo(bool on);
    void setBroadcast(bool on);
    // The dialog's lists, stored as they stand (a list without a selection gives -1).
    void selectProtocol(int protocol);
    void selectPort(int position);
    void selectBaud(int position);
    void selectParity(int position);

    // Whether the inverter number can be edited.
    bool inverterNumberEnabled() const;

    // ListSerialPorts: closes an open port and lists the names of COM1..COM15 that open.
    // The port selected before stays selected when it is still found, else the first one;
    // with none found the stored position is kept. Returns the count found.
    int listSerialPorts();
    int portCount() const { return portCount_; }
    // The port names found, and the selected position (-1 when it names none of them).
    QStringList ports() const;
    int selectedPort() const;

    CommSnapshot snapshot() const;
    CommChanges changesSince(const CommSnapshot& s) const;

    // LoadDriveCommDefaults from the drive type's Info.ini section "Def Comms".
    static DefaultButtons defaultButtons(const IniFile& info);
    // "Use the Default value of selected drive": the drive type's defaults plus their offsets. A result
    // outside its list (or an inverter number outside 0..63) leaves that setting unchanged; "Set number"
    // follows the inverter number (checked unless it is 0).
    void applyDriveDefaults(const IniFile& info);
    // "Use the Parameter Table value": each setting from its "Para_" source: a communication number takes
    // that parameter's value in the table (a number the table lacks, or a value that is not an integer,
    // leaves the setting unchanged), a source containing "Fixed" takes the plain key when it is above 0, "-"
    // leaves it. Then offsets and "Set number" as for the drive's defaults. Nothing happens when all four
    // sources are "-".
    void applyTableDefaults(const IniFile& info, const ProgramContext& context);

private:
    void applyProtocol(int v);
    void applyBaud(int v);
    void applyParity(int v);
    bool applyInverterNumber(int v);

    CommLink& link_;
    int portCount_ = 0;
};
