#pragma once
// The inverter information's drive: a small table of identity, history and monitor numbers,
// the simulated drive behind the fake port holding the same numbers, a drive catalogue of
// type HXA1 (code 41, capacity -4037 = 13; -4037N from CPU version 700 on), the language
// file's section "InverterInfo" and the trip and item lists of the drive type.
#include "link/DriveNames.h"
#include "link/ResultText.h"
#include "monitor/InverterInfo.h"
#include "support/DrivesimSupport.h"
#include "support/InstalledAsker.h"
#include "support/KeypadFixture.h"

namespace inverterinfotest {

using keypadtest::decodeRequest;

struct InfoRow {
    const char* comNo;
    const char* mul;
    const char* low; // below 0: signed
    std::int64_t value;
    int size = 2; // 4: a 32-bit parameter
};

inline constexpr const char* kShippedSection = "[InverterInfo]\r\n"
                                               "Inverter Information=Inverter Information\r\n"
                                               "Trip Data=Trip Data\r\n"
                                               "Inverter Type:=FB07\r\n"
                                               "Inverter Form:=FB05\r\n"
                                               "CPU Version:=FE08\r\n"
                                               "ROM Version:=FE73\r\n"
                                               "cr1=-\r\n"
                                               "Last Trip:=FE10\r\n"
                                               "2nd Last Trip:=FE11\r\n"
                                               "3rd Last Trip:=FE12\r\n"
                                               "4th Last Trip:=FE13\r\n"
                                               "cr2=-\r\n"
                                               "Total Run Time (h):=FE14\r\n";

class InverterInfoFixture : public testing::Test {
protected:
    void SetUp() override {
        context.drive.identity.typeName = QStringLiteral("HXA1");
        context.texts.caption = QStringLiteral("Caption");
        context.paths.catalogueIni = folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                                                      "[Type]\r\nHXA1=41\r\n[Type_Custom]\r\nHXA1=41\r\n"
                                                      "[HXA1]\r\n-4037=13\r\n-2004=1\r\nCPU2=H\r\n"
                                                      "[HXA1(V720)]\r\n-4037N=13\r\n");
        setLanguage(kShippedSection);
        setRows({{"0000", "1", "0", 0},
                 {"FB07", "1", "0", 41},
                 {"FB05", "1", "0", 13},
                 {"FB91", "1", "0", 0},
                 {"FE08", "1", "0", 110},
                 {"FE73", "1", "0", 0x1A2B},
                 {"FE10", "1", "0", 7},
                 {"FE11", "1", "0", 1},
                 {"FE12", "1", "0", 0},
                 {"FE13", "1", "0", 99},
                 {"FE14", "1", "0", 123},
                 {"FC90", "1", "0", 0},
                 {"FD00", "100", "0", 1234},
                 {"FD01", "100", "-100", -250},
                 {"FD07", "1", "0", 0x1000},
                 {"FD10", "1", "0", 100000, 4}});
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
        simtest::attachDrive(port, sim);
        ASSERT_EQ(link.OpenCommPort(), 0);
        lists.tripCodes = QStringList{"0", "1", "5", "7"};
        lists.tripNames = QStringList{"No trip", "Overcurrent", "Overvoltage", "Undervoltage"};
        lists.codes = QStringList{"FD00", "FD01", "FD07-12", "FD07-11", "FC90", "FD99"};
        lists.names =
            QStringList{"Output frequency", "Bias", "Terminal X12", "Terminal X11", "Trip code", "Missing"};
    }
    void TearDown() override { context.store = nullptr; }

    void setLanguage(const QByteArray& section) {
        context.language.iniPath = folder.writeFile(QStringLiteral("lng/English.ini"), section);
    }
    // The program's table and the drive both get these parameters.
    void setRows(const std::vector<InfoRow>& rows) {
        params = std::make_unique<ParameterStore>();
        QStringList messages;
        for (int n = 0; n <= 130; ++n)
            messages << QStringLiteral("msg%1").arg(n);
        params->setMessages(messages);
        std::vector<ParameterDefinition> definitions(rows.size(), ParameterDefinition{});
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int r = int(i) + 1;
            ParameterDefinition& d = definitions[i];
            d.comNo = QString::fromLatin1(rows[i].comNo);
            d.size = rows[i].size;
            setDefinitionText(d, PD_Mul, QString::fromLatin1(rows[i].mul));
            d.low = QString::fromLatin1(rows[i].low);
            params->setWorkingText(UP_Value, r - 1, QStringLiteral("0"));
            params->setWorkingText(UP_LValue, r - 1, QString::fromLatin1(rows[i].low));
            model.setParameter(QString::fromLatin1(rows[i].comNo), rows[i].value, rows[i].size == 4,
                               QString::fromLatin1(rows[i].low).toInt() < 0);
        }
        context.store = params.get();
        context.drive.setParameters(std::move(definitions), 0);
    }

    QStringList readInfo() {
        ResultText out;
        InverterInfo info(link, names, context, prompter);
        info.readInverterInfo(out, lists);
        return out.lines();
    }
    // Requests on the wire since `from`, as "R FE08" / "FB91=100 P".
    QStringList wire(std::size_t from = 0) const {
        QStringList out;
        for (std::size_t i = from; i < port.writes.size(); ++i)
            out << decodeRequest(port.writes[i].bytes).text();
        return out;
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
    ProgramContext context;
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    DriveNames names{link};
    DriveModel model;
    DriveSimulator sim{model, SimConfig{}};
    std::unique_ptr<ParameterStore> params;
    MonitorItemLists lists;
};

} // namespace inverterinfotest
