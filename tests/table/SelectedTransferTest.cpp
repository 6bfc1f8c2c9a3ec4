// The selected import and export of the parameter table over the shipped drive type HXA1:
// which parameters are targets, what is sent, how replies are read, and what a refusal or a
// failed exchange leaves in the table. A scripted drive stands behind the link here; the
// simulated drive on a pseudo-terminal is in SelectedTransferDrivesimTest.cpp.
#include "table/SelectedTransfer.h"
#include "core/StoreCells.h"
#include "support/TableFixture.h"

#include "protocol/FrameCodec.h"

#include <QSet>
#include <map>

namespace {

// A drive that answers every request from a table of values, fails the numbers it is told
// to, and records what it was asked.
class ScriptedDrive : public DriveLink {
public:
    explicit ScriptedDrive(const ProgramContext& context) : context(context) {}
    struct Request {
        QString comNo;
        QString kind;
        QString value;
        bool operator==(const Request&) const = default;
    };

    bool ConnectDrive() override {
        ++connects;
        // As the program's link: a monitor run holds the port.
        return answers && !monitorRun;
    }
    bool monitorRunning() const override { return monitorRun; }
    Protocol protocol() const override { return proto; }
    ExchangeResult transact(int index, const QString& valueText, const QString& kind) override {
        const QString comNo = definitionText(context.drive.parameters[std::size_t(index)], PD_ComNo);
        requests.push_back({comNo, kind, valueText});
        ExchangeResult r;
        r.error = failing.contains(comNo);
        if (r.error) {
            r.failure = ExchangeFailure::ReplyTimeout;
            return r;
        }
        if (kind != QLatin1String("R"))
            values[comNo] = std::uint32_t(ParseDecimalPrefix(valueText));
        r.value = values[comNo];
        if (proto == Protocol::Modbus)
            r.value &= 0xFFFF; // one register
        return r;
    }

    Protocol proto = Protocol::Inverter;
    bool answers = true;
    bool monitorRun = false;
    QSet<QString> failing;
    std::map<QString, std::uint32_t> values;
    std::vector<Request> requests;
    int connects = 0;
    const ProgramContext& context;
};

std::ostream& operator<<(std::ostream& os, const ScriptedDrive::Request& r) {
    return os << r.comNo.toStdString() << ' ' << r.kind.toStdString() << ' ' << r.value.toStdString();
}

class SelectedTransferTest : public TableFixture {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        options.exportToEeprom.setChecked(true);
        transfer.setUndo(undoRedo);
    }
    using Request = ScriptedDrive::Request;
    // Highlights rows of the value column; the cursor row is the block's top row.
    void highlight(const QString& from, const QString& to) {
        go(from);
        core.setSelection({TC_Value, rowOf(from), TC_Value, rowOf(to)});
    }
    std::vector<Request> reads(std::initializer_list<const char*> comNos) {
        std::vector<Request> out;
        for (const char* n : comNos)
            out.push_back({n, "R", ""});
        return out;
    }
    QString para(const QString& comNo, int col) const {
        return definitionText(context.drive.parameters[std::size_t(index(comNo))], col);
    }
    int marks() const {
        int n = 0;
        for (int i = 0; i <= context.drive.lastIndex(); ++i)
            n += StoreCells::work(context, UP_OneSelectIndex, i) == "1";
        return n;
    }
    void importSelected() { transfer.ImportSelected(); }
    void exportSelected() { transfer.exportTargets(); }

    ScriptedDrive drive{context};
    SelectedTransfer transfer{core, drive};
};

// ---- Targets ------------------------------------------------------------------------------

