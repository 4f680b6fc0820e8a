#include "tools/frmMapTrace.h"

#include "ui/ui_helpers.h"
#include "util/text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr int kCorrectionWidth = 400;
} // namespace

void frmMapTrace::buildWindow() {
    grid_ = new MapTraceGrid(m_);
    connect(grid_, &MapTraceGrid::viewChanged, this, &frmMapTrace::showCoverage);
    correction_ = new FuelCorrectionPanel(m_, files_);
    connect(correction_, &FuelCorrectionPanel::changed, this, &frmMapTrace::showCoverage);
    connect(grid_, &MapTraceGrid::lockToggled, correction_, &FuelCorrectionPanel::toggleLock);
    readouts_ = new MapTraceReadouts;
    btnClear_ = namedButton(nullptr, S("btnClear"), S("Clear Trace"));
    btnSetup_ = namedButton(nullptr, S("btnSetup"), S("Set Up..."));
    connect(btnSetup_, &QPushButton::clicked, this, &frmMapTrace::openSetup);
    btnOpenMap_ = namedButton(nullptr, S("btnOpenMap"), S("Open Map..."));
    btnSaveMap_ = namedButton(nullptr, S("btnSaveMap"), S("Save Map..."));
    btnAddLogs_ = namedButton(nullptr, S("btnAddLogs"), S("Add Logs..."));
    btnExportCoverage_ = namedButton(nullptr, S("btnExportCoverage"), S("Export Coverage..."));
    // Until the map is read or opened.
    for (QPushButton* b : {btnClear_, btnSaveMap_, btnAddLogs_, btnExportCoverage_})
        b->setEnabled(false);
    connect(btnClear_, &QPushButton::clicked, this, &frmMapTrace::btnClear_Click);
    connect(btnOpenMap_, &QPushButton::clicked, this, &frmMapTrace::btnOpenMap_Click);
    connect(btnSaveMap_, &QPushButton::clicked, this, &frmMapTrace::btnSaveMap_Click);
    connect(btnAddLogs_, &QPushButton::clicked, this, &frmMapTrace::btnAddLogs_Click);
    connect(btnExportCoverage_, &QPushButton::clicked, this, &frmMapTrace::btnExportCoverage_Click);

    auto* side = new QVBoxLayout;
    side->addWidget(readouts_);
    side->addStretch();
    for (QPushButton* b :
         {btnSetup_, btnOpenMap_, btnSaveMap_, btnAddLogs_, btnExportCoverage_, btnClear_})
        side->addWidget(b);

    lblCoverage_ = new QLabel;
    lblCoverage_->setObjectName(S("lblCoverage"));
    lblCoverage_->setWordWrap(true);
    showsValue(lblCoverage_, S("Coverage"));
    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    showsValue(lblStatus_, S("Map trace"));

    // A 1366 x 768 laptop with its taskbar: the correction beside the grid, not below it.
    auto* mapColumn = new QVBoxLayout;
    mapColumn->addWidget(grid_->showBox());
    mapColumn->addWidget(grid_);
    mapColumn->addWidget(grid_->scaleLabel());
    mapColumn->addWidget(lblCoverage_);
    mapColumn->addWidget(lblStatus_);
    mapColumn->addStretch();
    correction_->setFixedWidth(kCorrectionWidth);
    auto* correctionColumn = new QVBoxLayout;
    correctionColumn->addWidget(correction_);
    correctionColumn->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(mapColumn);
    layout->addLayout(side);
    layout->addLayout(correctionColumn);

    // Tab follows the layout: the views above the grid, the buttons beside it, the correction.
    const char* const order[] = {
        "optMap",       "optHits",       "optWBo2",           "optTarget",       "optChange",
        "optSuggested", "optDifference", "lblMapCell33",      "btnSetup",        "btnOpenMap",
        "btnSaveMap",   "btnAddLogs",    "btnExportCoverage", "btnClear",        "chkRange",
        "chkCold",      "chkThrottle",   "chkSettle",         "chkGap",          "spnMinHits",
        "spnMaxChange", "btnOpenTarget", "btnSaveTarget",     "btnSaveSuggested"};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(findChild<QWidget*>(S(order[i - 1])), findChild<QWidget*>(S(order[i])));
    closeOnEscape(this);
    nameForAccessibility(this);
}

} // namespace kx
