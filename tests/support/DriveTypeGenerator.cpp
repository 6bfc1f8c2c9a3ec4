#include "DriveTypeGenerator.h"

#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QSet>

#include <algorithm>

namespace DriveTypeGenerator {
namespace {

struct Row {
    QString com, didx = QStringLiteral("0"), dflt, name, title, unit, byte = QStringLiteral("2"),
                 sign = QStringLiteral("0"), hidx = QStringLiteral("0"), high, lidx = QStringLiteral("0"),
                 low = QStringLiteral("0"), tmul = QStringLiteral("#"), mul = QStringLiteral("1"),
                 mem = QStringLiteral("-"), flag = QStringLiteral("0"), quick = QStringLiteral("0");
    QString capValue; // non-empty: the capacity file gives this default
    QString cv;       // "C" or "V" for the current/voltage list
};

Row row(const QString& com, const QString& dflt, const QString& name, const QString& high) {
    Row r;
    r.com = com;
    r.dflt = dflt;
    r.name = name;
    r.high = high;
    return r;
}

Row frequency(const QString& com, const QString& dflt, const QString& name) {
    Row r = row(com, dflt, name, QStringLiteral("0003"));
    r.hidx = QStringLiteral("1");
    r.unit = QStringLiteral("Hz");
    r.tmul = QStringLiteral("#.##");
    r.mul = QStringLiteral("100");
    return r;
}

Row readOnly(const QString& com, const QString& dflt, const QString& name, const QString& high) {
    Row r = row(com, dflt, name, high);
    r.flag = QStringLiteral("1");
    return r;
}

Row ram(Row r, bool neverWritten) {
    r.mem = QStringLiteral("RAM");
    if (neverWritten)
        r.flag = QStringLiteral("1");
    return r;
}

// The numbers the program relies on, with values that fit each other.
void fixedRows(const Options& o, QList<Row>& ordinary, QList<Row>& maintenance) {
    Row control =
        row(QStringLiteral("0000"), QStringLiteral("0"), QStringLiteral("Control mode"), QStringLiteral("3"));
    control.quick = QStringLiteral("1");
    ordinary << control;
    Row maxFreq = row(QStringLiteral("0003"), QStringLiteral("6000"), QStringLiteral("Maximum frequency"),
                      QStringLiteral("40000"));
    maxFreq.low = QStringLiteral("3000");
    maxFreq.unit = QStringLiteral("Hz");
    maxFreq.tmul = QStringLiteral("#.##");
    maxFreq.mul = QStringLiteral("100");
    ordinary << maxFreq;
    Row base = frequency(QStringLiteral("0004"), QStringLiteral("0003"), QStringLiteral("Base frequency"));
    base.didx = QStringLiteral("1");
    ordinary << base;
    Row motorCurrent = row(QStringLiteral("0012"), QStringLiteral("880"),
                           QStringLiteral("Motor rated current"), QStringLiteral("10000"));
    motorCurrent.unit = QStringLiteral("A");
    motorCurrent.tmul = QStringLiteral("#.##");
    motorCurrent.mul = QStringLiteral("100");
    motorCurrent.capValue = QStringLiteral("880");
    ordinary << motorCurrent;
    ordinary << readOnly(QStringLiteral("0099"), QStringLiteral("7"), QStringLiteral("Model identification"),
                         QStringLiteral("255"));
    ordinary << row(QStringLiteral("0500"), QStringLiteral("0"), QStringLiteral("Communication protocol"),
                    QStringLiteral("1"));
    ordinary << row(QStringLiteral("0501"), QStringLiteral("4"), QStringLiteral("Communication baud rate"),
                    QStringLiteral("5"));
    ordinary << row(QStringLiteral("0502"), QStringLiteral("1"), QStringLiteral("Communication parity"),
                    QStringLiteral("2"));
    ordinary << row(QStringLiteral("0503"), QStringLiteral("1"), QStringLiteral("Station number"),
                    QStringLiteral("32"));
    ordinary << row(QStringLiteral("0630"), QStringLiteral("0"), QStringLiteral("Brake sequence select"),
                    QStringLiteral("2"));
    ordinary << readOnly(QStringLiteral("0998"), QStringLiteral("1"), QStringLiteral("Special setting 1"),
                         QStringLiteral("65535"));
    ordinary << readOnly(QStringLiteral("0999"), QStringLiteral("2"), QStringLiteral("Special setting 2"),
                         QStringLiteral("65535"));

    const QString cpuNumber = o.cpuVersion.mid(1);
    Row fa01 = ram(
        frequency(QStringLiteral("FA01"), QStringLiteral("0"), QStringLiteral("Frequency command (comm.)")),
        true);
    maintenance << fa01;
    maintenance << ram(row(QStringLiteral("FA10"), QStringLiteral("0"), QStringLiteral("Key handshake"),
                           QStringLiteral("1")),
                       true);
    maintenance << ram(
        row(QStringLiteral("FA11"), QStringLiteral("0"), QStringLiteral("Key code"), QStringLiteral("65535")),
        true);
    Row fb05 = readOnly(QStringLiteral("FB05"), QString::number(o.capacityCode),
                        QStringLiteral("Capacity code"), QStringLiteral("255"));
    fb05.capValue = fb05.dflt;
    maintenance << fb05;
    maintenance << readOnly(QStringLiteral("FB07"), QString::number(o.typeCode), QStringLiteral("Type code"),
                            QStringLiteral("255"));
    Row fb58 = readOnly(QStringLiteral("FB58"), QString::number(o.capacityCode),
                        QStringLiteral("Capacity code 2"), QStringLiteral("255"));
    fb58.capValue = fb58.dflt;
    maintenance << fb58;
    maintenance << readOnly(QStringLiteral("FB72"), QStringLiteral("0"), QStringLiteral("Hardware revision"),
                            QStringLiteral("255"));
    maintenance << ram(readOnly(QStringLiteral("FB91"), QStringLiteral("0"), QStringLiteral("Access code"),
                                QStringLiteral("999")),
                       true);
    maintenance << readOnly(QStringLiteral("FC10"), QStringLiteral("0"),
                            QStringLiteral("Keypad display block"), QStringLiteral("65535"));
    maintenance << readOnly(QStringLiteral("FC90"), QStringLiteral("0"), QStringLiteral("Trip code"),
                            QStringLiteral("99"));
    maintenance << readOnly(QStringLiteral("FC91"), QStringLiteral("0"), QStringLiteral("Alarm word"),
                            QStringLiteral("65535"));
    Row fd00 = readOnly(QStringLiteral("FD00"), QStringLiteral("0"), QStringLiteral("Output frequency"),
                        QStringLiteral("40000"));
    fd00.unit = QStringLiteral("Hz");
    fd00.tmul = QStringLiteral("#.##");
    fd00.mul = QStringLiteral("100");
    maintenance << fd00;
    Row fd03 = readOnly(QStringLiteral("FD03"), QStringLiteral("0"), QStringLiteral("Output current"),
                        QStringLiteral("3000"));
    fd03.unit = QStringLiteral("%");
    fd03.tmul = QStringLiteral("#.#");
    fd03.mul = QStringLiteral("10");
    maintenance << fd03;
    maintenance << readOnly(QStringLiteral("FD07"), QStringLiteral("0"),
                            QStringLiteral("Input terminal status"), QStringLiteral("65535"));
    maintenance << readOnly(QStringLiteral("FE08"), cpuNumber, QStringLiteral("CPU version"),
                            QStringLiteral("999"));
    for (int i = 0; i < 4; ++i)
        maintenance << readOnly(QStringLiteral("FE1%1").arg(i), QStringLiteral("0"),
                                QStringLiteral("Trip history %1").arg(i + 1), QStringLiteral("99"));
    Row fe14 = readOnly(QStringLiteral("FE14"), QStringLiteral("0"), QStringLiteral("Cumulative run time"),
                        QStringLiteral("65535"));
    fe14.unit = QStringLiteral("100h");
    maintenance << fe14;
    Row fe70 = readOnly(QStringLiteral("FE70"), QStringLiteral("88"), QStringLiteral("Rated current"),
                        QStringLiteral("10000"));
    fe70.unit = QStringLiteral("A");
    fe70.tmul = QStringLiteral("#.#");
    fe70.mul = QStringLiteral("10");
    fe70.capValue = fe70.dflt;
    maintenance << fe70;
    Row fe71 = readOnly(QStringLiteral("FE71"), QStringLiteral("4000"), QStringLiteral("Rated voltage"),
                        QStringLiteral("10000"));
    fe71.unit = QStringLiteral("V");
    fe71.tmul = QStringLiteral("#.#");
    fe71.mul = QStringLiteral("10");
    fe71.capValue = fe71.dflt;
    maintenance << fe71;
    maintenance << readOnly(QStringLiteral("FE73"), QStringLiteral("4660"), QStringLiteral("ROM version"),
                            QStringLiteral("65535"));
}

// Filler k of every kind in turn; all defaults lie within their limits.
Row filler(const QString& com, int k) {
    const QString name = QStringLiteral("Setting %1").arg(com);
    switch (k % 8) {
    case 0:
        return frequency(com, QString::number(100 * (k % 60)), name);
    case 1: {
        Row r = row(com, QStringLiteral("100"), name, QStringLiteral("36000"));
        r.unit = QStringLiteral("s");
        r.tmul = QStringLiteral("#.#");
        r.mul = QStringLiteral("10");
        if (k % 50 == 1)
            r.quick = QStringLiteral("1");
        if (k % 100 == 9)
            r.capValue = QStringLiteral("200");
        return r;
    }
    case 2: {
        Row r = frequency(com, k % 4 == 2 ? QStringLiteral("0004") : QStringLiteral("0003"), name);
        r.didx = QStringLiteral("1");
        return r;
    }
    case 3: {
        Row r = row(com, QStringLiteral("0"), name, QStringLiteral("1000"));
        r.low = QStringLiteral("-1000");
        r.sign = QStringLiteral("1");
        r.unit = QStringLiteral("%");
        r.tmul = QStringLiteral("#.#");
        r.mul = QStringLiteral("10");
        r.cv = k % 16 == 3 ? QStringLiteral("C") : QStringLiteral("V");
        return r;
    }
    case 4: {
        Row r = row(com, QStringLiteral("3000000000"), name, QStringLiteral("4294967295"));
        r.byte = QStringLiteral("4");
        return r;
    }
    case 5: {
        Row r = row(com, QStringLiteral("-5"), name, QStringLiteral("2147483647"));
        r.byte = QStringLiteral("4");
        r.low = QStringLiteral("-2147483648");
        r.sign = QStringLiteral("1");
        return r;
    }
    case 6: {
        Row r = row(com, QStringLiteral("3"), name, QStringLiteral("9"));
        r.tmul.clear();
        r.mul.clear();
        r.mem.clear();
        return r;
    }
    default: {
        Row r = frequency(com, QStringLiteral("0"), name);
        r.lidx = QStringLiteral("-1");
        r.low = QStringLiteral("0003");
        r.sign = QStringLiteral("1");
        if (k % 56 == 7)
            r = ram(r, true);
        return r;
    }
    }
}

QString line(const Row& r, bool japanese) {
    QString name = japanese ? QStringLiteral("パラメータ ") + r.name : r.name;
    if (name.contains(u',') || name.contains(u'"'))
        name = u'"' + name + u'"';
    const QString title = r.com.startsWith(u'0') ? u'P' + r.com.mid(1) : QString();
    QStringList f{r.com,  r.didx, r.dflt, name,  title,  r.unit, r.byte, r.sign,
                  r.hidx, r.high, r.lidx, r.low, r.tmul, r.mul,  r.mem,  r.flag};
    if (r.quick != QLatin1String("0"))
        f << r.quick;
    return f.join(u',');
}

} // namespace

bool write(const QString& programFolder, const Options& o, Result* result, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!o.capacityName.startsWith(u'-') || o.typeName.contains(u'-'))
        return fail(QStringLiteral("capacity names begin with \"-\" and type names hold none"));
    if (!o.cpuVersion.startsWith(u'V') || o.cpuVersion.size() < 2)
        return fail(QStringLiteral("CPU versions are written \"V\" and a number"));