TEST_F(SelectedTransferTest, WithNothingChosenTheCursorRowAloneIsRead) {
    drive.values["0003"] = 5000;
    go("0003");
    importSelected();
    EXPECT_EQ(drive.requests, reads({"0003"}));
    EXPECT_EQ(value("0003"), "5000");
    EXPECT_EQ(cell(TC_Value, "0003"), "   50.00");
    EXPECT_EQ(work("0003", UP_ChangeIndex), "1");
    EXPECT_EQ(cell(TC_Changed, "0003"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(work("0003", UP_CommErrIndex), "0");
    // The limits that follow the value read are shown anew.
    EXPECT_EQ(cell(TC_High, "0007"), "   50.00");
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(marks(), 0);
}

TEST_F(SelectedTransferTest, TargetsAreTheHighlightedTheSelectedAndTheCursorRowInTableOrder) {
    setWork("0030", UP_SelectIndex, "1");
    highlight("0012", "0013");
    core.setCursorRow(rowOf("0020"));
    importSelected();
    EXPECT_EQ(drive.requests, reads({"0012", "0013", "0020", "0030"}));
    EXPECT_EQ(marks(), 0);

    // A refused row is no target of the next command unless chosen again.
    drive.requests.clear();
    setWork("0030", UP_SelectIndex, "0");
    go("0040");
    importSelected();
    EXPECT_EQ(drive.requests, reads({"0040"}));
}

TEST_F(SelectedTransferTest, AFilteredViewTargetsOnlyWhatItShows) {
    views.toggleQuickView();
    // Selected but not in the Quick view: never read.
    setWork("0013", UP_SelectIndex, "1");
    // Highlighted but hidden by Blind: not a target, unless it is the cursor row.
    setWork("0003", UP_BlindIndex, "1");
    setWork("0009", UP_BlindIndex, "1");
    core.setCurrentCell(TC_Value, rowOf("0002"));
    core.setSelection({TC_Value, rowOf("0002"), TC_Value, rowOf("0004")});
    core.setCursorRow(rowOf("0009"));
    importSelected();
    EXPECT_EQ(drive.requests, reads({"0002", "0004", "0009"}));
    EXPECT_EQ(marks(), 0);
}

// ---- Replies ------------------------------------------------------------------------------

TEST_F(SelectedTransferTest, RepliesAreReadBySizeAndSign) {
    const struct {
        const char* comNo;
        std::uint32_t reply;
        const char* value;
    } cases[] = {
        {"0042", 0xFFFF, "-1"},             // 16-bit, low limit below 0
        {"0013", 0xFFFF, "65535"},          // 16-bit unsigned
        {"0042", 0x1FFFE, "-2"},            // only the low 16 bits count
        {"0061", 0xFFFFFFFF, "-1"},         // 32-bit signed
        {"0060", 0xFFFFFFFF, "4294967295"}, // 32-bit unsigned stays unsigned
    };
    for (const auto& c : cases) {
        drive.values[c.comNo] = c.reply;
        go(c.comNo);
        importSelected();
        EXPECT_EQ(value(c.comNo), c.value) << c.comNo;
    }
    EXPECT_EQ(SelectedTransfer::replyText(context, index("0060"), 4000000000u), "4000000000");
}

// ---- Export -------------------------------------------------------------------------------

TEST_F(SelectedTransferTest, ExportSendsTheStoredValueNotTheRoundedText) {
    // 125 raw at Mul 10 with a whole-number display shows "13"; the drive must get 125.
    setPara("0013", PD_Mul, "10");
    setPara("0013", PD_TMul, "#");
    setWork("0013", UP_Value, "125");
    setWork("0013", UP_WriteIndex, "1");
    setPara("0013", PD_Flag, "2");
    setWork("0060", UP_Value, "4294967295");
    setWork("0060", UP_SelectIndex, "1");
    core.FillRows();
    ASSERT_EQ(cell(TC_Value, "0013"), "      13");
    go("0013");
    exportSelected();
    EXPECT_EQ(drive.requests, (std::vector<Request>{{"0013", "W", "125"}, {"0060", "W", "4294967295"}}));
    EXPECT_EQ(value("0013"), "125");
    EXPECT_EQ(value("0060"), "4294967295");
    EXPECT_EQ(work("0013", UP_WriteIndex), "0");
    EXPECT_EQ(work("0013", UP_CommErrIndex), "0");
    EXPECT_EQ(para("0013", PD_Flag), "0"); // the last transfer no longer failed
    EXPECT_EQ(marks(), 0);

    // Without "Export to EEPROM" the drive's RAM is written, whatever a parameter's memory.
    drive.requests.clear();
    options.exportToEeprom.setChecked(false);
    go("0050");
    exportSelected();
    EXPECT_EQ(drive.requests.size(), 2u);
    for (const Request& r : drive.requests)
        EXPECT_EQ(r.kind, "P");
}

TEST_F(SelectedTransferTest, AParameterThatMustNotBeWrittenIsRefusedAndTheOthersAreWritten) {
    setWork("0050", UP_SelectIndex, "1");
    setWork("0051", UP_SelectIndex, "1");
    setWork("0055", UP_SelectIndex, "1");
    setWork("0055", UP_Value, "220");
    go("0055");
    exportSelected();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, Msg(context, MsgId::CannotBeWritten));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(drive.requests, (std::vector<Request>{{"0050", "W", "0"}, {"0055", "W", "220"}}));
    EXPECT_EQ(para("0051", PD_Flag), "1");
    EXPECT_EQ(core.cellStyle(TC_Name, rowOf("0051"), false).text, ColorOption::fromBgr(0x0000FF));

    // Reading it is allowed; its mark stays.
    drive.requests.clear();
    go("0051");
    importSelected();
    EXPECT_EQ(drive.requests.size(), 3u);
    EXPECT_EQ(para("0051", PD_Flag), "1");
}

TEST_F(SelectedTransferTest, AFailedExchangeMarksTheParameterSilverKeepsItsValueAndGoesOn) {
    drive.failing = {"0012"};
    drive.values["0013"] = 7;
    setWork("0012", UP_Value, "300");
    core.FillRows();
    highlight("0012", "0013");
    importSelected();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(value("0012"), "300");
    EXPECT_EQ(work("0012", UP_CommErrIndex), "1");
    // The changed flag follows the value kept.
    EXPECT_EQ(work("0012", UP_ChangeIndex), "1");
    EXPECT_EQ(cell(TC_Changed, "0012"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(core.cellStyle(TC_Value, rowOf("0012"), false).text, ColorOption::fromBgr(0xC0C0C0));
    EXPECT_EQ(value("0013"), "7");
    EXPECT_EQ(work("0013", UP_CommErrIndex), "0");

    // A failed write leaves the value edited and unsent.
    setWork("0012", UP_Value, "400");
    exportSelected();
    EXPECT_EQ(value("0012"), "400");
    EXPECT_EQ(work("0012", UP_WriteIndex), "1");
    EXPECT_EQ(work("0012", UP_CommErrIndex), "1");
    EXPECT_EQ(value("0013"), "7");
    EXPECT_EQ(work("0013", UP_WriteIndex), "0");
    EXPECT_TRUE(core.cellStyle(TC_Value, rowOf("0012"), false).bold);

    // A later success clears the failure mark.
    drive.failing.clear();
    drive.values["0012"] = 400;
    go("0012");
    importSelected();
    EXPECT_EQ(work("0012", UP_CommErrIndex), "0");
    EXPECT_EQ(value("0012"), "400");
}

TEST_F(SelectedTransferTest, NoDriveOrAMonitorRunMeansNothingIsSent) {
    drive.answers = false;
    go("0003");
    importSelected();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::CannotConnect)});
    exportSelected();
    EXPECT_EQ(prompter.texts(),
              (QStringList{Msg(context, MsgId::CannotConnect), Msg(context, MsgId::CannotConnect)}));
    EXPECT_TRUE(drive.requests.empty());
    EXPECT_EQ(marks(), 0);

    prompter.clear();
    drive.answers = true;
    drive.connects = 0;
    drive.monitorRun = true;
    importSelected(); // refuses by itself
    EXPECT_EQ(drive.connects, 0);
    EXPECT_TRUE(prompter.boxes().empty());
    type("5");
    exportSelected(); // the committing export refuses by itself too
    EXPECT_EQ(drive.connects, 0);
    EXPECT_EQ(core.pendingEntry().active(), true);
    key(Key::Escape);
    exportSelected(); // the link refuses
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::CannotConnect)});
    EXPECT_TRUE(drive.requests.empty());
    drive.monitorRun = false;

    // A disabled command does nothing at all.
    prompter.clear();
    commands.setEnabled(TableCommand::DownLoad, false);
    commands.setEnabled(TableCommand::UpLoad, false);
    importSelected();
    exportSelected();
    EXPECT_EQ(drive.connects, 1);
    EXPECT_TRUE(prompter.boxes().empty());
}

