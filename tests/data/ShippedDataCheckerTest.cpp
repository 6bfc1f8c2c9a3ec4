// The data checks must find real faults: each case breaks one thing in a copy of the shipped
// folder and expects the check to name it.
#include "ShippedDataChecks.h"
#include "support/TempProgramFolder.h"

#include "support/TestPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

namespace {

struct Fault {
    const char* name;
    const char* file; // relative to the program folder
    const char* from; // first occurrence replaced; nullptr: the file is removed
    const char* to;
    const char* reported;
};

const Fault kFaults[] = {
    {"DefaultChainThatLoops", "dat/HXA1(V110)/HXA1(Eng).inv", "0004,1,0003", "0004,1,0005", "(loop?)"},
    {"DefaultNamingNoParameter", "dat/HXA1(V110)/HXA1(Eng).inv", "0010,1,0009", "0010,1,0027",
     "which is no parameter"},
    {"ShortCommunicationNumber", "dat/HXA1(V110)/HXA1(Eng).inv", "\n0011,", "\n011,", "four-digit"},
    {"DefaultModeOtherThanZeroOrOne", "dat/HXA1(V110)/HXA1(Eng).inv", "\n0006,0,", "\n0006,2,",
     "DIndex \"2\""},
    {"DivisorZero", "dat/HXA1(V110)/HXA1(Eng).inv", "#.##,100,", "#.##,0,", "Mul \"0\""},
    {"HighLimitNamingNoParameter", "dat/HXA1(V110)/HXA1(Eng).inv", "2,0,1,0005,", "2,0,1,0105,",
     "high limit"},
    {"ShortLineEndsTheTableEarly", "dat/HXA1(V110)/HXA1(Eng).inv", "\r\n0003,", "\r\n\r\n0003,",
     "short line"},
    {"LanguagesDifferBeyondNames", "dat/HXB3(V250)/HXB3(Jap).inv", ",F003,Hz,", ",F003,kHz,", "differ"},
    {"CapacityDefaultAboveLimit", "dat/HXA1(V110)/HXA1-2007.cap", "0002,50", "0002,400", "outside"},
    {"CapacityLineForAChainedDefault", "dat/HXA1(V110)/HXA1-2007.cap", "0002,50", "0010,50",
     "takes its default"},
    {"CapacityCodeNotTheDrivesValue", "dat/HXA1(V110)/HXA1-2007.cap", "FB05,2", "FB05,3",
     "FB05 of HXA1-2007.cap"},
    {"MonitorItemUnknown", "dat/HXA1(V110)/Info.ini", "FD03=Output current", "FD33=Output current",
     "monitor item"},
    {"QuickCountWrong", "dat/HXA1(V110)/Info.ini", "Quick=10", "Quick=3", "Quick"},
    {"CurrentVoltageKeyUnknown", "dat/HXA1(V110)/Info.ini", "0022=C", "0222=C", "[Disp CV]"},
    {"BaudRateDefaultBeyondTheList", "dat/HXA1(V110)/Info.ini", "Baudrate_B=3", "Baudrate_B=5", "Baudrate"},
    {"TripListWithoutNoTripCode", "dat/HXB3(V250)/Info.ini",
     "[HXB3 Trip (Eng)]\r\n0=", "[HXB3 Trip (Eng)]\r\n99=", "no-trip"},
    {"TypeCodeWithoutIdentification", "dat/Inverter.ini", "[Type_Ident_52]", "[Type_Ident_53]",
     "[Type_Ident_52] missing"},
    {"TypeCodeNotTheDrivesValue", "dat/Inverter.ini", "[Type]\r\nHXA1=41", "[Type]\r\nHXA1=42", "FB07"},
    {"CapacityWithoutCatalogueCode", "dat/Inverter.ini", "-2015=3\r\n-2022", "-2022", "capacity -2015"},
    {"TypeWithoutFolder", "dat/Inverter.ini", "HXB3=52", "HXB3=52\r\nHXC7=60",
     "HXC7 has no drive-type folder"},
    {"HelpPageMissing", "dat/HXB3(V250)/HXB3(Jap).chm/html/f009.htm", nullptr, nullptr,
     "no help page for F009"},
    {"HelpLinkBroken", "KVR260X(Eng).chm/html/main.htm", "href=\"keypad.htm\"", "href=\"keypads.htm\"",
     "main.htm links to missing keypads.htm"},
    {"HelpPageNotInContents", "KVR260X(Jap).chm/index.htm", "href=\"html/maint.htm\"",
     "href=\"html/main.htm\"", "maint.htm is not in the contents"},
    {"JapaneseTypeFileMissing", "dat/HXB3(V250)/HXB3(Jap).inv", nullptr, nullptr, "HXB3(Jap).inv missing"},
    {"MessageKeyMissing", "lng/English.ini", "Message5=-\r\n", "", "key 5 of [General] is Message6"},
    {"MessageKeyOutOfOrder", "lng/Japanese.ini", "Message7=", "Message8=", "key 7 of [General]"},
    {"EdgeBlankWithoutQuotes", "lng/English.ini", "Message2=\"File: \"", "Message2=File: ", "edge blanks"},
    {"MessageUnusedInOneLanguageOnly", "lng/Japanese.ini",
     "Message16=", "Message16=-\r\nX=", "Message16 is unused"},
    {"SectionOnlyInOneLanguage", "lng/Japanese.ini", "[KeyPad]", "[KeyPad2]", "different sections"},
    {"LineEndsMixed", "lng/English.ini", "Message9=", "\nMessage9=", "CR LF"},
    {"MenuWithoutMnemonic", "lng/English.ini", "Menu1=&Files", "Menu1=Files",
     "Menu1 \"Files\" has no mnemonic"},
    {"MnemonicClashInAMenu", "lng/English.ini", "Menu12=&Open", "Menu12=Ope&n",
     "mnemonic N of [Main] Menu12 clashes with Menu11"},
    {"MnemonicClashInTheTablePopup", "lng/Japanese.ini", "PopMenu1=\xe9\x96\x89\xe3\x81\x98\xe3\x82\x8b(&O)",
     "PopMenu1=\xe9\x96\x89\xe3\x81\x98\xe3\x82\x8b(&C)", "clashes with Menu24 in the table's pop-up menu"},
    {"ButtonMnemonicClash", "lng/English.ini", "Button2=S&top", "Button2=&Stop", "the buttons of [Monitor]"},
    {"EnglishMenuShowsAnotherText", "lng/English.ini", "Menu11=&New", "Menu11=&Neu", "Menu11 shows \"Neu\""},
    {"OtherLetterInJapanese", "lng/Japanese.ini", "(&X)\r\nMenu2", "(&E)\r\nMenu2",
     "Menu19 marks other letters"},
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

class DataChecksFind : public testing::TestWithParam<Fault> {};

// The copy starts sound (the shipped-data tests hold it so); only the checks of the broken
// part of the folder run.
QStringList runChecks(const TempProgramFolder& folder, const char* file) {
    if (QByteArray(file).startsWith("lng/"))
        return DataChecks::checkLanguagePair(folder.filePath(QStringLiteral("lng/English.ini")),
                                             folder.filePath(QStringLiteral("lng/Japanese.ini")));
    return DataChecks::checkProgramFolder(folder.path());
}

} // namespace

// Copies the shipped data without the parameter help (hundreds of small pages), except the
// help folder the case breaks.
void copyShippedData(TempProgramFolder& folder, const QString& brokenFile) {
    const QString from = shippedDataDir();
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(from).relativeFilePath(path);
        const qsizetype help = relative.indexOf(QLatin1String(".chm/"));
        if (help >= 0 && !brokenFile.startsWith(relative.left(help)))
            continue;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        folder.writeFile(relative, f.readAll());
    }
}

