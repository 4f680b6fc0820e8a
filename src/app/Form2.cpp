#include "app/Form2.h"

#include "app/ActivityBar.h"
#include "app/Dialogs.h"
#include "app/link_messages.h"
#include "app/settings_store.h"
#include "app/ui_helpers.h"
#include "gauges/display_colours.h"
#include "gauges/frmDashSetup.h"
#include "gauges/frmDashboard.h"
#include "link/SerialPort.h"
#include "live/Form1.h"
#include "logs/frmDataLog.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "settings/settings_rules.h"
#include "tools/frmActiveTest.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmECUfind.h"
#include "tools/frmMapTrace.h"
#include "tools/frmRegTest.h"
#include "tools/frmRomData.h"
#include "tools/frmSelfDiag.h"
#include "trial/frmTimeTrial.h"
#include "util/colour.h"
#include "util/hex.h"
#include "util/numbers.h"
#include "util/text.h"
#include "wideband/frmWBO2.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
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

namespace kx {

namespace {
const QString NoPartNumber = QStringLiteral("#####");
} // namespace

Form2::Form2(SettingsStore& settings, Dialogs& dialogs, SerialPort* ecuPort, SerialPort* wbPort,
             QWidget* parent)
    : QMainWindow(parent), settings_(settings), dialogs_(dialogs),
      link_(new EcuLink(ecuPort, settings, this)),
      wbLink_(new WbLink(wbPort, settings, state_.live.wbValues, this)), ReadMode(link_->ReadMode),
      connected(link_->connected), ReadMode2(wbLink_->ReadMode2), fahr(state_.units.fahr),
      mph(state_.units.mph), OBDIImodel(link_->OBDIImodel), SpeedCorrect(state_.units.speedCorrect),
      setup(state_.setup),
      live(state_.live), host_{this, *link_, state_, settings_, dialogs_, *this} {
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

    connect(btnConnect2_, &QPushButton::clicked, this, [this] { btnConnect2_Click(); });
    connect(btnAFR_, &QPushButton::clicked, this, [this] { btnAFR_Click(); });
    connect(wbLink_, &WbLink::portError, this, &Form2::showPortError);
    connect(wbLink_, &WbLink::stateChanged, this, &Form2::onWbState);
    connect(wbLink_, &WbLink::measured, this, &Form2::onMeasured);
    connect(wbLink_, &WbLink::activity, this, &Form2::setProgBar2);
    connect(wbLink_, &WbLink::versionRead, lblROMver_, &QLabel::setText);
    // Shown once the receive handler is over, never from inside it.
    connect(
        wbLink_, &WbLink::incompatible, this,
        [this](const QString& chars) {
            dialogs_.message(this, S("WBO2 version not compatable") + chars, MessageKind::Warning);
        },
        Qt::QueuedConnection);
    wbLink_->setRetrying(true);
}

Form2::~Form2() = default;

// ---------------------------------------------------------------- layout

QPushButton* Form2::toolButton(const QString& caption, const QString& name) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    b->setEnabled(false);
    b->setMinimumSize(190, 30);
    return b;
}

