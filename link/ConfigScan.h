#pragma once
// The scan copy of the link: opens a port with given line settings (8 data bits, 1 stop bit,
// no messages, no link icon) and exchanges by communication number, always 16-bit, without
// block reads. The configuration scan tries every port, baud rate, parity and protocol with
// it; the special-setup check and the drive-type identification read through it too.
#include <QString>
#include <cstdint>
#include <functional>

class CommLink;
struct ExchangeOptions;
struct ExchangeResult;
struct FrameRequest;

// What the scan found; 99 in baud rate, parity and protocol means "not found".
struct ScanResult {
    static constexpr int kNotFound = 99;
    int portIndex = 0;
    int baudIndex = kNotFound;
    int parityIndex = kNotFound;
    int protocol = kNotFound;
    bool found() const { return baudIndex != kNotFound && parityIndex != kNotFound && protocol != kNotFound; }
};

// One combination of the scan table.
struct ScanCombination {
    int baudIndex;
    int parityIndex;
    int protocol;
};

class ConfigScan {
public:
    // 9,600 / 19,200 / 38,400 baud, each in both protocols, for even, odd and no parity.
    static constexpr int kCombinationCount = 18;
    static ScanCombination combination(int i);
    // Total write time-out of the scan copy: the output drain's bound.
    static constexpr int kDrainTimeoutMs = 1000;

    explicit ConfigScan(CommLink& link) : link_(link) {}

    // OpenCommPortWith: 0 when portsFound()[portIndex] is open with the given list positions,
    // 1 on any failure (silent).
    int OpenCommPortWith(int portIndex, int baudIndex, int parityIndex);
    // ScanTransact: one exchange for a communication number in the given protocol with the
    // link's station choice, reply time-out and frame gap; its outcome is also noted on the link
    // (lastExchangeFailed; value 0 on failure; a kind it refuses fails Refused). A pending retry makes
    // a maker's request go out without its start byte.
    ExchangeResult ScanTransact(const QString& comNo, const QString& valueText, bool modbus,
                                const QString& kind);
    // The same read ("R") without waiting for the drive: CommLink::exchangeInBackground.
    void ScanReadInBackground(const QString& comNo, bool modbus,
                              std::function<void(const ExchangeResult&)> done);
    // ScanDriveConfig: the selected port first, then the others in list order; on each, the
    // 18 combinations with a read of "0000", repeated once after a failure (that reply is
    // not evaluated). The port stays open with the last settings tried.
    ScanResult ScanDriveConfig();

private:
    // ScanTransact's request and options; false for a kind it refuses.
    bool prepare(const QString& comNo, const QString& valueText, bool modbus, const QString& kind,
                 FrameRequest& request, ExchangeOptions& options);

    CommLink& link_;
    bool retry_ = false;    // the next maker's request of this copy goes out without "/"
    bool scanning_ = false; // ScanDriveConfig is searching the ports
};
