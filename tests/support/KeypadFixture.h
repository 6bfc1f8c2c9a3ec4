#pragma once
// The keypad against a simulated drive behind the fake port: a small parameter table, a drive
// that takes key codes under the FA10 handshake (RUN, STOP, UP, DOWN) and shows its output
// frequency and RUN lamp in the display block, and a panel view that records what the window
// would show and runs a script at each pass of the panel loop.
#include "monitor/KeypadPanel.h"

#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestProgram.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QEventLoop>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace keypadtest {

using Bytes = std::vector<std::uint8_t>;

// One request as the drive saw it.
struct WireRequest {
    QString comNo;
    char kind = 0;
    int value = 0;
    QString text() const {
        return kind == 'R' ? QStringLiteral("R ") + comNo
                           : comNo + u'=' + QString::number(value) + u' ' + kind;
    }
};

// A request of either protocol, decoded far enough for the tests.
inline WireRequest decodeRequest(const Bytes& b) {
    WireRequest r;
    std::size_t at = 0;
    if (!b.empty() && b[0] == kInverterStart) {
        at = (b.size() > 1 && (b[1] == 'R' || b[1] == 'W' || b[1] == 'P')) ? 1 : 2;
        if (b.size() < at + 3)
            return r;
        r.kind = char(b[at]);
        r.comNo = QStringLiteral("%1%2")
                      .arg(b[at + 1], 2, 16, QChar(u'0'))
                      .arg(b[at + 2], 2, 16, QChar(u'0'))
                      .toUpper();
        if (r.kind != 'R' && b.size() >= at + 5)
            r.value = (b[at + 3] << 8) | b[at + 4];
    } else if (b.size() >= 6) {
        r.kind = b[1] == kModbusWrite ? 'P' : 'R';
        r.comNo =
            QStringLiteral("%1%2").arg(b[2], 2, 16, QChar(u'0')).arg(b[3], 2, 16, QChar(u'0')).toUpper();
        if (r.kind == 'P')
            r.value = (b[4] << 8) | b[5];
    }
    return r;
}

// The simulated drive behind the fake port. The model plays the drive's keypad side: key
// codes count only while FA10 is 1; RUN starts the motor at the frequency command FA01, STOP
// stops it, UP and DOWN change FA01 by one step per code; the display block shows the output
// frequency and the RUN lamp. This records the codes the drive took.
class KeypadDrive {
public:
    explicit KeypadDrive(DriveModel& model, SimConfig config = {}) : model_(model), sim_(model, config) {}

    DriveSimulator& sim() { return sim_; }
    std::vector<int> acceptedCodes; // codes taken under the handshake
    bool answer = true;             // false: the drive stops answering

    bool running() const { return model_.motorRunning(); }
    // RUN or STOP as if pressed on a panel, leaving the key parameters as they were.
    void setRunning(bool on) {
        const auto flag = model_.parameter(QStringLiteral("FA10"));
        const auto code = model_.parameter(QStringLiteral("FA11"));
        model_.write(ComNoToRegister(u"FA10"), 1);
        model_.write(ComNoToRegister(u"FA11"), on ? KeyRun : KeyStop);
        model_.write(ComNoToRegister(u"FA11"), code ? code->raw : 0);
        model_.write(ComNoToRegister(u"FA10"), flag ? flag->raw : 0);
    }

    void attach(FakeSerialPort& port) {
        port.responder = [this](const Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out;
            if (!answer)
                return out;
            observe(decodeRequest(request));
            for (SimReply& r : sim_.respondToWrite(request))
                out.push_back({std::move(r.bytes), qint64((r.delay.count() + 999) / 1000)});
            return out;
        };
    }

private:
    void observe(const WireRequest& r) {
        if (r.kind != 'P' && r.kind != 'W')
            return;
        if (r.comNo == QLatin1String("FA10"))
            handshake_ = r.value == 1;
        else if (r.comNo == QLatin1String("FA11") && handshake_ && r.value != 0)
            acceptedCodes.push_back(r.value);
    }

    DriveModel& model_;
    DriveSimulator sim_;
    bool handshake_ = false;
};

// What the window would show, and the script of the loop's passes.
class FakePanelView : public KeypadPanelView {
public:
    explicit FakePanelView(ManualClock& clock) : clock_(clock) {}

    QStringList leds;        // every FLED text in order
    std::vector<int> lamps;  // every lamp byte shown
    QStringList directTexts; // every FCLabel text
    bool directChecked = false;
    bool keysVisible = false;
    bool shown = true;
    int closes = 0;
    std::vector<int> waits;
    int pass = 0;
    // Runs inside each pass with the pass number (from 1); the default ends the loop at once.
    std::function<void(int)> script;