// ---- Export of the value being typed ------------------------------------------------------

TEST_F(SelectedTransferTest, ATypedValueIsWrittenThenCommittedAsOneUndoStep) {
    drive.values["0013"] = 0;
    go("0013");
    type("h1F");
    exportSelected();
    EXPECT_EQ(drive.requests, (std::vector<Request>{{"0013", "W", "31"}}));
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(value("0013"), "31");
    EXPECT_EQ(work("0013", UP_HexIndex), "1");
    EXPECT_EQ(cell(TC_Value, "0013"), "h1F");
    EXPECT_EQ(work("0013", UP_WriteIndex), "0");
    EXPECT_EQ(work("0013", UP_ChangeIndex), "1");
    EXPECT_EQ(cell(TC_Changed, "0013"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(core.pendingEntry().active(), false);
    EXPECT_EQ(core.pendingEntry().typedCount(), 0);
    EXPECT_EQ(store->history().undoSteps(), QList<UndoStep>{(UndoStep{"0013", "0"})});

    // A decimal value with the parameter's resolution, rounded half away from zero.
    drive.requests.clear();
    go("0009");
    type("12,55");
    exportSelected();
    EXPECT_EQ(drive.requests, (std::vector<Request>{{"0009", "W", "126"}}));
    EXPECT_EQ(value("0009"), "126");
    EXPECT_EQ(work("0009", UP_HexIndex), "0");
    EXPECT_EQ(cell(TC_Value, "0009"), "    12.6");
}

TEST_F(SelectedTransferTest, ATypedValueOutsideTheLimitsIsNeitherSentNorLost) {
    go("0013"); // 0 .. 50
    type("51");
    exportSelected();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::OutOfRange)});
    EXPECT_EQ(drive.connects, 0); // not even the probe went out
    EXPECT_TRUE(drive.requests.empty());
    EXPECT_EQ(cell(TC_Value, "0013"), "51");
    EXPECT_EQ(core.pendingEntry().active(), true);
    EXPECT_EQ(core.pendingEntry().typedCount(), 2);
    EXPECT_EQ(value("0013"), "0");
    EXPECT_TRUE(undoLines().isEmpty());
}

