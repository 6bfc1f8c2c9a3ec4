#include "tools/drivesim/DrivesimOptions.h"

QString drivesimUsage() {
    return QStringLiteral(
        "usage: drivesim --protocol inverter|modbus --data <program folder> --type <type name>\n"
        "                --cpu <V...> --capacity <capacity name> [--language Eng] --station <n>\n"
        "                --link <path> [--reply-delay-ms <n>] [--wire-baud <baud>]\n"
        "                [--fault <kind>:<rate>[:<ms>]]... [--write-log <file>] [--line-log <file>]\n"
        "                [--busy-poll] [--seed <n>]\n"
        "                [--trip-after-ms <ms>[:<code>]]... [--alarm-after-ms <ms>[:<bits>]]...\n"
        "                [--ramp-ms <ms>] [--command <hundredths of Hz>]\n"
        "Serves a simulated drive on a pseudo-terminal and links <path> to it until SIGTERM.\n"
        "  --station     maker's protocol: the inverter number a station byte must carry (255\n"
        "                reaches every drive); MODBUS: the slave address besides 251 (0: 251 only)\n"
        "  --wire-baud   also delay each reply by the request's and reply's time on such a line\n"
        "  --fault       noreply, checksum, exception (MODBUS), late (by <ms>, default 600),\n"
        "                garbage; <rate> is the share of replies hit, 0 to 1; may be repeated\n"
        "  --write-log   append \"<number> <value> <time>\" to <file> for every write carried out\n"
        "  --line-log    append \"<us> <request no.> rx|tx|drop|none <hex bytes>\" to <file> for\n"
        "                every request taken and every reply sent, kept back or not given; <us> is\n"
        "                the monotonic clock (CLOCK_MONOTONIC) in microseconds\n"
        "  --busy-poll   never sleep: spin on the line as a drive's firmware does (takes a core)\n"
        "  --seed        where the faults' draw starts (default 1): the same seed, the same replies hit\n"
        "  --trip-after-ms   trip <ms> after the start with trip code <code> (default 1)\n"
        "  --alarm-after-ms  set alarm word bits <bits> (default 4) <ms> after the start\n"
        "  --ramp-ms     the output frequency (and the readings that follow it) changes by 60 Hz\n"
        "                in <ms> after a RUN, a STOP, a trip or a new command (default 0: at once)\n"
        "  --command     the frequency command FA01 at start, in 0.01 Hz (default: the drive\n"
        "                type's default)\n");
}

bool parseDrivesimArgs(const QStringList& args, DrivesimOptions& out, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    bool haveProtocol = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& opt = args[i];
        if (opt == QStringLiteral("--help") || opt == QStringLiteral("-h")) {
            out.help = true;
            return true;
        }
        if (opt == QStringLiteral("--busy-poll")) {
            out.busyPoll = true;
            continue;
        }
        if (i + 1 >= args.size())
            return fail(QStringLiteral("%1 needs a value").arg(opt));
        const QString value = args[++i]; // taken as it stands: capacity names begin with "-"
        auto number = [&](int lo, int hi, int& into) {
            bool ok = false;
            const int v = value.toInt(&ok);
            if (!ok || v < lo || v > hi)
                return fail(QStringLiteral("%1 takes a number from %2 to %3, not \"%4\"")
                                .arg(opt)
                                .arg(lo)
                                .arg(hi)
                                .arg(value));
            into = v;
            return true;
        };
        if (opt == QStringLiteral("--protocol")) {
            if (value == QStringLiteral("inverter"))
                out.sim.protocol = SimProtocol::Inverter;
            else if (value == QStringLiteral("modbus"))
                out.sim.protocol = SimProtocol::Modbus;
            else
                return fail(QStringLiteral("--protocol is inverter or modbus, not \"%1\"").arg(value));
            haveProtocol = true;
        } else if (opt == QStringLiteral("--data")) {
            out.dataFolder = value;
        } else if (opt == QStringLiteral("--type")) {
            out.drive.typeName = value;
        } else if (opt == QStringLiteral("--cpu")) {
            out.drive.cpuVersion = value;
        } else if (opt == QStringLiteral("--capacity")) {
            out.drive.capacityName = value;
        } else if (opt == QStringLiteral("--language")) {
            out.drive.language = value;
        } else if (opt == QStringLiteral("--station")) {
            if (!number(0, 255, out.sim.station))
                return false;
        } else if (opt == QStringLiteral("--link")) {
            out.linkPath = value;
        } else if (opt == QStringLiteral("--reply-delay-ms")) {
            if (!number(0, 60000, out.sim.replyDelayMs))
                return false;
        } else if (opt == QStringLiteral("--wire-baud")) {
            if (!number(50, 4000000, out.sim.wireBaud))
                return false;
        } else if (opt == QStringLiteral("--seed")) {
            int seed = 1;
            if (!number(0, 2147483647, seed))
                return false;
            out.sim.seed = std::uint32_t(seed);
        } else if (opt == QStringLiteral("--command")) {
            if (!number(0, 65535, out.command))
                return false;
        } else if (opt == QStringLiteral("--ramp-ms")) {
            if (!number(0, 3600000, out.rampMs))
                return false;
        } else if (opt == QStringLiteral("--fault")) {
            QString why;
            const auto f = parseSimFault(value, &why);
            if (!f)
                return fail(why);
            out.sim.faults.push_back(*f);
        } else if (opt == QStringLiteral("--write-log")) {
            out.writeLogPath = value;
        } else if (opt == QStringLiteral("--line-log")) {
            out.lineLogPath = value;
        } else if (opt == QStringLiteral("--trip-after-ms") || opt == QStringLiteral("--alarm-after-ms")) {
            QString why;
            const auto e =
                parseSimStatusEvent(opt == QStringLiteral("--trip-after-ms") ? SimStatusEvent::Kind::Trip
                                                                             : SimStatusEvent::Kind::Alarm,
                                    value, &why);
            if (!e)
                return fail(QStringLiteral("%1: %2").arg(opt, why));
            out.statusEvents.push_back(*e);
        } else {
            return fail(QStringLiteral("unknown option \"%1\"").arg(opt));
        }
    }
    if (!haveProtocol)
        return fail(QStringLiteral("--protocol is required"));
    if (out.dataFolder.isEmpty() || out.drive.typeName.isEmpty() || out.drive.cpuVersion.isEmpty() ||
        out.drive.capacityName.isEmpty())
        return fail(QStringLiteral("--data, --type, --cpu and --capacity are required"));
    if (out.linkPath.isEmpty())
        return fail(QStringLiteral("--link is required"));
    return true;
}
