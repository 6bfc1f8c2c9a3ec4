#include "ui/AboutBox.h"

#include "core/DataFolderListing.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kProductNamePointSize = 20;

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QProgressBar* percentBar(const char* name, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    return bar;
}

// The product's mark: its name's first letters on the start-up picture's blue.
QPixmap productMark() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x3f, 0x72));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    QFont f = p.font();
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromLatin1(kProductName).left(2));
    return pm;
}

} // namespace

AboutBox::AboutBox(const ProgramContext& context, std::function<MemoryStatus()> readMemory, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context), readMemory_(std::move(readMemory)) {
    setObjectName(QStringLiteral("AboutBox"));

    panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setMinimumHeight(kPanelHeight);

    iconLabel = namedLabel("Image1", QString(), panel);
    iconLabel->setPixmap(productMark());
    productNameLabel = namedLabel("ProductName", QString::fromLatin1(kProductName), panel);
    productNameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    versionLabel = namedLabel("Label3", kVersionText, panel);
    companyLabel = namedLabel("CompanyName", kCompanyLine, panel);
    companyLabel->setAlignment(Qt::AlignCenter);
    toolLabel = namedLabel("Label4", kToolLine, panel);
    toolLabel->setAlignment(Qt::AlignCenter);
    modelsLabel = namedLabel("Label2", QStringLiteral("Match for"), panel);
    modelList = new QComboBox(panel);
    modelList->setObjectName(QStringLiteral("I_CpuVer"));
    modelList->setEditable(false);
    loadLabel = namedLabel("Label1", QStringLiteral("Memory Load"), panel);
    loadBar = percentBar("pgsLoad", panel);
    physicalLabel = namedLabel("Label7", QStringLiteral("Locked memory"), panel);
    physicalBar = percentBar("pgsPhysical", panel);
    physicalTotalLabel = namedLabel("lblPhysicalTotal", QString(), panel);
    physicalFreeLabel = namedLabel("lblPhysicalFree", QString(), panel);
    fitProductName();

    // Labels and the controls beside them share a column each: a longer text of another
    // language moves the controls instead of running under them.
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->addWidget(iconLabel, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->addWidget(productNameLabel);
    titles->addWidget(versionLabel, 0, Qt::AlignRight);
    grid->addLayout(titles, 0, 1);
    grid->addWidget(companyLabel, 1, 0, 1, 2);
    grid->addWidget(toolLabel, 2, 0, 1, 2);
    grid->addWidget(modelsLabel, 3, 0);
    grid->addWidget(modelList, 3, 1);
    grid->addWidget(loadLabel, 4, 0);
    grid->addWidget(loadBar, 4, 1);
    grid->addWidget(physicalLabel, 5, 0);
    grid->addWidget(physicalBar, 5, 1);
    auto* figures = new QHBoxLayout;
    figures->addWidget(physicalTotalLabel);
    figures->addStretch();
    figures->addWidget(physicalFreeLabel);
    grid->addLayout(figures, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);

    // The folder's whole listing is kept but, as ever, not part of the visible box.
    folderTree = new QTreeWidget(this);
    folderTree->setObjectName(QStringLiteral("TreeView1"));
    folderTree->setHeaderHidden(true);
    folderTree->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel);
    setFixedWidth(kWidth);

    fillFolderTree(configuredDataFolder(context_));
    modelList->setCurrentIndex(modelList->count() > 0 ? 0 : -1);
    updateMemoryFigures();

    refreshTimer = new QTimer(this);
    refreshTimer->setObjectName(QStringLiteral("Timer1"));
    refreshTimer->setInterval(kRefreshMs);
    connect(refreshTimer, &QTimer::timeout, this, &AboutBox::updateMemoryFigures);
    refreshTimer->start();

    applyLanguage();
}

int AboutBox::fittingPointSize(const QFont& font, const QString& text, int maxWidth, int minPointSize) {
    QFont f = font;
    int size = f.pointSize() > 0 ? f.pointSize() : minPointSize;
    // Without a floor the loop would never end for a text that is wide at every size.
    while (size > minPointSize) {
        f.setPointSize(size);
        if (QFontMetrics(f).horizontalAdvance(text) < maxWidth)
            break;
        --size;
    }
    return std::max(size, minPointSize);
}

void AboutBox::fitProductName() {
    QFont f = productNameLabel->font();
    f.setBold(true);
    f.setPointSize(kProductNamePointSize);
    f.setPointSize(fittingPointSize(f, productNameLabel->text(), kProductNameMaxWidth, kMinPointSize));
    productNameLabel->setFont(f);
}

void AboutBox::fillFolderTree(const QString& folder) {
    const DataFolderListing listing = listDataFolder(folder);
    for (const QString& entry : listing.entries)
        folderTree->addTopLevelItem(new QTreeWidgetItem(QStringList{entry}));
    modelList->addItems(listing.modelFolders);
}

void AboutBox::updateMemoryFigures() {
    const MemoryStatus s = readMemory_ ? readMemory_() : MemoryStatus();
    // The load and the share of physical memory in use are the same figure here.
    loadBar->setValue(s.usedPercent());
    physicalBar->setValue(s.usedPercent());
    physicalTotalLabel->setText(QString::number(s.totalKb()) + u' ' + totalText_);
    physicalFreeLabel->setText(QString::number(s.availableKb()) + u' ' + freeText_);
}

void AboutBox::applyLanguage() {
    const IniFile ini(Paths::resolvedOrAsGiven(context_.language.iniPath));
    const QString section = QStringLiteral("About");
    setWindowTitle(ini.readString(section, QStringLiteral("Form"), QStringLiteral("Version")));
    modelsLabel->setText(ini.readString(section, QStringLiteral("Label1"), QStringLiteral("Match for")));
    loadLabel->setText(ini.readString(section, QStringLiteral("Label2"), QStringLiteral("Memory Load")));
    physicalLabel->setText(
        ini.readString(section, QStringLiteral("Label3"), QStringLiteral("Locked memory")));
    toolLabel->setText(ini.readString(section, QStringLiteral("Label4"), kToolLine));
    totalText_ = ini.readString(section, QStringLiteral("lblPhysicalTotal"), QStringLiteral("KB Total"));
    freeText_ = ini.readString(section, QStringLiteral("lblPhysicalFree"), QStringLiteral("KB Free"));
    updateMemoryFigures();
}

void AboutBox::showEvent(QShowEvent* e) {
    applyLanguage();
    adjustSize();
    // The program's small dialogs sit in the same place of a 640 x 480 frame.
    move((640 - width()) / 2, 480 - (height() + 402) / 2);
    QDialog::showEvent(e);
}