    QList<Row> ordinary, maintenance;
    fixedRows(o, ordinary, maintenance);
    const int fixedCount = int(ordinary.size() + maintenance.size());
    if (o.parameterCount < fixedCount || o.parameterCount > 2000)
        return fail(QStringLiteral("a drive type holds %1 to 2000 parameters").arg(fixedCount));

    QSet<QString> used;
    for (const Row& r : ordinary)
        used.insert(r.com);
    // Nine in ten fillers are ordinary, the rest maintenance parameters.
    const int fillers = o.parameterCount - fixedCount;
    const int maintenanceFillers = fillers / 10;
    int k = 0;
    for (int n = 1; k < fillers - maintenanceFillers; ++n) {
        const QString com = QStringLiteral("0%1").arg(n, 3, 16, QLatin1Char('0')).toUpper();
        if (used.contains(com))
            continue;
        ordinary << filler(com, k++);
    }
    for (int n = 1; n <= maintenanceFillers; ++n) {
        Row r = filler(QStringLiteral("C%1").arg(n, 3, 16, QLatin1Char('0')).toUpper(), k++);
        r.quick = QStringLiteral("0");
        maintenance << r;
    }
    auto byCom = [](const Row& a, const Row& b) { return a.com < b.com; };
    std::sort(ordinary.begin(), ordinary.end(), byCom);
    std::sort(maintenance.begin(), maintenance.end(), byCom);
    const QList<Row> rows = ordinary + maintenance;

