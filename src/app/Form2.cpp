#include "app/Form2.h"

#include "app/WidebandPanel.h"
#include "app/help_menu.h"
#include "app/tool_table.h"
#include "gauges/display_colours.h"
#include "link/SerialPort.h"
#include "link/link_messages.h"
#include "logs/frmDataLog.h"
#include "logs/log_selection.h"
#include "settings/frmSettings.h"
#include "settings/settings_rules.h"
#include "tools/frmRegTest.h"
#include "ui/ActivityBar.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/hex.h"
#include "util/numbers.h"
#include "util/settings_store.h"
#include "util/text.h"
#include "wideband/frmWBO2.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace kx {

namespace {
const QString NoPartNumber = QStringLiteral("#####");
using Row = ToolRow;
} // namespace

Form2::Form2(SettingsStore& settings, Dialogs& dialogs, SerialPort* ecuPort, SerialPort* wbPort,
             QWidget* parent)
    : QMainWindow(parent), settings_(settings), dialogs_(dialogs),
      link_(new EcuLink(ecuPort, settings, this)),
      wbLink_(new WbLink(wbPort, settings, state_.live.wbValues, this)), host_{this,     *link_,
                                                                               state_,   settings_,
                                                                               dialogs_, *this},
      live_(*link_, state_, settings_) {
    state_.wideband = [this](uint32_t at) -> std::optional<WbSample> {
        if (!widebandSetUp(settings_)) return std::nullopt;
        return wbLink_->sampleAt(at);
    };
    connect(link_, &EcuLink::stateChanged, this, &Form2::onLinkState);
    connect(link_, &EcuLink::silenceChanged, this, [this] { showLinkStatus(); });
    connect(link_, &EcuLink::identified, this, &Form2::onIdentified);
    // Shown once the step that failed is over, never from inside the link's own work.
    connect(link_, &EcuLink::portError, this, &Form2::showPortError, Qt::QueuedConnection);
    // A save may come from inside a step or a handler: the box waits until that is over.
    settings.onWriteFailure([this](const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { dialogs_.message(this, text, MessageKind::Warning); },
            Qt::QueuedConnection);
    });
    // The trace opens inside the link's open step: its failure is shown once that is over.
    link_->trace().onFailure([this](int error, const QString& detail) {
        QMetaObject::invokeMethod(
            this, [this, error, detail] { showPortError(error, QString(), detail); },
            Qt::QueuedConnection);
    });
    connect(link_, &EcuLink::waiting, this, [this](const QString& tool, const QString& holder) {
        waitNote_ = tool + S(" waits for ") + holder + S(" to close");
        showLinkStatus();
    });
    setObjectName(S("Form2"));
    setWindowTitle(S("Kestrix v1.53 Beta"));
    buildUi();

    connect(wbLink_, &WbLink::portError, this, &Form2::showPortError);
    connect(wbPanel_, &WidebandPanel::afrDisplayClicked, this, [this] { open<frmWBO2>(); });
    connect(wbPanel_, &WidebandPanel::measured, this, [this] {
        if (auto* w = window<frmWBO2>(); w && w->isVisible()) w->WBO2show();
    });
    connect(wbPanel_, &WidebandPanel::noteChanged, this, [this](const QString& note, bool notLive) {
        if (auto* w = window<frmWBO2>()) w->setLinkNote(notLive ? note : QString());
    });
    // Shown once the receive handler is over, never from inside it.
    connect(
        wbLink_, &WbLink::incompatible, this,
        [this](const QString& chars) {
            dialogs_.message(this, S("WBO2 version not compatible") + chars, MessageKind::Warning);
        },
        Qt::QueuedConnection);
    wbLink_->setRetrying(true);
}

Form2::~Form2() = default;

// ---------------------------------------------------------------- layout

