// Every window of the program at its first size, in each shipped language: no label, button,
// tab, header or table cell shows less than its whole text.
#include "shell/StartUpFixture.h"

#include "shell/OptionsWindow.h"
#include "ui/AboutBox.h"
#include "ui/KeypadWindow.h"
#include "ui/MonitorWindow.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterTableWindow.h"
#include "ui/TableColumnFit.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>

namespace {

int advance(const QWidget* w, QString text) {
    // An access key's "&" is not drawn.
    return w->fontMetrics().horizontalAdvance(text.remove(QRegularExpression(QStringLiteral("&(?!&)"))));
}

// "window/widget: text (needs n, has m)" for each text wider than its room.
class ClipWalk {
public:
    QStringList found;

    // Each page of the window's tab widgets in turn.
    void window(QWidget* top) {
        walk(top);
        for (QTabWidget* tabs : top->findChildren<QTabWidget*>()) {
            const int shown = tabs->currentIndex();
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->isTabVisible(i) && i != shown)
                    tabs->setCurrentIndex(i), walk(top);
            tabs->setCurrentIndex(shown);
        }
        found.removeDuplicates();
    }

private:
    void walk(QWidget* top) {
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(top))
                continue;
            const QString where = top->objectName() + u'/' + w->objectName();
            if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap() && l->pixmap().isNull())
                check(where, l->text(), advance(l, l->text()), l->contentsRect().width() - 2 * l->margin());
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                button(where, b);
            else if (auto* t = qobject_cast<QTabBar*>(w))
                tabs(where, t);
            else if (auto* h = qobject_cast<QHeaderView*>(w); h && h->model())
                headers(where, h);
            else if (auto* bar = qobject_cast<QToolBar*>(w))
                // A bar that reaches past its window's bottom edge loses its buttons' lower part.
                check(where, bar->windowTitle(), bar->mapTo(top, QPoint(0, bar->height())).y(),
                      top->height());
            if (auto* v = qobject_cast<QTableView*>(w))
                cells(where, v);
        }
    }
    void tabs(const QString& where, QTabBar* t) {
        for (int i = 0; i < t->count(); ++i)
            if (t->isTabVisible(i))
                check(where, t->tabText(i),
                      advance(t, t->tabText(i)) + t->style()->pixelMetric(QStyle::PM_TabBarTabHSpace),
                      std::min(t->tabRect(i).right(), t->width() - 1) - std::max(t->tabRect(i).left(), 0) +
                          1);
    }
    void headers(const QString& where, QHeaderView* h) {
        for (int s = 0; s < h->count(); ++s)
            if (!h->isSectionHidden(s) && h->sectionSize(s) > 0)
                check(where, h->model()->headerData(s, h->orientation()).toString(),
                      advance(h, h->model()->headerData(s, h->orientation()).toString()) +
                          2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin),
                      h->sectionSize(s));
    }
    void check(const QString& where, const QString& text, int need, int room) {
        if (!text.isEmpty() && need > room)
            found << QStringLiteral("%1: \"%2\" (needs %3, has %4)").arg(where, text).arg(need).arg(room);
    }
    void button(const QString& where, QAbstractButton* b) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        auto room = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(b))
            room = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b))
            room = QStyle::SE_RadioButtonContents;
        else if (!qobject_cast<QPushButton*>(b))
            return;
        const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        check(where, b->text(), advance(b, b->text()) + icon,
              b->style()->subElementRect(room, &opt, b).width());
    }
    void cells(const QString& where, QTableView* v) {
        for (int c = 0; c < v->model()->columnCount(); ++c) {
            if (v->isColumnHidden(c))
                continue;
            QString longest;
            for (int r = 0; r < v->model()->rowCount(); ++r) {
                const QString text = v->model()->index(r, c).data().toString().trimmed();
                if (advance(v, text) > advance(v, longest))
                    longest = text;
            }
            check(where + u'#' + QString::number(c), longest, advance(v, longest) + TableColumnFit::kCellRoom,
                  v->columnWidth(c));
        }
    }
};

class ClippedText : public StartUpTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        // The fonts the program is installed with: without them each text falls back to
        // another font, and the sizes below would not be the desktop's.
        if (!QFontDatabase::families(QFontDatabase::Japanese)
                 .join(u',')
                 .contains(QStringLiteral("Noto Sans CJK")))
            GTEST_SKIP() << "the CJK fonts are missing (scripts/deps.sh)";
        folder.writeFile(QStringLiteral("KVR260X.ini"),
                         "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Ports]\r\nCOM1=" +
                             folder.filePath(QStringLiteral("no-port")).toUtf8() + "\r\n");
        kvr = folder.writeFile(QStringLiteral("p.kvr"), "###\r\nHXA1\r\n-2004\r\nV110\r\n" +
                                                            QByteArray(GetParam()) +
                                                            "\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n");
    }
    QString kvr;
};

TEST_P(ClippedText, EveryWindowShowsItsTextsWhole) {
    ::StartUp::Program program(::StartUp::Environment{QDir::tempPath(), folder.path(), kvr});
    program.options().setAssociationHandler([](bool) {});
    ASSERT_TRUE(program.create());
    program.showMain();
    MainWindow& main = *program.main();
    main.monitorChart();
    // The options at their fullest: the RUN/STOP keys shown and the master's tab too, which
    // maintenance mode adds to a window already shown once.
    main.optionsWindow()->show();
    QCoreApplication::processEvents();
    main.optionsWindow()->hide();
    program.options().monitorRunStopControl.setChecked(true);
    program.options().setMastersTabVisible(true);
    main.optionsWindow()->show();
    KeypadWindow keypad(program.context(), program.options(), *program.link(), &main);
    keypad.show();
    AboutBox about(program.context(), readMemoryStatus, &main);
    about.show();
    program.pageSetup()->show();
    QCoreApplication::processEvents();

    ClipWalk walk;
    for (QWidget* w : QList<QWidget*>{&main, program.table(), program.monitor(), main.optionsWindow(),
                                      &keypad, &about, program.pageSetup()})
        walk.window(w);
    EXPECT_TRUE(walk.found.isEmpty()) << walk.found.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, ClippedText, ::testing::Values("English", "Japanese"));

} // namespace
