// The simulated drive's MODBUS-RTU side read and written by an independent client
// (libmodbus) on its pseudo-terminal: what a simulator written from the same reading as the
// link would share, a peer written by others does not. (Our exchange against a libmodbus
// server is CommLinkModbusPeerTest.)
#include "support/DrivesimSupport.h"
#include "support/LoadedMachine.h"
#include "tools/drivesim/PtyDriveServer.h"

#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <modbus/modbus.h>
#include <unistd.h>

using namespace simtest;

namespace {

// ---- A libmodbus client as the master of our simulated drive ----

class LibmodbusClientAgainstDrivesim : public testing::Test {
protected:
    void SetUp() override {
        model.setParameter(QStringLiteral("0000"), 500);
        model.setParameter(QStringLiteral("0001"), -50, false, true);
        model.setParameter(QStringLiteral("0002"), 7);
        model.setParameter(QStringLiteral("0103"), 100000, true);
        model.setParameter(QStringLiteral("FB91"), 0);
        SimConfig c;
        c.protocol = SimProtocol::Modbus;
        c.station = 1;
        sim = std::make_unique<DriveSimulator>(model, c);
        server = std::make_unique<PtyDriveServer>(*sim);
        ASSERT_TRUE(server->open());
        ASSERT_TRUE(server->start());
        ctx = modbus_new_rtu(QFile::encodeName(server->slavePath()).constData(), 38400, 'E', 8, 1);
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(modbus_set_slave(ctx, 1), 0);
        ASSERT_EQ(modbus_connect(ctx), 0);
        modbus_set_response_timeout(ctx, kLoadedReplyMs / 1000, 0);
    }
    void TearDown() override {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
        server.reset();
    }
    // -1 and errno as libmodbus reports them.
    int readOne(int address, std::uint16_t& v) { return modbus_read_registers(ctx, address, 1, &v); }

    DriveModel model;
    std::unique_ptr<DriveSimulator> sim;
    std::unique_ptr<PtyDriveServer> server;
    modbus_t* ctx = nullptr;
};

TEST_F(LibmodbusClientAgainstDrivesim, ReadsSingleAndConsecutiveRegisters) {
    std::uint16_t v = 0;
    ASSERT_EQ(readOne(0x0000, v), 1) << modbus_strerror(errno);
    EXPECT_EQ(v, 500);
    ASSERT_EQ(readOne(0x0103, v), 1) << modbus_strerror(errno);
    EXPECT_EQ(v, 100000 & 0xFFFF);
    std::uint16_t three[3] = {};
    ASSERT_EQ(modbus_read_registers(ctx, 0x0000, 3, three), 3) << modbus_strerror(errno);
    EXPECT_EQ(three[0], 500);
    EXPECT_EQ(three[1], 0xFFCE);
    EXPECT_EQ(three[2], 7);
}

TEST_F(LibmodbusClientAgainstDrivesim, ReadsTheDisplayBlock) {
    std::uint16_t block[5] = {};
    ASSERT_EQ(modbus_read_registers(ctx, 0xFC10, 5, block), 5) << modbus_strerror(errno);
    const auto bytes = model.displayBlock();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(block[i], (bytes[2 * i] << 8) | bytes[2 * i + 1]) << i;
}

TEST_F(LibmodbusClientAgainstDrivesim, WritesAreStoredAndTheEchoSatisfiesTheClient) {
    ASSERT_EQ(modbus_write_register(ctx, 0xFB91, 123), 1) << modbus_strerror(errno);
    EXPECT_EQ(model.parameter(QStringLiteral("FB91"))->raw, 123u);
    std::uint16_t v = 0;
    ASSERT_EQ(readOne(0xFB91, v), 1);
    EXPECT_EQ(v, 123);
}

TEST_F(LibmodbusClientAgainstDrivesim, UnknownRegistersAndFunctionsGetTheirExceptions) {
    std::uint16_t v = 0;
    EXPECT_EQ(readOne(0x1234, v), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(ctx, 0x1234, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    std::uint16_t two[2] = {1, 2};
    EXPECT_EQ(modbus_write_registers(ctx, 0x0000, 2, two), -1); // function 16 is not the drive's
    EXPECT_EQ(errno, EMBXILFUN);
    ASSERT_EQ(readOne(0x0000, v), 1) << modbus_strerror(errno);
}

TEST_F(LibmodbusClientAgainstDrivesim, InjectedFaultsAreWhatTheClientSaysTheyAre) {
    std::uint16_t v = 0;
    sim->setFaults({{SimFaultKind::Exception, 1.0}});
    EXPECT_EQ(readOne(0x0000, v), -1);
    EXPECT_EQ(errno, EMBXSFAIL);

    sim->setFaults({{SimFaultKind::BadCheck, 1.0}});
    EXPECT_EQ(readOne(0x0000, v), -1);
    EXPECT_EQ(errno, EMBBADCRC);

    modbus_set_response_timeout(ctx, 0, 100000);
    sim->setFaults({{SimFaultKind::NoReply, 1.0}});
    EXPECT_EQ(readOne(0x0000, v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);

    sim->setFaults({});
    modbus_set_response_timeout(ctx, kLoadedReplyMs / 1000, 0);
    modbus_flush(ctx);
    ASSERT_EQ(readOne(0x0000, v), 1) << modbus_strerror(errno);
    EXPECT_EQ(v, 500);
}

TEST_F(LibmodbusClientAgainstDrivesim, OnlyItsOwnAddressIsAnsweredAndABroadcastIsCarriedOutSilently) {
    modbus_set_response_timeout(ctx, 0, 100000);
    modbus_set_slave(ctx, 2);
    std::uint16_t v = 0;
    EXPECT_EQ(readOne(0x0000, v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);

    modbus_set_slave(ctx, MODBUS_BROADCAST_ADDRESS);
    modbus_write_register(ctx, 0xFB91, 77); // whether the client waits for a reply is its own affair
    EXPECT_TRUE(waitUntil([&] { return model.parameter(QStringLiteral("FB91"))->raw == 77u; }));
    EXPECT_EQ(sim->replyCount(), 0);
}

} // namespace
