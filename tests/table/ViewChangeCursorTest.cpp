// A value typed after a view change goes to the parameter the cursor was on, or to none when
// the new view no longer shows it: never to the parameter that moved into its row.
#include "core/StoreCells.h"
#include "support/TableFixture.h"

#include <functional>

namespace {

using C = TableCommand;

class ViewChangeCursor : public TableFixture {
public:
    // The steps the cases below call.
    using TableFixture::context;
    using TableFixture::refreshAll;
    using TableFixture::setWork;

    // A view or mark command, as its pop-up item and the main window's twin run it.
    void command(C c) {
        switch (c) {
        case C::Slct:
            views.toggleSelected();
            break;
        case C::Blind:
            views.hideSelected();
            break;
        case C::Disp:
            views.showAllParameters();
            break;
        case C::ChgDisp:
            views.toggleChangedOnly();
            break;
        case C::Quick:
            views.toggleQuickView();
            break;
        case C::CVDisp:
            views.toggleCurrentVoltage();
            break;
        default:
            FAIL() << "no such view command here";
        }
    }
    // Select (Ctrl+S) on the rows of these parameters, highlighted one by one.
    void selectMarks(std::initializer_list<const char*> comNos) {
        for (const char* n : comNos) {
            go(n);
            command(C::Slct);
        }
    }
    void changeValues(std::initializer_list<const char*> comNos) {
        for (const char* n : comNos)
            setWork(n, UP_Value, QString::number(work(n, UP_Value).toInt() + 3));
        core.FillRows();
    }
    void quickOnly(std::initializer_list<const char*> comNos) {
        for (int i = 0; i <= context.tableView.lastIndex; ++i)
            setDefinitionText(context.drive.parameters[std::size_t(i)], PD_Quick, "0");
        for (const char* n : comNos)
            setPara(n, PD_Quick, "1");
        context.drive.quickCount = int(comNos.size());
    }

protected:
    // The numbers of the parameters whose stored value differs from the snapshot.
    QStringList changedSince(const QStringList& before) const {
        QStringList out;
        for (int i = 0; i <= context.tableView.lastIndex; ++i)
            if (StoreCells::work(context, UP_Value, i) != before[i])
                out << definitionText(context.drive.parameters[std::size_t(i)], PD_ComNo);
        return out;
    }
    QStringList values() const {
        QStringList v;
        for (int i = 0; i <= context.tableView.lastIndex; ++i)
            v << StoreCells::work(context, UP_Value, i);
        return v;
    }
};

struct ViewCase {
    const char* name;
    std::function<void(ViewChangeCursor&)> before; // the view the change starts from
    const char* cursorOn;                          // the parameter clicked before the change
    std::function<void(ViewChangeCursor&)> change; // the view change
    const char* expected;                          // the parameter that takes "2", or "" for none
};

void run(ViewChangeCursor& f, C c) {
    f.command(c);
}

TEST_F(ViewChangeCursor, ATypedValueGoesToTheParameterTheCursorWasOnOrToNone) {
    const std::vector<ViewCase> cases = {
        {"Blind hides two rows above",
         [](auto& f) {
             f.selectMarks({"0003", "0004"});
         },
         "0008", [](auto& f) { run(f, C::Blind); }, "0008"},
        {"Blind hides the cursor's own row",
         [](auto& f) {
             f.selectMarks({"0003", "0008"});
         },
         "0008", [](auto& f) { run(f, C::Blind); }, ""},
        {"All Parameters after Blind",
         [](auto& f) {
             f.selectMarks({"0003", "0004"});
             run(f, C::Blind);
         },
         "0008", [](auto& f) { run(f, C::Disp); }, "0008"},
        {"'Changed' Only keeps a changed parameter",
         [](auto& f) {
             f.changeValues({"0009", "0013"});
         },
         "0013", [](auto& f) { run(f, C::ChgDisp); }, "0013"},
        {"'Changed' Only drops an unchanged one",
         [](auto& f) {
             f.changeValues({"0009", "0013"});
         },
         "0011", [](auto& f) { run(f, C::ChgDisp); }, ""},
        {"'Changed' Only off",
         [](auto& f) {
             f.changeValues({"0009", "0013"});
             run(f, C::ChgDisp);
         },
         "0013", [](auto& f) { run(f, C::ChgDisp); }, "0013"},
        {"Quick keeps a quick parameter",
         [](auto& f) {
             f.quickOnly({"0001", "0009", "0010"});
         },
         "0010", [](auto& f) { run(f, C::Quick); }, "0010"},
        {"Quick drops the others",
         [](auto& f) {
             f.quickOnly({"0001", "0009", "0010"});
         },
         "0003", [](auto& f) { run(f, C::Quick); }, ""},
        {"Quick off",
         [](auto& f) {
             f.quickOnly({"0001", "0009", "0010"});
             run(f, C::Quick);
         },
         "0009", [](auto& f) { run(f, C::Quick); }, "0009"},
        {"Current/Voltage on", [](auto&) {}, "0022", [](auto& f) { run(f, C::CVDisp); }, "0022"},
        {"Current/Voltage off", [](auto& f) { run(f, C::CVDisp); }, "0022",
         [](auto& f) { run(f, C::CVDisp); }, "0022"},
        {"a refresh of the whole table", [](auto&) {}, "0024", [](auto& f) { f.refreshAll(); }, "0024"},
        {"a refresh in the Blind view a file brought",
         [](auto& f) {
             f.setWork("0002", UP_BlindIndex, "1");
             f.context.tableView.blindOn = true;
             f.context.tableView.blindCount = 1;
             f.refreshAll();
         },
         "0005", [](auto& f) { f.refreshAll(); }, "0005"},
    };
    for (const ViewCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        prompter.clear();
        c.before(*this);
        ASSERT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
        go(c.cursorOn);
        c.change(*this);
        ASSERT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
        const QStringList before = values();
        type("2");
        enter();
        EXPECT_EQ(changedSince(before).join(',').toStdString(), c.expected);
        EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    }
}

TEST_F(ViewChangeCursor, TheHighlightedBlockFollowsItsParametersOrShrinksToTheCursor) {
    using R = ParameterTable::GridRect;
    changeValues({"0009", "0013"});
    // 'Changed' Only: the block of 0009..0013 is cut to the two shown, which lie together.
    core.setCurrentCell(TC_Value, rowOf("0009"));
    core.setSelection(R{TC_Value, rowOf("0009"), TC_High, rowOf("0013")});
    entry.cancelForMove();
    run(*this, C::ChgDisp);
    EXPECT_EQ(core.Selection(), (R{TC_Value, 1, TC_High, 2}));
    // Back to all parameters: 0009 and 0013 lie apart, so only the cursor's cell stays; a
    // block over 0009..0013 would take in three parameters that were never highlighted.
    run(*this, C::ChgDisp);
    EXPECT_EQ(core.Selection(), (R{TC_Value, rowOf("0009"), TC_Value, rowOf("0009")}));
    EXPECT_EQ(cursor(), rowOf("0009"));
}

} // namespace