TEST_P(DataChecksFind, TheFault) {
    const Fault& f = GetParam();
    TempProgramFolder folder;
    copyShippedData(folder, QString::fromUtf8(f.file));

    const QString path = folder.filePath(QString::fromUtf8(f.file));
    if (!f.from) {
        ASSERT_TRUE(QFile::remove(path));
    } else {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        const qsizetype at = bytes.indexOf(f.from);
        ASSERT_GE(at, 0) << f.from << " not in " << f.file;
        bytes.replace(at, qsizetype(qstrlen(f.from)), f.to);
        folder.writeFile(QString::fromUtf8(f.file), bytes);
    }
    const QString found = runChecks(folder, f.file).join(u'\n');
    EXPECT_TRUE(found.contains(QString::fromUtf8(f.reported))) << "expected \"" << f.reported << "\", got:\n"
                                                               << found.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, DataChecksFind, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) {
                             return std::string(info.param.name);
                         });

TEST(DataChecks, SplitTypeLineFollowsTheLoaderRules) {
    EXPECT_EQ(DataChecks::splitTypeLine(QStringLiteral("\"a\"\"b\"")), QStringList{QStringLiteral("a'b")});
    EXPECT_EQ(DataChecks::splitTypeLine(QStringLiteral("x, y")),
              (QStringList{QStringLiteral("x"), QStringLiteral(" y")}));
    EXPECT_EQ(DataChecks::splitTypeLine(QStringLiteral("a,\"b,c\",d")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b,c"), QStringLiteral("d")}));
    EXPECT_EQ(DataChecks::splitTypeLine(QString()), QStringList{QString()});
}