    const QString dat = programFolder + QStringLiteral("/dat");
    const QString folder = dat + u'/' + o.typeName + u'(' + o.cpuVersion + u')';
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create %1").arg(folder));

    QStringList eng, jap, cap, cvList;
    int quick = 0;
    for (const Row& r : rows) {
        eng << line(r, false);
        jap << line(r, true);
        if (!r.capValue.isEmpty())
            cap << r.com + u',' + r.capValue;
        if (!r.cv.isEmpty())
            cvList << r.com + u'=' + r.cv;
        if (r.quick != QLatin1String("0"))
            ++quick;
    }

    const QString t = o.typeName;
    QStringList info{QStringLiteral("[Info]"),
                     QStringLiteral("Type=") + t,
                     QStringLiteral("Cpu=") + o.cpuVersion,
                     QString(),
                     QStringLiteral("[Setup]"),
                     QStringLiteral("Disp=0*"),
                     QStringLiteral("MLD_flt=1"),
                     QStringLiteral("MLD_ID=") + t,
                     QStringLiteral("Quick=%1").arg(quick),
                     QStringLiteral("SpChk=1"),
                     QStringLiteral("Option1=0"),
                     QStringLiteral("Option2=0"),
                     QStringLiteral("Unit=0"),
                     QString(),
                     QStringLiteral("[Disp CV]")};
    info << cvList;
    info << QString() << QStringLiteral("[Def Comms]") << QStringLiteral("Protocol=0")
         << QStringLiteral("Baudrate=4") << QStringLiteral("Parity=1") << QStringLiteral("InvNo=1")
         << QStringLiteral("Para_Protocol=0500") << QStringLiteral("Para_Baudrate=0501")
         << QStringLiteral("Para_Parity=0502") << QStringLiteral("Para_InvNo=0503");
    const QStringList monitor{QStringLiteral("FD00"), QStringLiteral("FD03"), QStringLiteral("FD07-00"),
                              QStringLiteral("FD07-01")};
    const QStringList monNames{QStringLiteral("Output frequency"), QStringLiteral("Output current"),
                               QStringLiteral("Terminal X1"), QStringLiteral("Terminal X2")};
    const QStringList units{QStringLiteral("01(Hz)=(-)"), QStringLiteral("02(%)=(A)"),
                            QStringLiteral("03(-)=(-)"), QStringLiteral("04(-)=(-)")};
    for (const QString& suffix : {QStringLiteral("Eng"), QStringLiteral("Jap")}) {
        info << QString() << QStringLiteral("[%1 Monitor (%2)]").arg(t, suffix);
        for (int i = 0; i < monitor.size(); ++i)
            info << monitor[i] + u'=' + monNames[i];
    }
    info << QString() << QStringLiteral("[%1 Monitor Unit]").arg(t) << units;
    for (const QString& suffix : {QStringLiteral("Eng"), QStringLiteral("Jap")}) {
        info << QString() << QStringLiteral("[%1 Alarm (%2)]").arg(t, suffix);
        for (int b = 0; b < 16; ++b)
            info << QStringLiteral("B%1=Alarm bit %2").arg(b, 2, 10, QLatin1Char('0')).arg(b);
        info << QString() << QStringLiteral("[%1 Trip (%2)]").arg(t, suffix) << QStringLiteral("0=No trip")
             << QStringLiteral("1=Overcurrent") << QStringLiteral("5=Overvoltage")
             << QStringLiteral("7=Undervoltage");
    }

