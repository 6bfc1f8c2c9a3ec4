#include "ui/CommSetupDialog.h"

#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"
#include "platform/WaitCursor.h"
#include "ui/PrompterAsker.h"
#include "ui/UpDownEdit.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString kLangSection = QStringLiteral("RS232C");

// Blue marks a setting changed since the dialog was shown; the window text colour clears it.
void markBlue(QWidget* w, bool blue) {
    const QPalette normal = QApplication::palette(w);
    QPalette p = w->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, blue ? QColor(0, 0, 255) : normal.color(role));
    w->setPalette(p);
}

void setComboIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

} // namespace

CommSetupDialog::CommSetupDialog(CommLink& link, QWidget* parent)
    : QDialog(parent), context_(link.context()), settings_(link), scan_(link) {
    buildControls();
    if (context_.startupAborted)
        return;
    loadTexts();
    ListSerialPorts();
    LoadCommSettings();
}

void CommSetupDialog::buildControls() {
    setModal(true);
    auto* top = new QVBoxLayout(this);

    protocolGroup = new QGroupBox(this);
    protocolButtons = new QButtonGroup(this);
    auto* protocolLayout = new QVBoxLayout(protocolGroup);
    for (int i = 0; i < 2; ++i) {
        ProtocolItems[i] = new QRadioButton(protocolGroup);
        protocolButtons->addButton(ProtocolItems[i], i);
        protocolLayout->addWidget(ProtocolItems[i]);
    }
    top->addWidget(protocolGroup);

    stationGroup = new QGroupBox(this);
    auto* idLayout = new QGridLayout(stationGroup);
    AppendNo = new QCheckBox(stationGroup);
    broadcastCheck = new QCheckBox(stationGroup);
    IdNmb = new UpDownEdit(stationGroup);
    IdNmb->setRange(CommSettings::kIdLow, CommSettings::kIdHigh);
    IdNmb->setWrap(true);
    idLayout->addWidget(AppendNo, 0, 0);
    idLayout->addWidget(IdNmb, 0, 1);
    idLayout->addWidget(broadcastCheck, 1, 0);
    top->addWidget(stationGroup);

    portGroup = new QGroupBox(this);
    auto* portLayout = new QVBoxLayout(portGroup);
    portCombo = new QComboBox(portGroup);
    portLayout->addWidget(portCombo);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portGroup);
    top->addLayout(portRow);

    lineGroup = new QGroupBox(this);
    auto* lineLayout = new QGridLayout(lineGroup);
    baudRateLabel = new QLabel(lineGroup);
    CommSpeed = new QComboBox(lineGroup);
    CommSpeed->addItems(CommSettings::baudTexts());
    LabelBps = new QLabel(QStringLiteral("(bps)"), lineGroup);
    parityLabel = new QLabel(lineGroup);
    CommParity = new QComboBox(lineGroup);
    CommParity->addItems({QStringLiteral("Non"), QStringLiteral("Even"), QStringLiteral("Odd")});
    lineLayout->addWidget(baudRateLabel, 0, 0);
    lineLayout->addWidget(CommSpeed, 0, 1);
    lineLayout->addWidget(LabelBps, 0, 2);
    lineLayout->addWidget(parityLabel, 1, 0);
    lineLayout->addWidget(CommParity, 1, 1);
    top->addWidget(lineGroup);

    timeoutGroup = new QGroupBox(this);
    auto* delayLayout = new QHBoxLayout(timeoutGroup);
    timeoutEdit = new UpDownEdit(timeoutGroup);
    timeoutEdit->setRange(CommSettings::kDelayLow, CommSettings::kDelayHigh);
    delayLayout->addWidget(timeoutEdit);
    delayLayout->addWidget(new QLabel(QStringLiteral("(ms)"), timeoutGroup));
    portRow->addWidget(timeoutGroup);

    driveDefaultsButton = new QPushButton(this);
    tableDefaultsButton = new QPushButton(this);
    scanDriveButton = new QPushButton(this);
    top->addWidget(driveDefaultsButton);
    top->addWidget(tableDefaultsButton);
    top->addWidget(scanDriveButton);

    auto* okRow = new QHBoxLayout;
    OkBtn = new QPushButton(this);
    CancelBtn = new QPushButton(this);
    okRow->addStretch();
    okRow->addWidget(OkBtn);
    okRow->addWidget(CancelBtn);
    top->addLayout(okRow);

    // Enter in a field runs its check; it must not close the dialog through a default button.
    for (QPushButton* b : {driveDefaultsButton, tableDefaultsButton, scanDriveButton, OkBtn, CancelBtn}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    // The number fields run their checks themselves on leaving and on Enter; the lists are
    // watched here.
    for (UpDownEdit* field : {IdNmb, timeoutEdit})
        field->setMessageSource([this](MsgId id) { return Msg(context_, id); });
    IdNmb->setCheck([this] { return checkInverterNumber(); });
    timeoutEdit->setCheck([this] { return checkTimeout(); });
    for (QWidget* field : {portCombo, CommSpeed, CommParity})
        field->installEventFilter(this);
    // The arrows change the number the requests carry at once.
    connect(IdNmb, &UpDownEdit::positionChanged, this, [this](int p) { settings_.setInverterNumber(p); });

    connect(protocolButtons, &QButtonGroup::idClicked, this,
            [this](int id) { settings_.selectProtocol(id); });
    connect(AppendNo, &QCheckBox::clicked, this, [this] { applyAppendNumber(); });
    connect(broadcastCheck, &QCheckBox::clicked, this, [this] { broadcastClicked(); });
    connect(portCombo, &QComboBox::activated, this, [this](int i) { settings_.selectPort(i); });
    connect(CommSpeed, &QComboBox::activated, this, [this](int i) { settings_.selectBaud(i); });
    connect(CommParity, &QComboBox::activated, this, [this](int i) { settings_.selectParity(i); });
    connect(driveDefaultsButton, &QPushButton::clicked, this, [this] { useDriveDefaults(); });
    connect(tableDefaultsButton, &QPushButton::clicked, this, [this] { useTableDefaults(); });
    connect(scanDriveButton, &QPushButton::clicked, this, [this] { scanDrive(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { acceptSettings(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { cancelSettings(); });

    setWindowTitle(QStringLiteral("RS-232C Setup"));
    resize(309, sizeHint().height());
    // Vertically in the 480-pixel frame of the small dialogs, centred on the main window.
    const int left = parentWidget() ? parentWidget()->geometry().center().x() - width() / 2 : x();
    move(left, qMax(0, (480 - height()) / 2));
}

void CommSetupDialog::loadTexts() {
    IniFile lang(context_.language.iniPath);
    auto text = [&](const char* key, const char* def) {
        return lang.readString(kLangSection, QLatin1String(key), QLatin1String(def));
    };
    setWindowTitle(text("Form", "RS-232C Setup"));
    protocolGroup->setTitle(text("Label5", "Protocol"));
    ProtocolItems[0]->setText(text("ProtocolItems1", "VELRODI Inverter"));
    ProtocolItems[1]->setText(text("ProtocolItems2", "MODBUS-RTU"));
    stationGroup->setTitle(text("Label1", "Inverter number"));
    AppendNo->setText(text("Check11", "Set number"));
    broadcastCheck->setText(text("Check12", "Broadcast"));
    portGroup->setTitle(text("Label2", "Serial port"));
    timeoutGroup->setTitle(text("Label3", "Time out"));
    lineGroup->setTitle(text("Label4", "Communication setting"));
    baudRateLabel->setText(text("Label41", "Baud rate"));
    parityLabel->setText(text("Label42", "Parity"));
    CommParity->setItemText(0, text("ParityItems1", "Non"));
    CommParity->setItemText(1, text("ParityItems2", "Even"));
    CommParity->setItemText(2, text("ParityItems3", "Odd"));
    driveDefaultsButton->setText(text("ButtonQ1", "Use the Default value of selected drive"));
    tableDefaultsButton->setText(text("ButtonQ2", "Use the Parameter Table value"));
    scanDriveButton->setText(text("ButtonQ3", "Check the value with connected drive"));
    OkBtn->setText(text("Button1", "OK"));
    CancelBtn->setText(text("Button2", "Cancel"));
}

void CommSetupDialog::showSettings() {
    const LinkSettings& s = settings_.link().settings();
    ProtocolItems[s.protocol == 1 ? 1 : 0]->setChecked(true);
    AppendNo->setChecked(s.appendNo);
    broadcastCheck->setChecked(s.broadcast);
    IdNmb->setPosition(s.inverterNumber);
    IdNmb->setEnabled(settings_.inverterNumberEnabled());
    setComboIndex(portCombo, s.portIndex);
    setComboIndex(CommSpeed, s.baudIndex);
    setComboIndex(CommParity, s.parityIndex);
}

void CommSetupDialog::LoadCommSettings() {
    settings_.load();
    showSettings();
    timeoutEdit->setPosition(settings_.link().replyTimeoutMs());
}

void CommSetupDialog::ListSerialPorts() {
    const int count = settings_.listSerialPorts();
    portCombo->clear();
    portCombo->addItems(settings_.ports());
    portGroup->setEnabled(count > 0);
    portCombo->setEnabled(count > 0);
    setComboIndex(portCombo, settings_.link().settings().portIndex);
}

void CommSetupDialog::MarkChangedSettings() {
    const CommChanges c = settings_.changesSince(snapshot_);
    markBlue(protocolGroup, c.protocol);
    markBlue(IdNmb, c.inverterNumber);
    markBlue(AppendNo, c.appendNo);
    markBlue(portCombo, c.portIndex);
    for (QWidget* w : {static_cast<QWidget*>(baudRateLabel), static_cast<QWidget*>(CommSpeed),
                       static_cast<QWidget*>(LabelBps)})
        markBlue(w, c.baudIndex);
    markBlue(parityLabel, c.parityIndex);
    markBlue(CommParity, c.parityIndex);
}

void CommSetupDialog::LoadDriveCommDefaults() {
    const IniFile info(context_.drive.files.infoIniPath);
    const DefaultButtons b = CommSettings::defaultButtons(info);
    driveDefaultsButton->setEnabled(b.driveDefaults);
    tableDefaultsButton->setEnabled(b.tableDefaults);
}

void CommSetupDialog::loadForShowing() {
    for (QWidget* w :
         {static_cast<QWidget*>(protocolGroup), static_cast<QWidget*>(AppendNo), static_cast<QWidget*>(IdNmb),
          static_cast<QWidget*>(portCombo), static_cast<QWidget*>(baudRateLabel),
          static_cast<QWidget*>(CommSpeed), static_cast<QWidget*>(LabelBps),
          static_cast<QWidget*>(parityLabel), static_cast<QWidget*>(CommParity)})
        markBlue(w, false);
    snapshot_ = settings_.snapshot();
    ListSerialPorts();
    LoadDriveCommDefaults();
    OkBtn->setFocus();
    FieldError = false;
}

void CommSetupDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        loadForShowing();
}

void CommSetupDialog::applyAppendNumber() {
    settings_.setAppendNo(AppendNo->isChecked());
    showSettings();
}

void CommSetupDialog::broadcastClicked() {
    settings_.setBroadcast(broadcastCheck->isChecked());
    showSettings();
}

bool CommSetupDialog::fieldFailed(QWidget* field, MsgId message) {
    FieldError = true;
    ShowMsg(context_, message, BoxIcon::Error, BoxButtons::Ok, this);
    if (field->isEnabled())
        field->setFocus();
    return false;
}

bool CommSetupDialog::checkInverterNumber() {
    // The field's own check: DataIncorrect or OutOfRange, the nearest bound, the focus back.
    FieldError = !IdNmb->validate();
    if (!FieldError)
        settings_.setInverterNumber(IdNmb->position());
    return !FieldError;
}

bool CommSetupDialog::checkPort() {
    // With no port at all the list is disabled and cannot be corrected; the stored position
    // is kept.
    if (!portCombo->isEnabled())
        return true;
    if (portCombo->currentIndex() < 0)
        return fieldFailed(portCombo, MsgId::DataIncorrect);
    settings_.selectPort(portCombo->currentIndex());
    FieldError = false;
    return true;
}

bool CommSetupDialog::checkTimeout() {
    FieldError = !timeoutEdit->validate();
    return !FieldError;
}

bool CommSetupDialog::checkBaudRate() {
    if (CommSpeed->currentIndex() < 0)
        return fieldFailed(CommSpeed, MsgId::DataIncorrect);
    settings_.selectBaud(CommSpeed->currentIndex());
    FieldError = false;
    return true;
}

bool CommSetupDialog::checkParity() {
    if (CommParity->currentIndex() < 0)
        return fieldFailed(CommParity, MsgId::DataIncorrect);
    settings_.selectParity(CommParity->currentIndex());
    FieldError = false;
    return true;
}

bool CommSetupDialog::eventFilter(QObject* watched, QEvent* e) {
    const bool enter =
        e->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return ||
                                          static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter);
    // A box shown by a check takes the focus away again: no check from inside another.
    if ((enter || e->type() == QEvent::FocusOut) && !checking_ && !closing_ && isVisible()) {
        checking_ = true;
        if (watched == portCombo)
            checkPort();
        else if (watched == CommSpeed)
            checkBaudRate();
        else if (watched == CommParity)
            checkParity();
        checking_ = false;
        if (enter)
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

bool CommSetupDialog::mayClose() {
    // The first wrong field keeps the dialog open and takes the focus; one box is enough.
    checking_ = true;
    const bool ok =
        checkInverterNumber() && checkPort() && checkTimeout() && checkBaudRate() && checkParity();
    checking_ = false;
    return ok;
}

void CommSetupDialog::saveCommSettings() {
    bool ok = false;
    const int delay = timeoutEdit->text().trimmed().toInt(&ok);
    if (ok)
        settings_.setReplyTimeout(delay);
    settings_.save();
}

void CommSetupDialog::closeWith(int result) {
    if (!mayClose())
        return;
    saveCommSettings();
    closing_ = true;
    QDialog::done(result);
    closing_ = false;
}

void CommSetupDialog::acceptSettings() {
    settings_.link().noteExchangeFailed(false);
    closeWith(Accepted);
}

void CommSetupDialog::cancelSettings() {
    LoadCommSettings();
    closeWith(Rejected);
}

void CommSetupDialog::done(int r) {
    if (closing_) {
        QDialog::done(r);
        return;
    }
    // Esc or the close box: the stored settings stay, as with Cancel.
    cancelSettings();
}

void CommSetupDialog::useDriveDefaults() {
    const IniFile info(context_.drive.files.infoIniPath);
    settings_.applyDriveDefaults(info);
    showSettings();
    MarkChangedSettings();
}

void CommSetupDialog::useTableDefaults() {
    const IniFile info(context_.drive.files.infoIniPath);
    settings_.applyTableDefaults(info, context_);
    showSettings();
    MarkChangedSettings();
}

void CommSetupDialog::scanDrive() {
    if (settings_.portCount() == 0) {
        ShowMsg(context_, MsgId::NoUsablePort, BoxIcon::Warning, BoxButtons::Ok, this);
        return;
    }
    ScanResult r;
    {
        WaitCursor hourglass;
        r = scan_.ScanDriveConfig();
    }
    if (!r.found()) {
        ShowMsg(context_, MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok, this);
        return;
    }
    settings_.selectProtocol(r.protocol);
    settings_.selectPort(r.portIndex);
    settings_.selectBaud(r.baudIndex);
    settings_.selectParity(r.parityIndex);
    showSettings();
    MarkChangedSettings();
}
