// Our MODBUS-RTU exchange as master against an independent RTU server (libmodbus) on the
// other end of two bridged pseudo-terminals: a reading of the frame format that our own
// simulated drive might share would not pass here.
#if __has_include(<modbus/modbus.h>)

#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "support/LoadedMachine.h"

#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "support/InstalledAsker.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kServerStation = 17;
// The server holds 0000..FCFF; "FE08" lies outside and draws an exception reply.
constexpr int kRegisterCount = 0xFD00;

// Two pseudo-terminals whose master sides are joined, so that a program on one slave talks
// to a program on the other as over a null-modem cable.
class PtyBridge {
public:
    PtyBridge() {
        for (int i = 0; i < 2; ++i) {
            master_[i] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (master_[i] < 0 || grantpt(master_[i]) != 0 || unlockpt(master_[i]) != 0)
                return;
            path_[i] = ptsname(master_[i]);
            keeper_[i] = ::open(path_[i].c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
        thread_ = std::thread([this] { relay(); });
    }
    ~PtyBridge() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (int fd : {master_[0], master_[1], keeper_[0], keeper_[1]})
            if (fd >= 0)
                ::close(fd);
    }
    bool ok() const { return keeper_[0] >= 0 && keeper_[1] >= 0; }
    const std::string& path(int i) const { return path_[i]; }

private:
    void relay() {
        while (!stop_) {
            pollfd p[2] = {{master_[0], POLLIN, 0}, {master_[1], POLLIN, 0}};
            if (::poll(p, 2, 10) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & POLLIN))
                    continue;
                std::uint8_t buf[256];
                const ssize_t n = ::read(master_[i], buf, sizeof buf);
                if (n > 0 && ::write(master_[1 - i], buf, std::size_t(n)) < 0)
                    return;
            }
        }
    }

    int master_[2] = {-1, -1};
    int keeper_[2] = {-1, -1};
    std::string path_[2];
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// A libmodbus RTU server answering as station 17.
class LibmodbusServer {
public:
    explicit LibmodbusServer(const std::string& device) {
        ctx_ = modbus_new_rtu(device.c_str(), 19200, 'N', 8, 1);
        map_ = modbus_mapping_new(0, 0, kRegisterCount, 0);
        if (!ctx_ || !map_ || modbus_set_slave(ctx_, kServerStation) != 0 || modbus_connect(ctx_) != 0)
            return;
        // Wakes the serving loop now and then so that it can stop.
        modbus_set_indication_timeout(ctx_, 0, 50000);
        connected_ = true;
        thread_ = std::thread([this] { serve(); });
    }
    ~LibmodbusServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
        if (map_)
            modbus_mapping_free(map_);
    }
    bool ok() const { return connected_; }
    std::uint16_t reg(int address) {
        std::lock_guard lock(mutex_);
        return map_->tab_registers[address];
    }
    void setReg(int address, std::uint16_t v) {
        std::lock_guard lock(mutex_);
        map_->tab_registers[address] = v;
    }
    int requests() const { return requests_; }

private:
    void serve() {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int n = modbus_receive(ctx_, query);
            if (n <= 0)
                continue; // time-out, or a frame for another station
            std::lock_guard lock(mutex_);
            ++requests_;
            modbus_reply(ctx_, query, n, map_);
        }
    }

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    bool connected_ = false;
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
};

class ModbusPeer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bridge.ok());
        server = std::make_unique<LibmodbusServer>(bridge.path(0));
        ASSERT_TRUE(server->ok());
        link.setPortPathResolver([this](const QString&) { return QString::fromStdString(bridge.path(1)); });
        link.setPortsFound({QStringLiteral("COM1")});
        link.updateSettings([&](LinkSettings& s) {
            s.protocol = 1;
            s.baudIndex = 4;
            s.parityIndex = 0;
            s.appendNo = true;
            s.inverterNumber = kServerStation;
        });
        link.setFrameGap(frameGapForBaudIndex(4));
        link.setReplyTimeout(kLoadedReplyMs);
        ASSERT_EQ(link.OpenCommPort(), 0);
    }
    ExchangeResult run(const char* comNo, char kind, std::int64_t value = 0) {
        return link.exchange(link.request(QString::fromLatin1(comNo), kind, value), link.mainOptions());
    }

    PtyBridge bridge;
    std::unique_ptr<LibmodbusServer> server;
    TermiosSerialPort port;
    ProgramContext context;
    CommLink link{context, port, systemClock(), installedAsker()};
};

TEST_F(ModbusPeer, ReadsSingleRegistersAndTheFiveRegisterBlock) {
    server->setReg(0x0000, 500);
    server->setReg(0x0103, 0xFFFE);
    for (int i = 0; i < 5; ++i)
        server->setReg(0xFC10 + i, std::uint16_t(0xBF70 + i));

    ExchangeResult r = run("0000", 'R');
    ASSERT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 500u);
    r = run("0103", 'R');
    EXPECT_EQ(r.value, 0xFFFEu);
    r = run("FC10", 'R');
    ASSERT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 0xBF70u);
    ASSERT_EQ(r.reply.size(), 15u);
    EXPECT_EQ(r.reply[2], 10); // byte count of five registers
    EXPECT_EQ(r.reply[11], 0xBF);
    EXPECT_EQ(r.reply[12], 0x74);
}

TEST_F(ModbusPeer, WritesOfBothKindsAreStoredAndEchoed) {
    ExchangeResult r = run("FB91", 'P', 123);
    ASSERT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 123u);
    EXPECT_EQ(server->reg(0xFB91), 123);
    r = run("0001", 'W', -7);
    ASSERT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 0xFFF9u);
    EXPECT_EQ(server->reg(0x0001), 0xFFF9);
}

TEST_F(ModbusPeer, ExceptionReplyFailsAndTheNextExchangeWorks) {
    link.setReplyTimeout(kLoadedReplyShortMs); // the quiet after the fault lasts as long
    ExchangeResult r = run("FE08", 'R');
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.value, 0u);
    ASSERT_EQ(r.reply.size(), 5u); // address, 0x83, code, CRC
    EXPECT_EQ(r.reply[1], 0x83);
    server->setReg(0x0000, 9);
    r = run("0000", 'R');
    EXPECT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 9u);
}

TEST_F(ModbusPeer, ABroadcastOrAnotherStationGetsNoReply) {
    link.setReplyTimeout(100);
    // A broadcast write is carried out but never answered.
    link.updateSettings([&](LinkSettings& s) {
        s.appendNo = false;
        s.broadcast = true;
    });
    EXPECT_EQ(run("0002", 'P', 42).failure, ExchangeFailure::ReplyTimeout);
    EXPECT_TRUE(waitUntil([&] { return server->reg(0x0002) == 42; }));

    // Last: after a frame for another station the server takes the next frame for that
    // station's reply, as on a shared line.
    link.updateSettings([&](LinkSettings& s) {
        s.broadcast = false;
        s.appendNo = true;
        s.inverterNumber = kServerStation + 1;
    });
    EXPECT_EQ(run("0000", 'R').failure, ExchangeFailure::ReplyTimeout);
}

} // namespace

#endif