    Result res;
    res.typeFolder = folder;
    res.infoIniPath = folder + QStringLiteral("/Info.ini");
    res.englishTypeFile = folder + u'/' + t + QStringLiteral("(Eng).inv");
    res.japaneseTypeFile = folder + u'/' + t + QStringLiteral("(Jap).inv");
    res.capacityFile = folder + u'/' + t + o.capacityName + QStringLiteral(".cap");
    for (const Row& r : rows)
        res.comNos << r.com;
    res.lastOrdinaryIndex = int(ordinary.size()) - 1;

    // Drive data are our own files: UTF-8, whatever the code page of files for others.
    QString why;
    auto write = [&why](const QString& path, const QStringList& lines) {
        return TextFile::writeBytes(
            path, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8(), &why);
    };
    if (!write(res.englishTypeFile, eng) || !write(res.japaneseTypeFile, jap) ||
        !write(res.capacityFile, cap) || !write(res.infoIniPath, info))
        return fail(why);

    // The catalogue may already list other types: add ours to it.
    IniFile catalogue(dat + QStringLiteral("/Inverter.ini"));
    const QString code = QString::number(o.typeCode);
    catalogue.writeString(QStringLiteral("Type"), t, code);
    catalogue.writeString(QStringLiteral("Type_Ident_") + code, QStringLiteral("Ident"),
                          QStringLiteral("0099"));
    catalogue.writeString(QStringLiteral("Type_Ident_") + code, QStringLiteral("Typ_7"), t);
    catalogue.writeString(t, o.capacityName, QString::number(o.capacityCode));
    catalogue.writeString(t, QStringLiteral("CPU2"), QStringLiteral("D"));
    if (o.cpuVersion.mid(1).toInt() >= 700) {
        catalogue.writeString(QStringLiteral("Type_Custom"), t, code);
        catalogue.writeString(t + QStringLiteral("(") + o.cpuVersion + u')', o.capacityName,
                              QString::number(o.capacityCode));
    }
    catalogue.writeString(QStringLiteral("Freq Comm No"), t, QStringLiteral("FA01"));
    if (!catalogue.flush(&why))
        return fail(why);

    if (result)
        *result = res;
    return true;
}

} // namespace DriveTypeGenerator
