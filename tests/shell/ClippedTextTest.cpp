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

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextDocument>

namespace {

QString shown(QString text) {
    // An access key's "&" is not drawn; "&&" draws one.
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(u'&').replace(u'\x01', u'&');
}

int widest(const QFontMetrics& m, const QString& text) {
    int w = 0;
    for (const QString& line : text.split(u'\n'))
        w = std::max(w, m.horizontalAdvance(line));
    return w;
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
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->isTabVisible(i) && i != shown) {
                    tabs->setCurrentIndex(i);
                    walk(top);
                }
            }
            tabs->setCurrentIndex(shown);
        }
        found.removeDuplicates();
    }

private:
    void walk(QWidget* top) {
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(top) || w->width() <= 0)
                continue;
            const QString where = top->objectName() + u'/' + w->objectName();
            if (auto* l = qobject_cast<QLabel*>(w))
                label(where, l);
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                button(where, b);
            else if (auto* t = qobject_cast<QTabBar*>(w))
                tabs(where, t);
            else if (auto* c = qobject_cast<QComboBox*>(w))
                combo(where, c);
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                check(where, g->title(), widest(g->fontMetrics(), shown(g->title())) + 16, g->width());
            else if (auto* h = qobject_cast<QHeaderView*>(w))
                header(where, h);
            if (auto* v = qobject_cast<QTableView*>(w))
                cells(where, v);
        }
    }

    void check(const QString& where, const QString& text, int need, int room) {
        if (need > room)
            found << QStringLiteral("%1: \"%2\" (needs %3, has %4)").arg(where, text).arg(need).arg(room);
    }
    void label(const QString& where, QLabel* l) {
        if (l->text().isEmpty() || l->wordWrap() || !l->pixmap().isNull())
            return;
        QString text = l->text();
        if (Qt::mightBeRichText(text)) {
            QTextDocument doc;
            doc.setHtml(text);
            text = doc.toPlainText();
        }
        const int margins = 2 * l->margin() + std::max(l->indent(), 0);
        check(where, text, widest(l->fontMetrics(), shown(text)), l->contentsRect().width() - margins);
    }
    void button(const QString& where, QAbstractButton* b) {
        if (b->text().isEmpty())
            return;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        QStyle::SubElement room = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(b))
            room = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b))
            room = QStyle::SE_RadioButtonContents;
        else if (!qobject_cast<QPushButton*>(b))
            return;
        const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        check(where, b->text(), widest(b->fontMetrics(), shown(b->text())) + icon,
              b->style()->subElementRect(room, &opt, b).width());
    }
    void tabs(const QString& where, QTabBar* t) {
        const int pad = t->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, t);
        for (int i = 0; i < t->count(); ++i) {
            if (!t->isTabVisible(i))
                continue;
            const QRect r = t->tabRect(i);
            const int inside = std::min(r.right(), t->width() - 1) - std::max(r.left(), 0) + 1;
            check(where, t->tabText(i), widest(t->fontMetrics(), shown(t->tabText(i))) + pad, inside);
        }
    }
    void combo(const QString& where, QComboBox* c) {
        if (c->currentText().isEmpty())
            return;
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        const QRect field =
            c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        check(where, c->currentText(), c->fontMetrics().horizontalAdvance(c->currentText()), field.width());
    }
    void header(const QString& where, QHeaderView* h) {
        if (!h->model())
            return;
        const int margin = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        for (int s = 0; s < h->count(); ++s) {
            if (h->isSectionHidden(s) || h->sectionSize(s) == 0)
                continue;
            const QString text = h->model()->headerData(s, h->orientation()).toString();
            check(where + u'#' + QString::number(s), text, widest(h->fontMetrics(), text) + margin,
                  h->sectionSize(s));
        }
    }
    void cells(const QString& where, QTableView* v) {
        const QAbstractItemModel* m = v->model();
        if (!m)
            return;
        const QFontMetrics metrics(v->font());
        for (int c = 0; c < m->columnCount(); ++c) {
            if (v->isColumnHidden(c) || v->columnWidth(c) == 0)
                continue;
            QString longest;
            int need = 0;
            for (int r = 0; r < m->rowCount(); ++r) {
                const QString text = m->index(r, c).data().toString().trimmed();
                if (const int w = metrics.horizontalAdvance(text); w > need)
                    need = w, longest = text;
            }
            check(where + u'#' + QString::number(c), longest, need + TableColumnFit::kCellRoom,
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
    // The options at their fullest: the RUN/STOP keys shown and the master's tab too.
    program.options().MonInvDrive.setChecked(true);
    program.options().setMastersTabVisible(true);
    main.optionsWindow->show();
    KeypadWindow keypad(program.context(), program.options(), *program.link(), &main);
    keypad.show();
    AboutBox about(program.context(), readMemoryStatus, &main);
    about.show();
    program.pageSetup()->show();
    QCoreApplication::processEvents();

    ClipWalk walk;
    const QList<QWidget*> windows = {&main,   program.table(), program.monitor(),  main.optionsWindow,
                                     &keypad, &about,          program.pageSetup()};
    for (QWidget* w : windows)
        walk.window(w);
    EXPECT_TRUE(walk.found.isEmpty()) << walk.found.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, ClippedText, ::testing::Values("English", "Japanese"));

} // namespace