    void showLed(const QString& t) override { leds << t; }
    void showLamps(std::uint8_t bits) override { lamps.push_back(bits); }
    void showDirectText(const QString& t) override { directTexts << t; }
    void setDirectChecked(bool on) override { directChecked = on; }
    void setKeysVisible(bool on) override { keysVisible = on; }
    void focusKeySink() override {}
    // The events of each pass; the clock moves only when the script says.
    void letEventsThrough() override {
        ++pass;
        if (script)
            script(pass);
    }
    // The waits in the event loop for a display read on its way (only a line that can be
    // watched has any: the fake port answers at once), and the timed pauses as long as they
    // last (0: cut short by a wake before them; the clock stays).
    int readWaits = 0;
    std::vector<int> pauses;
    int wakes = 0;
    void waitEvents(int ms) override {
        if (ms >= 0) {
            pauses.push_back(woken_ ? 0 : ms);
            woken_ = false;
            return;
        }
        ++readWaits;
        if (!woken_) {
            QEventLoop loop;
            loop_ = &loop;
            loop.exec();
            loop_ = nullptr;
        }
        woken_ = false;
    }
    void wake() override {
        ++wakes;
        woken_ = true;
        if (loop_)
            loop_->quit();
    }
    void waitPainting(int ms) override {
        waits.push_back(ms);
        clock_.advance(ms);
    }
    bool isShown() const override { return shown; }
    void closeWindow() override {
        ++closes;
        shown = false;
    }

private:
    ManualClock& clock_;
    QEventLoop* loop_ = nullptr;
    bool woken_ = false;
};

// Parameter rows of the test table.
struct Row {
    const char* comNo;
    const char* high;
    const char* low;
    const char* mul;
};

class KeypadFixture : public testing::Test {
protected:
    void SetUp() override {
        setRows({{"0000", "3", "0", "1"},
                 {"FA01", "12000", "0", "100"},
                 {"FA10", "1", "0", "1"},
                 {"FA11", "65535", "0", "1"},
                 {"FC10", "65535", "0", "1"}});
        folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                         "[Freq Comm No]\r\nHXA1=FA01\r\nHXB3=-\r\nHXZ9=FA77\r\n");
        context.paths.catalogueIni = folder.filePath(QStringLiteral("dat/Inverter.ini"));
        context.drive.identity.typeName = QStringLiteral("HXA1");

        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
        drive.attach(port);
    }

    // A table of these parameters; the drive gets every one of them with the value 0.
    void setRows(const std::vector<Row>& rows) {
        program.store = ParameterStore();
        program.setMessages(QStringLiteral("msg"), 71);
        QStringList numbers;
        for (const Row& row : rows)
            numbers << QString::fromLatin1(row.comNo);
        program.setParameters(numbers);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int r = int(i) + 1;
            ParameterDefinition& d = program.definition(int(i));
            d.size = 2;
            d.high = QString::fromLatin1(rows[i].high);
            d.low = QString::fromLatin1(rows[i].low);
            setDefinitionText(d, PD_Mul, QString::fromLatin1(rows[i].mul));
            params->setWorkingText(UP_Value, r - 1, QStringLiteral("0"));
            params->setWorkingText(UP_LValue, r - 1, QString::fromLatin1(rows[i].low));
            model.setParameter(QString::fromLatin1(rows[i].comNo), 0);
        }
    }
    void setMul(const char* comNo, const char* mul) {
        const int i = context.drive.indexOfComNo(QString::fromLatin1(comNo));
        setDefinitionText(context.drive.parameters[std::size_t(i)], PD_Mul, QString::fromLatin1(mul));
    }

    // Requests on the wire since `from`, as "FA11=0 P" / "R FC10".
    QStringList wire(std::size_t from = 0) const {
        QStringList out;
        for (std::size_t i = from; i < port.writes.size(); ++i)
            out << decodeRequest(port.writes[i].bytes).text();
        return out;
    }
    // Only the writes.
    QStringList writes(std::size_t from = 0) const {
        QStringList out;
        for (const QString& s : wire(from))
            if (!s.startsWith(u'R'))
                out << s;
        return out;
    }
    qint64 rawOf(const char* comNo) const { return qint64(model.parameter(QString::fromLatin1(comNo))->raw); }

    // Runs the loop; the script decides when it ends (by default after `passes` passes).
    void runLoop(int passes = 1) {
        if (!view.script)
            view.script = [this, passes](int p) {
                if (p >= passes)
                    panel.endLoop();
            };
        panel.RunPanelLoop();
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
    ManualClock clock;
    FakeSerialPort port{clock};
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    ParameterStore* const params = &program.store;
    CommLink link{context, port, clock, installedAsker()};
    DriveModel model;
    KeypadDrive drive{model};
    FakePanelView view{clock};
    KeypadPanel panel{context, options, link, view};
};

} // namespace keypadtest
