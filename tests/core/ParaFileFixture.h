#pragma once
// A data store filled by the test (no drive-type files): the parameters a test names, or a
// synthetic drive type of up to 2,000 parameters, with the drive identity QX100 -4037 V110
// selected and every message n reading "Mn".
#include "core/Options.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "support/ScriptedPrompter.h"
#include "support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct TestParam {
    QString comNo;
    QString def;
    QString dIndex = QStringLiteral("0");
    // Fixed limits when given; without them the value rules cannot read any.
    QString low = QString();
    QString high = QString();
};

class ParaFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        context.drive.identity.typeName = "QX100";
        context.drive.identity.formName = "-4037";
        context.drive.identity.cpuVersion = "V110";
        context.language.name = "English";
        context.drive.identity.typeCode = "65";
        context.drive.identity.formCode = "6";
        context.drive.identity.cpuNumber = "105";
        context.recent.openFolder = dir.path();
        program.setMessages("M", 120);
    }

    // Loads the parameters and gives every one its default.
    void setParams(const std::vector<TestParam>& params) {
        QStringList numbers;
        for (const TestParam& p : params)
            numbers << p.comNo;
        program.setParameters(numbers);
        for (int i = 0; i < static_cast<int>(params.size()); ++i) {
            program.setPara(i, PD_DIndex, params[i].dIndex);
            program.setPara(i, PD_Default, params[i].def);
            if (!params[i].low.isNull()) {
                program.setPara(i, PD_LIndex, "0");
                program.setPara(i, PD_Low, params[i].low);
                program.setPara(i, PD_HIndex, "0");
                program.setPara(i, PD_High, params[i].high);
            }
        }
        ParaFile::resetValuesToDefaults(context);
    }
    // A drive type of `count` parameters: "0000".."0999", then "A000".., then "C000".., each
    // with the default "<index mod 7>".
    void setSyntheticParams(int count) {
        std::vector<TestParam> p;
        for (int i = 0; i < count; ++i) {
            QString number = i < 1000   ? QString::number(i).rightJustified(4, '0')
                             : i < 1500 ? "A" + QString::number(i - 1000).rightJustified(3, '0')
                                        : "C" + QString::number(i - 1500).rightJustified(3, '0');
            p.push_back({number, QString::number(i % 7)});
        }
        setParams(p);
        normalMarkers();
    }
    // The drive's special-setup markers at their normal values, so files of the set open.
    void normalMarkers() {
        if (context.drive.indexOfComNo("0998") >= 0)
            setValue("0998", "1");
        if (context.drive.indexOfComNo("0999") >= 0)
            setValue("0999", "2");
    }

    QString value(const QString& comNo) const { return cell(comNo, UP_Value); }
    QString cell(const QString& comNo, int col) const {
        return StoreCells::work(context, col, context.drive.indexOfComNo(comNo));
    }
    void setValue(const QString& comNo, const QString& v) {
        StoreCells::setWork(context, UP_Value, context.drive.indexOfComNo(comNo), v);
    }
    // Every Value, in parameter order.
    QStringList values() const {
        QStringList out;
        for (int i = 0; i <= context.drive.lastIndex(); ++i)
            out << StoreCells::work(context, UP_Value, i);
        return out;
    }

    // The reader asking through the scripted prompter.
    ParaFile::ReadOutcome read(ProgramContext& c, const QStringList& lines,
                               const ParaFile::ReadOptions& o = {}) {
        return ParaFile::read(c, lines, prompter, o);
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Every box goes to it; a box a test did not expect fails that test instead of waiting.
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    ParameterStore* const store = &program.store;
};