QWidget* Form2::buildEcuFrame() {
    auto* frame = new QWidget;
    frame->setObjectName(S("fraKestrix"));

    auto* basic = new QGroupBox(S("Basic Functions"));
    auto* basicLayout = new QVBoxLayout(basic);
    btnDataDisplay_ = toolButton(S("Data Display     F1"), S("btnDataDisplay"));
    btnDataLogging_ = toolButton(S("Data Logging    F2"), S("btnDataLogging"));
    btnSelfDiag_ = toolButton(S("Self Diagnostics F3"), S("btnSelfDiag"));
    btnTimeTrial_ = toolButton(S("Time Trial F4"), S("btnTimeTrial"));
    btnDashboard_ = toolButton(S("Dashboard F5"), S("btnDashboard"));
    btnDataReplay_ = toolButton(S("Data Replay F6"), S("btnDataReplay"));
    btnLogAnalyser_ = toolButton(S("Log Analyser F7"), S("btnLogAnalyser"));
    for (auto* b : {btnDataDisplay_, btnDataLogging_, btnSelfDiag_, btnTimeTrial_, btnDashboard_,
                    btnDataReplay_, btnLogAnalyser_})
        basicLayout->addWidget(b);
    connect(btnDataDisplay_, &QPushButton::clicked, this, [this] { btnDataDisplay_Click(); });
    connect(btnDataLogging_, &QPushButton::clicked, this, [this] { btnDataLogging_Click(); });
    basicLayout->addStretch();
    connect(btnDataReplay_, &QPushButton::clicked, this, [this] { btnDataReplay_Click(); });
    connect(btnLogAnalyser_, &QPushButton::clicked, this, [this] { btnLogAnalyser_Click(); });

    auto* advance = new QGroupBox(S("Advance Functions"));
    auto* advanceLayout = new QVBoxLayout(advance);
    btnActiveTest_ = toolButton(S("Active Test F8"), S("btnActiveTest"));
    btnRomData_ = toolButton(S("Rom Data F9"), S("btnRomData"));
    btnAdrWatch_ = toolButton(S("Address Watch F11"), S("btnAdrWatch"));
    btnMapTrace_ = toolButton(S("Map Trace F12"), S("btnMapTrace"));
    for (auto* b : {btnActiveTest_, btnRomData_, btnAdrWatch_, btnMapTrace_})
        advanceLayout->addWidget(b);
    advanceLayout->addStretch();

    btnConnect_ = new QPushButton(S("Connect"));
    btnConnect_->setObjectName(S("btnConnect"));
    btnConnect_->setMinimumSize(120, 30);
    btnConnect_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(btnConnect_, &QPushButton::clicked, this, [this] { btnConnect_Click(); });
    connect(btnSelfDiag_, &QPushButton::clicked, this, [this] { btnSelfDiag_Click(); });
    connect(btnActiveTest_, &QPushButton::clicked, this, [this] { btnActiveTest_Click(); });
    connect(btnTimeTrial_, &QPushButton::clicked, this, [this] { btnTimeTrial_Click(); });
    connect(btnDashboard_, &QPushButton::clicked, this, [this] { btnDashboard_Click(); });
    connect(btnRomData_, &QPushButton::clicked, this, [this] { btnRomData_Click(); });
    connect(btnAdrWatch_, &QPushButton::clicked, this, [this] { btnAdrWatch_Click(); });
    connect(btnMapTrace_, &QPushButton::clicked, this, [this] { btnMapTrace_Click(); });
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

QWidget* Form2::buildWidebandFrame() {
    auto* frame = new QWidget;
    frame->setObjectName(S("fraWBO2"));

    auto* function = new QGroupBox(S("Function"));
    auto* fl = new QVBoxLayout(function);
    btnAFR_ = new QPushButton(S("AFR Display"));
    btnAFR_->setObjectName(S("btnAFR"));
    btnAFR_->setEnabled(false);
    btnConnect2_ = new QPushButton(S("Connect"));
    btnConnect2_->setObjectName(S("btnConnect2"));
    btnConnect2_->setAccessibleName(S("Connect wideband"));
    fl->addWidget(btnAFR_);
    fl->addWidget(btnConnect2_);
    fl->addStretch();

    auto* display = new QGroupBox(S("Display"));
    auto* dl = new QGridLayout(display);
    auto* afrCaption = new QLabel(S("A/F Ratio"));
    lblAFR_ = new QLabel(S("--.--"));
    lblAFR_->setObjectName(S("lblAFR"));
    showsValue(lblAFR_, S("A/F Ratio"));
    QFont big = lblAFR_->font();
    big.setPointSize(28);
    big.setBold(true);
    lblAFR_->setFont(big);
    lblAFR_->setAutoFillBackground(true);
    auto* romCaption = new QLabel(S("ROM VERSION: "));
    lblROMver_ = new QLabel(NoPartNumber);
    lblROMver_->setObjectName(S("lblROMver"));
    showsValue(lblROMver_, S("ROM VERSION"));
    afrCaption->setBuddy(lblAFR_);
    romCaption->setBuddy(lblROMver_);
    dl->addWidget(afrCaption, 0, 0);
    dl->addWidget(lblAFR_, 1, 0, 1, 2);
    dl->addWidget(romCaption, 2, 0);
    dl->addWidget(lblROMver_, 2, 1);
    lblWbStatus_ = new QLabel;
    lblWbStatus_->setObjectName(S("lblWbStatus"));
    lblWbStatus_->setWordWrap(true);
    lblWbStatus_->hide();
    dl->addWidget(lblWbStatus_, 3, 0, 1, 2);

    ProgressBar2_ = new ActivityBar;
    ProgressBar2_->setObjectName(S("ProgressBar2"));
    ProgressBar2_->setAccessibleName(S("Wideband activity"));

    auto* grid = new QGridLayout(frame);
    grid->addWidget(function, 0, 0);
    grid->addWidget(display, 0, 1);
    grid->addWidget(ProgressBar2_, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);
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
    const struct {
        const char* caption;
        const char* name;
        QKeySequence key;
    } settingsEntries[] = {
        {"&Communication", "mnuCommunication", QKeySequence(Qt::CTRL | Qt::Key_F1)},
        {"&Display", "mnuDisplay", QKeySequence(Qt::CTRL | Qt::Key_F2)},
        {"&Preferences", "mnuPreferences", QKeySequence(Qt::CTRL | Qt::Key_F3)},
        {"&Data Display", "mnuDataDisplay", QKeySequence(Qt::CTRL | Qt::Key_F4)},
        {"&Dashboard", "mnuDashboardSetup", QKeySequence(Qt::CTRL | Qt::Key_F5)},
    };
    for (const auto& e : settingsEntries) {
        QAction* a = settingsMenu->addAction(S(e.caption));
        a->setObjectName(S(e.name));
        a->setShortcut(e.key);
    }
    connect(findChild<QAction*>(S("mnuCommunication")), &QAction::triggered, this,
            [this] { mnuCommunication_Click(); });
    connect(findChild<QAction*>(S("mnuPreferences")), &QAction::triggered, this,
            [this] { mnuPreferences_Click(); });
    connect(findChild<QAction*>(S("mnuDisplay")), &QAction::triggered, this,
            [this] { mnuDisplay_Click(); });
    connect(findChild<QAction*>(S("mnuDataDisplay")), &QAction::triggered, this,
            [this] { mnuDataDisplay_Click(); });
    connect(findChild<QAction*>(S("mnuDashboardSetup")), &QAction::triggered, this,
            [this] { mnuDashboardSetup_Click(); });

    auto* functionMenu = menuBar()->addMenu(S("&Function"));
    functionMenu->setObjectName(S("mnuFunction"));
    const struct {
        const char* caption;
        const char* name;
        Qt::Key key;
        QPushButton* button;
    } functionEntries[] = {
        {"Data Display", "mnuFDataDisplay", Qt::Key_F1, btnDataDisplay_},
        {"DataLogging", "mnuFDataLogging", Qt::Key_F2, btnDataLogging_},
        {"Self Diagnostics", "mnuFSelfDiag", Qt::Key_F3, btnSelfDiag_},
        {"Time Trial", "mnuFTimeTrial", Qt::Key_F4, btnTimeTrial_},
        {"Dashboard", "mnuFDashboard", Qt::Key_F5, btnDashboard_},
        {"Replay Data", "mnuFReplayData", Qt::Key_F6, btnDataReplay_},
        {"Log Analyzer", "mnuFLogAnalyzer", Qt::Key_F7, btnLogAnalyser_},
        {"Active Test", "mnuFActiveTest", Qt::Key_F8, btnActiveTest_},
        {"Rom Data", "mnuFRomData", Qt::Key_F9, btnRomData_},
        {"Address Watch", "mnuFAddressWatch", Qt::Key_F11, btnAdrWatch_},
        {"Map Trace", "mnuFMapTrace", Qt::Key_F12, btnMapTrace_},
    };
    for (const auto& e : functionEntries) {
        QAction* a = functionMenu->addAction(S(e.caption));
        a->setObjectName(S(e.name));
        a->setShortcut(QKeySequence(e.key));
        QPushButton* button = e.button;
        // An entry acts only while its button does.
        connect(a, &QAction::triggered, this, [button] {
            if (button->isEnabled()) button->click();
        });
    }

    auto* helpMenu = menuBar()->addMenu(S("&Help"));
    helpMenu->setObjectName(S("mnuHelp"));
    QAction* about = helpMenu->addAction(S("&About"));
    about->setObjectName(S("mnuAbout"));
    connect(about, &QAction::triggered, this, &Form2::showAbout);
}

void Form2::buildUi() {
    tabs_ = new QTabWidget;
    tabs_->setObjectName(S("TabStrip1"));
    tabs_->addTab(buildEcuFrame(), S("ECU diagnostics"));
    tabs_->addTab(buildWidebandFrame(), S("WBO2"));
    tabs_->setTabToolTip(1, S("Wide Band Oxygen Sensor"));
    setCentralWidget(tabs_);
    buildMenus();
    buildStatusBar();
    closeOnEscape(this);
    nameForAccessibility(this);
    setTabOrder(btnDataDisplay_, btnDataLogging_);
    resize(640, 420);
}

void Form2::showAbout() {
    auto* box = new QDialog(this);
    box->setObjectName(S("frmAbout"));
    box->setWindowTitle(S("About Kestrix"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto* l = new QVBoxLayout(box);
    auto* name = new QLabel(S("Kestrix"));
    name->setObjectName(S("lblTitle"));
    QFont f = name->font();
    f.setPointSize(f.pointSize() * 2);
    f.setBold(true);
    name->setFont(f);
    auto* version = new QLabel(S("Version 1.53"));
    version->setObjectName(S("lblVersion"));
    auto* what = new QLabel(S("ECU diagnostics, live data and logging"));
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, box, &QDialog::accept);
    l->addWidget(name);
    l->addWidget(version);
    l->addWidget(what);
    l->addWidget(ok);
    nameForAccessibility(box);
    // Modal, but shown without a nested loop so nothing waits on it.
    box->setModal(true);
    box->show();
}

QList<QPushButton*> Form2::ecuToolButtons() const {
    return {btnDataDisplay_, btnDataLogging_, btnActiveTest_, btnTimeTrial_, btnSelfDiag_,
            btnRomData_,     btnAdrWatch_,    btnDashboard_,  btnMapTrace_};
}

SerialPort& Form2::MSComm1() {
    return link_->port();
}

// ---------------------------------------------------------------- windows

template <class W> W* Form2::single(const QString& name) const {
    return qobject_cast<W*>(windows_.value(name).data());
}

template <class W, class... Args> W* Form2::showSingle(const QString& name, Args&&... args) {
    W* w = single<W>(name);
    if (!w) {
        w = new W(std::forward<Args>(args)...);
        windows_[name] = w;
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

Form1* Form2::dataDisplay() const {
    return single<Form1>(S("Form1"));
}

frmRegTest* Form2::regTest() const {
    return single<frmRegTest>(S("frmRegTest"));
}

frmECUfind* Form2::ecuFinder() const {
    return single<frmECUfind>(S("frmECUfind"));
}

Form1* Form2::btnDataDisplay_Click() {
    if (dataDisplay()) return showSingle<Form1>(S("Form1"), host_);
    Form1* display = showSingle<Form1>(S("Form1"), host_);
    auto* logger = single<frmDataLog>(S("frmDataLog"));
    // The logger already streams live data: the display joins it.
    if (logger && link_->holds(logger)) {
        ReadMode = 4;
        return display;
    }
    link_->acquire(display, liveClaim(display, S("Data Display")));
    return display;
}

frmDataLog* Form2::btnDataLogging_Click() {
    if (single<frmDataLog>(S("frmDataLog"))) return showSingle<frmDataLog>(S("frmDataLog"), host_);
    frmDataLog* logger = showSingle<frmDataLog>(S("frmDataLog"), host_);
    Form1* display = dataDisplay();
    // Logging beside the display: the display's stream, untouched.
    if (display && link_->holds(display)) {
        ReadMode = 4;
        return logger;
    }
    link_->acquire(logger, liveClaim(logger, S("Data Logging")));
    return logger;
}

EcuLink::Claim Form2::liveClaim(QWidget* tool, const QString& name) {
    EcuLink::Claim claim;
    claim.name = name;
    claim.liveData = true;
    claim.receiver = [this](const QByteArray& frame) { liveFrame(frame); };
    claim.deliveryDone = [this] { liveShown(); };
    QPointer<QWidget> guard(tool);
    claim.granted = [this, guard] {
        if (guard) armLiveData(guard);
    };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    return claim;
}

int16_t Form2::liveMode() const {
    const bool display = dataDisplay() != nullptr;
    const bool logger = single<frmDataLog>(S("frmDataLog")) != nullptr;
    return display && logger ? 4 : display ? 2 : 3;
}

void Form2::armLiveData(QObject* owner) {
    link_->run(owner, liveDataStream(setup, liveMode()));
}

LinkSequence Form2::iniFullData() {
    return fullDataArming(setup);
}

void Form2::getFullData(const QByteArray& bytes) {
    kx::getFullData(bytes, setup, state_.units, live);
}

void Form2::liveFrame(const QByteArray& frame) {
    const int mode = ReadMode;
    if (mode < 2 || mode > 4) return;
    getFullData(frame);
    // Every confirmed frame is a record; the display shows the last of a delivery.
    auto* logger = single<frmDataLog>(S("frmDataLog"));
    if (logger && mode != 2) logger->saveLogData();
}

void Form2::liveShown() {
    const int mode = ReadMode;
    Form1* display = dataDisplay();
    if (display && (mode == 2 || mode == 4)) display->setDataDisplay();
}

frmSelfDiag* Form2::btnSelfDiag_Click() {
    return showSingle<frmSelfDiag>(S("frmSelfDiag"), host_);
}

// Leaves the stream and the receive mode as they are.
frmActiveTest* Form2::btnActiveTest_Click() {
    return showSingle<frmActiveTest>(S("frmActiveTest"), host_);
}

frmTimeTrial* Form2::btnTimeTrial_Click() {
    return showSingle<frmTimeTrial>(S("frmTimeTrial"), host_);
}

frmDashboard* Form2::btnDashboard_Click() {
    return showSingle<frmDashboard>(S("frmDashboard"), host_);
}

frmDashSetup* Form2::mnuDashboardSetup_Click() {
    return showSingle<frmDashSetup>(S("frmDashSetup"), host_);
}

// Each stops the stream and sets its receive mode itself once it holds the link.
frmRomData* Form2::btnRomData_Click() {
    return showSingle<frmRomData>(S("frmRomData"), host_);
}

frmAdrWatch* Form2::btnAdrWatch_Click() {
    return showSingle<frmAdrWatch>(S("frmAdrWatch"), host_);
}

// The set-up window opens over the trace window, which starts once it closes.
frmMapTrace* Form2::btnMapTrace_Click() {
    frmMapTrace* w = showSingle<frmMapTrace>(S("frmMapTrace"), host_);
    w->showSetup();
    return w;
}

Form3* Form2::mnuCommunication_Click() {
    return showSingle<Form3>(S("Form3"), host_);
}

frmPreferences* Form2::mnuPreferences_Click() {
    return showSingle<frmPreferences>(S("frmPreferences"), host_);
}

frmLogAnalyzer* Form2::btnLogAnalyser_Click() {
    return showSingle<frmLogAnalyzer>(S("frmLogAnalyzer"), host_);
}

frmDataReplay* Form2::btnDataReplay_Click() {
    return showSingle<frmDataReplay>(S("frmDataReplay"), host_);
}

frmColor* Form2::mnuDisplay_Click() {
    return showSingle<frmColor>(S("frmColor"), host_);
}

frmSettings* Form2::mnuDataDisplay_Click() {
    return showSingle<frmSettings>(S("frmSettings"), host_);
}

QWidget* Form2::openRegTest(frmSettings* settingsWindow) {
    return showSingle<frmRegTest>(S("frmRegTest"), host_, settingsWindow);
}

QWidget* Form2::openEcuFinder() {
    return showSingle<frmECUfind>(S("frmECUfind"), host_);
}

void Form2::toolClosed(QWidget* tool) {
    Form1* display = dataDisplay();
    auto* logger = single<frmDataLog>(S("frmDataLog"));
    const bool liveShared = ReadMode == 4 && display && logger;
    if (liveShared && (tool == display || tool == logger)) {
        // Display and logger shared the stream: the other goes on with it, as it is.
        QWidget* other = tool == display ? static_cast<QWidget*>(logger) : display;
        if (link_->holds(tool))
            link_->handOver(
                tool, other,
                liveClaim(other, tool == display ? S("Data Logging") : S("Data Display")));
        ReadMode = tool == display ? 3 : 2;
        return;
    }
    const bool held = link_->holds(tool);
    link_->release(tool);
    // Only a tool that had the link hands it back with a fresh identification.
    if (held && !unloading_) btnConnect_Click();
}

// ---------------------------------------------------------------- start-up and status

void Form2::load() {
    settings_.writeStartupDefaults();
    connected = false;
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
    SpeedCorrect = *stored.speedCorrect;
    panels_[0]->setText(S("Spd Corr: ") + singleText(SpeedCorrect));
    panels_[1]->setText(settings_.read(S("Comms"), S("ComPort")) + S(" - ") +
                        settings_.read(S("Comms"), S("Speed")));
    if (!stored.mph) return;
    mph = *stored.mph;
    panels_[2]->setText(mph ? S("MPH") : S("KPH"));
    if (!stored.fahr) return;
    fahr = *stored.fahr;
    panels_[3]->setText(fahr ? S("Fahrenheit") : S("Celsius"));
    if (!stored.obd2) return;
    OBDIImodel = *stored.obd2;
    getSetup();
    btnDataReplay_->setEnabled(true);
    btnLogAnalyser_->setEnabled(true);
    const auto autoConnect = parseNumber(settings_.read(S("Comms"), S("AutoConnect")));
    if (autoConnect && *autoConnect == 1) btnConnect_Click();
}

void Form2::setProgBar() {
    ProgressBar1_->step();
}

bool Form2::afrDisplayEnabled() const {
    return btnAFR_->isEnabled();
}

void Form2::setProgBar2() {
    ProgressBar2_->step();
}

void Form2::getSetup() {
    kx::getSetup(settings_, fahr, mph, setup);
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
    if (state == EcuLink::State::Lost || state == EcuLink::State::NoAnswer ||
        state == EcuLink::State::WrongId || state == EcuLink::State::Closed) {
        lblEcuNo_->setText(NoPartNumber);
        for (QPushButton* b : ecuToolButtons())
            b->setEnabled(false);
    }
    showLinkStatus();
}

void Form2::onIdentified(const QString& part) {
    lblEcuNo_->setText(part);
    for (QPushButton* b : ecuToolButtons())
        b->setEnabled(b != btnMapTrace_ || !OBDIImodel);
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

// ---------------------------------------------------------------- wideband

namespace {
void setLabelColours(QLabel* label, const QColor& back, const QColor& text) {
    QPalette p = label->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, text);
    label->setPalette(p);
}
} // namespace

void Form2::btnConnect2_Click() {
    lblROMver_->setText(NoPartNumber);
    lblAFR_->setText(S("--.--"));
    setLabelColours(lblAFR_, palette().color(QPalette::Button),
                    palette().color(QPalette::ButtonText));
    wbLink_->connectWb();
}

frmWBO2* Form2::btnAFR_Click() {
    return showSingle<frmWBO2>(S("frmWBO2"), host_);
}

void Form2::onMeasured(const wb::Frame& frame) {
    // A palette change restyles the label: only when the colour changes.
    const QColor colour = colourFromBgr(wb::afrColour(frame.afr));
    if (lblAFR_->palette().color(QPalette::WindowText) != colour) {
        QPalette p = lblAFR_->palette();
        p.setColor(QPalette::WindowText, colour);
        lblAFR_->setPalette(p);
    }
    lblAFR_->setText(singleText(frame.afr));
    if (!btnAFR_->isEnabled()) btnAFR_->setEnabled(true);
    if (auto* w = single<frmWBO2>(S("frmWBO2")); w && w->isVisible()) w->WBO2show();
}

void Form2::onWbState(WbLink::State state) {
    QString note;
    const QString device = wbLink_->device();
    auto* window = single<frmWBO2>(S("frmWBO2"));
    switch (state) {
    case WbLink::State::Streaming: {
        setLabelColours(lblAFR_, colourFromBgr(readDisplayColours(settings_).back),
                        lblAFR_->palette().color(QPalette::WindowText));
        break;
    }
    case WbLink::State::NoReply:
        note = S("No reply from the wideband controller on %1").arg(device);
        break;
    case WbLink::State::Incompatible:
        note = S("The wideband controller is not compatible");
        break;
    case WbLink::State::Lost:
        // The figure and the AFR users stop looking live until frames come again.
        note = S("Wideband port %1 lost: %2. Trying again every 2 s.")
                   .arg(device, wbLink_->lastProblem());
        lblAFR_->setText(S("--.--"));
        btnAFR_->setEnabled(false);
        break;
    case WbLink::State::Silent:
        note = S("No data from the wideband controller on %1 since %2: asking again every 2 s.")
                   .arg(device, QLocale::c().toString(QTime::currentTime().addMSecs(
                                                          -WbLink::kSilenceMs),
                                                      S("HH:mm:ss")));
        lblAFR_->setText(S("--.--"));
        btnAFR_->setEnabled(false);
        break;
    default:
        break;
    }
    lblWbStatus_->setText(note);
    lblWbStatus_->setVisible(!note.isEmpty());
    const bool notLive = state == WbLink::State::Lost || state == WbLink::State::Silent;
    if (window) window->setLinkNote(notLive ? note : QString());
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