TEST_F(SelectedTransferTest, ATypedTextThatIsNoValueIsRefusedAndTheNextTryStartsAfresh) {
    go("0013");
    const QString shown = cell(TC_Value, "0013");
    type("h");
    exportSelected();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::ValueCannotBeSet)});
    EXPECT_EQ(cell(TC_Value, "0013"), shown);
    type("1-");
    exportSelected();
    EXPECT_EQ(prompter.texts(),
              (QStringList{Msg(context, MsgId::ValueCannotBeSet), Msg(context, MsgId::NotANumber)}));
    EXPECT_TRUE(drive.requests.empty());
    // The "h" counts as a first character again.
    type("h1F");
    enter();
    EXPECT_EQ(value("0013"), "31");
}

TEST_F(SelectedTransferTest, ATypedValueForAParameterThatMustNotBeWrittenStaysPending) {
    go("0051");
    type("1");
    exportSelected();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::CannotBeWritten)});
    EXPECT_TRUE(drive.requests.empty());
    EXPECT_EQ(value("0051"), "0");
    EXPECT_EQ(work("0051", UP_ChangeIndex), "0");
    EXPECT_EQ(core.pendingEntry().active(), true);
}

TEST_F(SelectedTransferTest, AFailedWriteOfATypedValueKeepsTheOldValueAndItsUndoStepRestoresIt) {
    drive.failing = {"0013"};
    go("0013");
    type("20");
    exportSelected();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(value("0013"), "0");
    EXPECT_EQ(cell(TC_Value, "0013"), "       0");
    // Bold and silver: edited, not sent, and the last transfer failed.
    const CellStyle st = core.cellStyle(TC_Value, rowOf("0013"), false);
    EXPECT_TRUE(st.bold);
    EXPECT_EQ(st.text, ColorOption::fromBgr(0xC0C0C0));
    // The changed mark follows the value the table keeps, not the one typed.
    EXPECT_EQ(work("0013", UP_ChangeIndex), "0");
    EXPECT_EQ(cell(TC_Changed, "0013"), QStringLiteral("      "));
    EXPECT_EQ(core.pendingEntry().active(), false);
    EXPECT_EQ(undoLines(), QStringList{"0013"});
    undoRedo.undoStep();
    EXPECT_EQ(value("0013"), "0");
    EXPECT_TRUE(undoLines().isEmpty());
}

} // namespace