QWidget* Form2::buildEcuFrame() {
    auto* frame = new QWidget;
    frame->setObjectName(S("fraKestrix"));

    auto* basic = new QGroupBox(S("Basic Functions"));
    auto* advance = new QGroupBox(S("Advance Functions"));
    auto* basicLayout = new QVBoxLayout(basic);
    auto* advanceLayout = new QVBoxLayout(advance);
    for (const Row& r : toolTable()) {
        if (!r.button) continue;
        auto* b = new QPushButton(S(r.caption));
        b->setObjectName(S(r.button));
        b->setEnabled(false);
        b->setMinimumSize(190, 30);
        b->setWhatsThis(toolHelp(r.name));
        (r.place == Row::Basic ? basicLayout : advanceLayout)->addWidget(b);
        const QString name = S(r.name);
        connect(b, &QPushButton::clicked, this, [this, name] { openTool(name); });
    }
    basicLayout->addStretch();
    advanceLayout->addStretch();

    btnConnect_ = new QPushButton(S("Connect"));
    btnConnect_->setObjectName(S("btnConnect"));
    btnConnect_->setMinimumSize(120, 30);
    btnConnect_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(btnConnect_, &QPushButton::clicked, this, [this] { btnConnect_Click(); });
    btnConnect_->setWhatsThis(S("Asks the ECU on the port set under Settings, Communication "
                                "for its part number. The note beside it says what is wrong "
                                "when the line is not working."));
    auto* partCaption = new QLabel(S("ECU PART NUMBER: 23710 -"));
    partCaption->setObjectName(S("lblPartCaption"));
    lblEcuNo_ = new QLabel(NoPartNumber);
    lblEcuNo_->setObjectName(S("lblEcuNo"));
    showsValue(lblEcuNo_, S("ECU part number"));
    QFont bold = lblEcuNo_->font();
    bold.setBold(true);
    lblEcuNo_->setFont(bold);
    partCaption->setBuddy(lblEcuNo_);

    auto* ecuBox = new QVBoxLayout;
    ecuBox->addWidget(btnConnect_);
    auto* partRow = new QHBoxLayout;
    partRow->addWidget(partCaption);
    partRow->addWidget(lblEcuNo_);
    partRow->addStretch();
    ecuBox->addLayout(partRow);
    // What the link is doing when it is not simply working: lost, unanswered, or a tool
    // waiting. Beside the part number, where the eye goes, and wrapped: it is a sentence.
    lblLinkStatus_ = new QLabel;
    lblLinkStatus_->setObjectName(S("lblLinkStatus"));
    lblLinkStatus_->setWordWrap(true);
    lblLinkStatus_->setFrameShape(QFrame::StyledPanel);
    lblLinkStatus_->setMargin(6);
    lblLinkStatus_->setStyleSheet(S("QLabel { background: #fff4ce; color: #3b2f00; }"));
    lblLinkStatus_->setVisible(false);
    showsValue(lblLinkStatus_, S("ECU link status"));
    ecuBox->addWidget(lblLinkStatus_);
    ecuBox->addStretch();

    auto* grid = new QGridLayout(frame);
    grid->addWidget(basic, 0, 0);
    grid->addWidget(advance, 0, 1);
    grid->addLayout(ecuBox, 0, 2);
    grid->setColumnStretch(2, 1);
    return frame;
}

