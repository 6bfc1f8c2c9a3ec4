#pragma once
// A program as the start-up makes it, on a fake serial port that the simulated drive in this
// process answers (each reply after its delay, rounded up to whole milliseconds). For shell
// tests: a fixture derives from it beside its start-up base.
#include "shell/MainWindow.h"
#include "shell/StartUp.h"
#include "support/FakeSerialPort.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

class SimulatedDriveProgram {
protected:
    SimulatedDriveProgram() {
        port.responder = [this](const FakeSerialPort::Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out;
            for (SimReply& r : sim.respondToWrite(request))
                out.push_back({std::move(r.bytes), qint64((r.delay.count() + 999) / 1000)});
            return out;
        };
    }

    // The simulated drive becomes an HXA1 (V110) -2004 from the program folder's data.
    ::testing::AssertionResult loadDrive(const QString& programFolder) {
        QString error;
        if (model.load(programFolder,
                       {QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004")}, &error))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << error.toStdString();
    }

    // Makes the program on the fake port and creates its windows; false when the start-up
    // was aborted. startupForm, if given, stands in for the start-up form.
    bool startProgram(const ::StartUp::Environment& env, std::function<void(MainWindow&)> startupForm = {}) {
        program = std::make_unique<::StartUp::Program>(env, &port, &clock);
        program->options().setAssociationHandler([](bool) {});
        if (startupForm)
            program->startupForm = std::move(startupForm);
        return program->create();
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    DriveModel model;
    DriveSimulator sim{model, SimConfig{}};
    std::unique_ptr<::StartUp::Program> program;
};