// ---- 32-bit parameters over MODBUS: one register, their low 16 bits -----------------------

TEST_F(SelectedTransferTest, ARegisterOnlyConfirmsThe32BitValueTheTableHolds) {
    // The table holds the defaults: 0060 = 100000, 0062 = 4000000000, 0061 = 0 (signed).
    drive.values["0060"] = 100000;
    drive.values["0062"] = 4000000001;
    drive.values["0061"] = std::uint32_t(-5);
    const struct {
        Protocol protocol;
        const char *v60, *v62, *v61;
    } cases[] = {
        {Protocol::Modbus, "100000", "4000000000", "0"},
        {Protocol::Inverter, "100000", "4000000001", "-5"},
    };
    for (const auto& c : cases) {
        const bool modbus = c.protocol == Protocol::Modbus;
        SCOPED_TRACE(modbus ? "MODBUS" : "maker's protocol");
        drive.proto = c.protocol;
        prompter.clear();
        highlight("0060", "0062");
        importSelected();
        EXPECT_EQ(value("0060"), c.v60);
        EXPECT_EQ(value("0062"), c.v62);
        EXPECT_EQ(value("0061"), c.v61);
        EXPECT_EQ(work("0060", UP_CommErrIndex), "0");
        EXPECT_EQ(work("0062", UP_CommErrIndex), modbus ? "1" : "0");
        EXPECT_EQ(work("0061", UP_CommErrIndex), modbus ? "1" : "0");
        if (modbus)
            EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::WideValueNotRead) +
                                                    "\n\nF061: Position offset\nF062: Pulse count limit"});
        else
            EXPECT_TRUE(prompter.boxes().empty());
    }
}

TEST_F(SelectedTransferTest, OverModbusA32BitValueIsWrittenOnlyWhereARegisterKeepsIt) {
    drive.proto = Protocol::Modbus;
    setWork("0060", UP_Value, "65535");
    setWork("0061", UP_Value, "-5");
    setWork("0062", UP_Value, "4000000000");
    highlight("0060", "0062");
    exportSelected();
    EXPECT_EQ(drive.requests, (std::vector<Request>{{"0060", "W", "65535"}, {"0061", "W", "-5"}}));
    EXPECT_EQ(value("0061"), "-5") << "the echo, 65531, confirms the value and is none itself";
    EXPECT_EQ(work("0061", UP_CommErrIndex), "0");
    EXPECT_EQ(work("0062", UP_CommErrIndex), "1");
    EXPECT_EQ(work("0062", UP_WriteIndex), "1");
    EXPECT_EQ(value("0062"), "4000000000");
    EXPECT_EQ(prompter.texts(),
              QStringList{Msg(context, MsgId::WideValueNotWritten) + "\n\nF062: Pulse count limit"});

    // A typed value a register would not keep is neither sent nor lost.
    drive.requests.clear();
    prompter.clear();
    go("0060");
    type("70000");
    exportSelected();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::WideValueNotWritten)});
    EXPECT_TRUE(drive.requests.empty());
    EXPECT_EQ(core.pendingEntry().active(), true);
    EXPECT_EQ(value("0060"), "65535");
}