void Form2::buildStatusBar() {
    const char* tips[4] = {"Speed Correction", "Com Port - Speed", "Speed Unit",
                           "Temperature Unit"};
    auto* bar = statusBar();
    bar->setObjectName(S("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        auto* p = new QLabel;
        p->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        p->setToolTip(S(tips[i]));
        showsValue(p, S(tips[i]));
        p->setFrameShape(QFrame::StyledPanel);
        p->setFrameShadow(QFrame::Sunken);
        p->setMinimumWidth(90);
        bar->addWidget(p);
        panels_[size_t(i)] = p;
    }
    // The activity bar sits right after panel 4, a couple of pixels apart.
    ProgressBar1_ = new ActivityBar;
    ProgressBar1_->setObjectName(S("ProgressBar1"));
    ProgressBar1_->setAccessibleName(S("ECU activity"));
    ProgressBar1_->setMaximumWidth(160);
    ProgressBar1_->setContentsMargins(2, 0, 0, 0);
    bar->addWidget(ProgressBar1_, 1);
}

void Form2::buildMenus() {
    auto* settingsMenu = menuBar()->addMenu(S("&Settings"));
    settingsMenu->setObjectName(S("mnuSettings"));
    auto* functionMenu = menuBar()->addMenu(S("&Function"));
    functionMenu->setObjectName(S("mnuFunction"));
    for (const Row& r : toolTable()) {
        if (!r.menu) continue;
        const bool function = r.place != Row::Settings;
        QAction* a = (function ? functionMenu : settingsMenu)
                         ->addAction(S(function ? r.menuCaption : r.caption));
        a->setObjectName(S(r.menu));
        a->setShortcut(r.key);
        const QString name = S(r.name);
        QPushButton* button = r.button ? findChild<QPushButton*>(S(r.button)) : nullptr;
        // A Function entry acts only while its button does.
        connect(a, &QAction::triggered, this, [this, name, button] {
            if (!button) {
                openTool(name);
            } else if (button->isEnabled()) {
                button->click();
            }
        });
    }

    auto* helpMenu = menuBar()->addMenu(S("&Help"));
    helpMenu->setObjectName(S("mnuHelp"));
    QAction* guide = helpMenu->addAction(S("&User Guide"));
    guide->setObjectName(S("mnuGuide"));
    connect(guide, &QAction::triggered, this, [this] { showUserGuide(this, dialogs_); });
    QAction* whatsThis = QWhatsThis::createAction(this);
    whatsThis->setObjectName(S("mnuWhatsThis"));
    helpMenu->addAction(whatsThis);
    QAction* about = helpMenu->addAction(S("&About"));
    about->setObjectName(S("mnuAbout"));
    connect(about, &QAction::triggered, this, [this] { showAboutBox(this); });
}

void Form2::buildUi() {
    tabs_ = new QTabWidget;
    tabs_->setObjectName(S("TabStrip1"));
    tabs_->addTab(buildEcuFrame(), S("ECU diagnostics"));
    wbPanel_ = new WidebandPanel(*wbLink_, settings_);
    tabs_->addTab(wbPanel_, S("WBO2"));
    tabs_->setTabToolTip(1, S("Wide Band Oxygen Sensor"));
    setCentralWidget(tabs_);
    buildMenus();
    buildStatusBar();
    closeOnEscape(this);
    nameForAccessibility(this);
    setTabOrder(findChild<QPushButton*>(S("btnDataDisplay")),
                findChild<QPushButton*>(S("btnDataLogging")));
    resize(640, 420);
}

QList<QPushButton*> Form2::ecuToolButtons() const {
    QList<QPushButton*> buttons;
    for (const Row& r : toolTable())
        if (r.needsEcu) buttons << findChild<QPushButton*>(S(r.button));
    return buttons;
}

SerialPort& Form2::MSComm1() {
    return link_->port();
}

// ---------------------------------------------------------------- windows

QWidget* Form2::showSingle(const QString& name, const std::function<QWidget*()>& make) {
    QWidget* w = windows_.value(name);
    if (!w) {
        w = make();
        windows_[name] = w;
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

QWidget* Form2::openTool(const QString& name) {
    const Row* row = toolRow(name);
    if (!row) return nullptr;
    const bool created = !windows_.value(name);
    QWidget* w = showSingle(name, [this, row] { return row->make(host_); });
    toolOpened(*row, w, created);
    return w;
}

void Form2::toolOpened(const ToolRow& row, QWidget* w, bool created) {
    if (created && row.listener) live_.join(w, row.listener(w));
    if (row.opened) row.opened(w);
}

void Form2::openDataLogging() {
    open<frmDataLog>();
}

void Form2::openActiveTest() {
    openTool(S("frmActiveTest"));
}

QWidget* Form2::openRegTest(std::function<void(const std::vector<int>&)> found) {
    return showSingle(S("frmRegTest"), [&] { return new frmRegTest(host_, std::move(found)); });
}

QWidget* Form2::openEcuFinder() {
    return openTool(S("frmECUfind"));
}

LinkSequence Form2::iniFullData() {
    return live_.arming();
}

void Form2::toolClosed(QWidget* tool) {
    if (live_.leave(tool)) return;
    const bool held = link_->holds(tool);
    link_->release(tool);
    // Only a tool that had the link hands it back with a fresh identification.
    if (held && !unloading_) btnConnect_Click();
}

// ---------------------------------------------------------------- start-up and status

void Form2::load() {
    settings_.writeStartupDefaults();
    link_->trace().close();
    link_->setRetrying(true);
    setStatusBar();
}

void Form2::setStatusBar() {
    // A stored speed correction that is not a finite positive number would stop every start
    // here for good: 1 takes its place and the user is told.
    const QString storedCorrection = settings_.read(S("TyreSize"), S("Correction"));
    if (!usableCorrection(storedCorrection)) {
        settings_.save(S("TyreSize"), S("Correction"), S("1"));
        dialogs_.message(this,
                         S("The stored speed correction \"%1\" cannot be used: 1 is used "
                           "instead. Enter the tyre sizes again under Settings, Preferences.")
                             .arg(storedCorrection),
                         MessageKind::Warning);
    }
    // Each step that reads a number ends the routine quietly when the stored text is not one.
    const StoredUnits stored = readStoredUnits(settings_);
    if (!stored.speedCorrect) return;
    Units& units = state_.units;
    units.speedCorrect = *stored.speedCorrect;
    panels_[0]->setText(S("Spd Corr: ") + singleText(units.speedCorrect));
    showPortPanel(settings_.read(S("Comms"), S("ComPort")), settings_.read(S("Comms"), S("Speed")));
    if (!stored.mph) return;
    units.mph = *stored.mph;
    panels_[2]->setText(units.mph ? S("MPH") : S("KPH"));
    if (!stored.fahr) return;
    units.fahr = *stored.fahr;
    panels_[3]->setText(units.fahr ? S("Fahrenheit") : S("Celsius"));
    if (!stored.obd2) return;
    getSetup();
    for (const Row& r : toolTable())
        if (r.button && !r.needsEcu)
            findChild<QPushButton*>(S(r.button))->setEnabled(r.forObd2 || !*stored.obd2);
    const auto autoConnect = parseNumber(settings_.read(S("Comms"), S("AutoConnect")));
    if (autoConnect && *autoConnect == 1) btnConnect_Click();
}

void Form2::showPortPanel(const QString& port, const QString& speed) {
    // A by-id path is longer than the whole bar: its middle goes, its ends tell adapters apart.
    constexpr int kWidest = 240;
    QLabel* panel = panels_[1];
    const QString shown = panel->fontMetrics().elidedText(port, Qt::ElideMiddle, kWidest);
    const QString full = port + S(" - ") + speed;
    panel->setText(shown + S(" - ") + speed);
    panel->setToolTip(shown == port ? S("Com Port - Speed") : full);
    showsValue(panel, shown == port ? S("Com Port - Speed") : S("Com Port - Speed: ") + full);
}

void Form2::setProgBar() {
    ProgressBar1_->step();
}

bool Form2::afrDisplayEnabled() const {
    return wbPanel_->afrEnabled();
}

void Form2::setProgBar2() {
    wbPanel_->step();
}

void Form2::btnConnect2_Click() {
    wbPanel_->connectClicked();
}

void Form2::getSetup() {
    kx::getSetup(settings_, state_.units.fahr, state_.units.mph, state_.setup);
}

// ---------------------------------------------------------------- ports

void Form2::showPortError(int error, const QString& device, const QString& detail) {
    if (unloading_) return;
    dialogs_.message(this, portErrorText(error, device, detail));
}

void Form2::openPort() {
    link_->run(nullptr, LinkSequence().closePort().openPort());
}

void Form2::closePort() {
    link_->run(nullptr, LinkSequence().closePort());
}

void Form2::openPort2() {
    wbLink_->openPort2();
}

void Form2::closePort2() {
    wbLink_->closePort2();
}

// ---------------------------------------------------------------- connect and link state

void Form2::btnConnect_Click() {
    // None starts while the program ends; one asked for while one runs is that one.
    if (unloading_) return;
    link_->connectEcu();
}

void Form2::onLinkState(EcuLink::State state) {
    if (state == EcuLink::State::Connecting) {
        lblEcuNo_->setText(NoPartNumber);
        waitNote_.clear();
    }
    // A tool that waited for the link takes it as soon as the connect is done, before the ECU
    // identifies itself again: the same ECU still answers, with the tools still on.
    if (state == EcuLink::State::Identifying && link_->holder() && !lastPart_.isEmpty())
        lblEcuNo_->setText(lastPart_);
    if (state == EcuLink::State::Lost || state == EcuLink::State::NoAnswer ||
        state == EcuLink::State::WrongId || state == EcuLink::State::Closed) {
        lblEcuNo_->setText(NoPartNumber);
        lastPart_.clear();
        for (QPushButton* b : ecuToolButtons())
            b->setEnabled(false);
    }
    showLinkStatus();
}

void Form2::onIdentified(const QString& part) {
    lblEcuNo_->setText(part);
    lastPart_ = part;
    for (const Row& r : toolTable())
        if (r.needsEcu)
            findChild<QPushButton*>(S(r.button))->setEnabled(r.forObd2 || !link_->obd2());
    showLinkStatus();
}

void Form2::showLinkStatus() {
    const QString text = linkStatusText(*link_, settings_, waitNote_, lblLinkStatus_->text());
    lblLinkStatus_->setText(text);
    lblLinkStatus_->setVisible(!text.isEmpty());
}

// ---------------------------------------------------------------- receive dispatch

void Form2::MSComm1_OnComm() {
    link_->MSComm1_OnComm();
}

void Form2::MSComm2_OnComm() {
    wbLink_->MSComm2_OnComm();
}

// ---------------------------------------------------------------- unload

void Form2::closeEvent(QCloseEvent* event) {
    unloading_ = true;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isWindow() && w->isVisible()) w->close();
    link_->shutdown();
    wbLink_->setRetrying(false);
    closePort2();
    event->accept();
}

} // namespace kx
