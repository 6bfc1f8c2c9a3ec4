#include "report/PageSetup.h"

#include "platform/IniFile.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QLocale>
#include <cmath>
#include <cstdlib>

namespace report {

namespace {

const QString kSection = QString::fromLatin1(kPageSection);

// MS Gothic's face name, as the Japanese system spells it.
const QString kJapaneseDefaultFace = QStringLiteral("\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF");
const QString kDefaultFace = QStringLiteral("Arial");

bool parseWhole(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
}

EntryCheck rangeCheck(double v, double low, double high) {
    if (v < low)
        return {EntryFault::OutOfRange, QString::number(low)};
    if (v > high)
        return {EntryFault::OutOfRange, QString::number(high)};
    return {};
}

EntryCheck wholeInRange(const QString& text, int low, int high) {
    int v = 0;
    if (text.isEmpty() || !parseWhole(text, v))
        return {EntryFault::DataIncorrect, {}};
    return rangeCheck(v, low, high);
}

double marginOf(const QString& text) {
    double v = 0;
    return parseDecimal(text, v) && v > 0 ? v : 0.0;
}

} // namespace

const QStringList& paperNames() {
    static const QStringList names{"A3", "A4", "A5", "B4", "B5"};
    return names;
}

const QStringList& fontSizeNames() {
    static const QStringList names{"5", "6", "7", "8", "9", "10", "11", "12", "14", "16", "18", "20", "22"};
    return names;
}

Paper paperAt(int position) {
    static const Paper papers[] = {Paper::A3, Paper::A4, Paper::A5, Paper::B4, Paper::B5};
    return position >= 0 && position < 5 ? papers[position] : Paper::A4;
}

QString paperCode(int position) {
    static const char* codes[] = {"8", "9", "11", "12", "13"};
    return QString::fromLatin1(position >= 0 && position < 5 ? codes[position] : "9");
}

void PageSetup::read(const IniFile& ini, const QStringList& families, const QString& languageName) {
    printDate = ini.readBool(kSection, "Item1", printDate);
    printTime = ini.readBool(kSection, "Item2", printTime);
    printTypeForm = ini.readBool(kSection, "Item3", printTypeForm);
    printPageNumber = ini.readBool(kSection, "Item4", printPageNumber);
    printComment = ini.readBool(kSection, "Item5", printComment);
    printShipment = ini.readBool(kSection, "Item6", printShipment);
    portrait = ini.readBool(kSection, "PSet1", portrait);
    valueColor = ini.readInteger(kSection, "ValCol", valueColor);
    const int fontPosition = ini.readInteger(kSection, "PSet2", kNoFontChosen);
    face =
        fontPosition > kNoFontChosen - 1 ? defaultFace(languageName, families) : families.value(fontPosition);
    paperPosition = ini.readInteger(kSection, "PSet3", paperPosition);
    topMargin = ini.readString(kSection, "PSetT", topMargin);
    bottomMargin = ini.readString(kSection, "PSetB", bottomMargin);
    leftMargin = ini.readString(kSection, "PSetL", leftMargin);
    rightMargin = ini.readString(kSection, "PSetR", rightMargin);
    cellHeight = ini.readString(kSection, "PSet4", cellHeight);
    fontSize = fontSizeNames().value(ini.readInteger(kSection, "PSet5", 3));
}

void PageSetup::write(IniFile& ini, const QStringList& families) const {
    ini.writeBool(kSection, "Item1", printDate);
    ini.writeBool(kSection, "Item2", printTime);
    ini.writeBool(kSection, "Item3", printTypeForm);
    ini.writeBool(kSection, "Item4", printPageNumber);
    ini.writeBool(kSection, "Item5", printComment);
    ini.writeBool(kSection, "Item6", printShipment);
    ini.writeInteger(kSection, "ValCol", valueColor);
    ini.writeBool(kSection, "PSet1", portrait);
    ini.writeInteger(kSection, "PSet2", face.isEmpty() ? -1 : int(families.indexOf(face)));
    ini.writeInteger(kSection, "PSet3", paperPosition);
    ini.writeString(kSection, "PSetT", topMargin);
    ini.writeString(kSection, "PSetB", bottomMargin);
    ini.writeString(kSection, "PSetL", leftMargin);
    ini.writeString(kSection, "PSetR", rightMargin);
    ini.writeString(kSection, "PSet4", cellHeight);
    ini.writeInteger(kSection, "PSet5", fontSizePositionFor(fontSize));
}

PageFormat PageSetup::pageFormat() const {
    PageFormat f;
    f.paper = paperAt(paperPosition);
    f.portrait = portrait;
    f.marginsMm =
        QMarginsF(marginOf(leftMargin), marginOf(topMargin), marginOf(rightMargin), marginOf(bottomMargin));
    return f;
}

int PageSetup::cellHeightValue() const {
    int v = 0;
    return parseWhole(cellHeight, v) ? v : 15;
}

int PageSetup::fontPoints() const {
    int v = 0;
    return parseWhole(fontSize, v) && v > 0 ? v : 8;
}

QColor colorFromColorRef(int value) {
    if (value < 0)
        return Qt::black;
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int colorRefFromColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QString defaultFace(const QString& languageName, const QStringList& families) {
    const QString wanted = languageName == QLatin1String("Japanese") ? kJapaneseDefaultFace : kDefaultFace;
    for (const QString& face :
         {wanted, installedFamily(wanted), QFontInfo(QGuiApplication::font()).family()}) {
        if (families.contains(face))
            return face;
    }
    return QString();
}

QString printedFace(const QString& setupFace) {
    return installedFamily(setupFace.isEmpty() ? QGuiApplication::font().family() : setupFace);
}

int fontSizePositionFor(const QString& text) {
    int v = 0;
    if (!parseWhole(text, v))
        return -1;
    const QStringList& sizes = fontSizeNames();
    int best = -1;
    int bestDistance = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        const int distance = std::abs(sizes[i].toInt() - v);
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

bool parseDecimal(const QString& text, double& value) {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

EntryCheck checkMargin(const QString& text) {
    double v = 0;
    if (text.isEmpty() || !parseDecimal(text, v))
        return {EntryFault::DataIncorrect, {}};
    return rangeCheck(v, 0, 30);
}

EntryCheck checkCellHeight(const QString& text) {
    return wholeInRange(text, 10, 30);
}

EntryCheck checkFontSize(const QString& text) {
    return wholeInRange(text, 5, 22);
}

EntryCheck checkPaper(const QString& text) {
    if (text.isEmpty())
        return {EntryFault::DataIncorrect, {}};
    return paperNames().contains(text) ? EntryCheck{} : EntryCheck{EntryFault::SelectPaperSize, {}};
}

EntryCheck checkFace(const QString& text, const QStringList& families) {
    if (text.isEmpty())
        return {EntryFault::DataIncorrect, {}};
    return families.contains(text) ? EntryCheck{} : EntryCheck{EntryFault::SelectFont, {}};
}

int zoomOf(const QString& text, int lastZoom) {
    int v = 0;
    return parseWhole(text, v) ? v : lastZoom;
}

EntryCheck checkZoom(const QString& text, int lastZoom) {
    return rangeCheck(zoomOf(text, lastZoom), 2, 999);
}

} // namespace report
