#include "tools/frmActiveTest.h"

#include "link/EcuLink.h"
#include "live/live_state.h"
#include "tools/active_test.h"
#include "ui/ui_helpers.h"
#include "util/text.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

namespace kx {

namespace {

const char* const NotSent = "The ECU port is closed: the test was not sent.";
const char* const NotStopped =
    "The ECU port is closed: the test was not stopped. Connect again, then press STOP.";
const char* const NotRestored = "The ECU port is closed: live data was not restored.";
const char* const NotCleared = "The ECU port is closed: the self-learned values were not cleared.";

QPushButton* button(const QString& caption, const QString& name, const QString& accessible) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAccessibleName(accessible);
    b->setMinimumWidth(70);
    return b;
}
} // namespace

frmActiveTest::frmActiveTest(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmActiveTest"));
    setWindowTitle(S("Active Test"));
    setAttribute(Qt::WA_DeleteOnClose);
    groups_.resize(GroupCount);
    const uint8_t tests[GroupCount] = {
        activetest::EngineTemp, activetest::AFBase,   activetest::Timing,
        activetest::AAC,        activetest::IACV,     activetest::CylinderOff,
        activetest::FuelPump,   activetest::BaseIdle, activetest::VCT};
    for (int g = 0; g < GroupCount; ++g)
        groups_[size_t(g)].test = tests[g];

    // Widgets are made in reading order, row by row, so Tab follows the layout.
    auto* grid = new QGridLayout;
    grid->addWidget(listGroup(EngineTemp, "Engine Temperature - select value", "Engine Temperature",
                              "cmbEngineTemp", "Temp"),
                    0, 0);
    grid->addWidget(listGroup(AFBase, "A/F Base - select value", "A/F Base", "cmbAFBase", "AFBase"),
                    0, 1);
    grid->addWidget(
        listGroup(Timing, "Base Timing - modify by", "Base Timing", "cmbTiming", "Timing"), 0, 2);
    grid->addWidget(listGroup(AAC, "AAC Valve - select value", "AAC Valve", "cmbAAC", "AAC"), 1, 0);
    grid->addWidget(listGroup(IACV, "IACV Valve - select value", "IACV Valve", "cmbIACV", "IACV"),
                    1, 1);
    grid->addWidget(cylinderGroup(), 1, 2);
    grid->addWidget(
        onOffGroup(FuelPump, "Fuel Pump", "Fuel Pump", "optFpumpOn", "optFpumpOff", "Fpump"), 2, 0);
    grid->addWidget(baseIdleGroup(), 2, 1);
    grid->addWidget(onOffGroup(VCT, "VCT", "VCT", "optVctOn", "optVctOff", "VCT"), 2, 2);
    for (int c = 0; c < 3; ++c)
        grid->setColumnStretch(c, 1);

    btnClearSL_ = button(S("CLEAR SELF LEARN"), S("btnClearSL"), S("CLEAR SELF LEARN"));
    btnClearSL_->setMinimumSize(170, 32);
    connect(btnClearSL_, &QPushButton::clicked, this, &frmActiveTest::btnClearSL_Click);
    auto* lblWarning = new QLabel(S("* Warning - inappropriate use may damage the engine"));
    lblWarning->setObjectName(S("lblWarning"));
    QFont bold = lblWarning->font();
    bold.setBold(true);
    lblWarning->setFont(bold);
    lblWarning->setStyleSheet(S("color: #c00000;"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnClearSL_);
    bottom->addSpacing(16);
    bottom->addWidget(lblWarning);
    bottom->addStretch();

    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    showsValue(lblStatus_, S("Status"));
    lblStatus_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->addWidget(lblStatus_);

    setIdle();
    closeOnEscape(this);
    nameForAccessibility(this);
}

// ---------------------------------------------------------------- groups

QWidget* frmActiveTest::buttonRow(int group, const char* shortName, const char* suffix,
                                  QWidget* box) {
    auto& g = groups_[size_t(group)];
    g.start = button(S("START"), S("btnStart") + S(suffix), S("START ") + S(shortName));
    g.stop = button(S("STOP"), S("btnStop") + S(suffix), S("STOP ") + S(shortName));
    connect(g.start, &QPushButton::clicked, this, [this, group] { btnStart_Click(group); });
    connect(g.stop, &QPushButton::clicked, this, [this, group] { btnStop_Click(group); });
    auto* row = new QHBoxLayout;
    row->addWidget(g.start);
    row->addWidget(g.stop);
    static_cast<QVBoxLayout*>(box->layout())->addStretch();
    static_cast<QVBoxLayout*>(box->layout())->addLayout(row);
    return box;
}

QWidget* frmActiveTest::listGroup(int group, const char* caption, const char* shortName,
                                  const char* listName, const char* suffix) {
    std::vector<TestValue> values;
    QString unit; // shown while nothing is chosen
    switch (group) {
    case EngineTemp:
        values = engineTempValues(host_.state.units.fahr);
        unit = host_.state.units.fahr ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C");
        break;
    case AFBase:
        values = afBaseValues();
        unit = S("75 to 125");
        break;
    case Timing:
        values = timingValues();
        unit = S("degrees");
        break;
    default:
        values = valveValues();
        unit = S("per cent");
        break;
    }
    auto* box = new QGroupBox(S(caption));
    box->setObjectName(S("fra") + S(suffix));
    auto* list = new QComboBox;
    list->setObjectName(S(listName));
    list->setAccessibleName(S(shortName) + S(" value"));
    for (const TestValue& v : values)
        list->addItem(v.text, int(v.param));
    list->setCurrentIndex(-1); // pick-only, nothing chosen yet
    list->setPlaceholderText(unit);
    list->setMaxVisibleItems(15);
    auto* l = new QVBoxLayout(box);
    l->addWidget(list);
    groups_[size_t(group)].param = [list]() -> std::optional<uint8_t> {
        if (list->currentIndex() < 0) return std::nullopt;
        return uint8_t(list->currentData().toInt());
    };
    return buttonRow(group, shortName, suffix, box);
}

QWidget* frmActiveTest::cylinderGroup() {
    auto* box = new QGroupBox(S("Cylinder Off"));
    box->setObjectName(S("fraCylinder"));
    auto* boxes = new QGridLayout;
    for (int k = 0; k < 8; ++k) {
        auto* c = new QCheckBox(QString::number(k + 1));
        c->setObjectName(S("chcCylinder") + QString::number(k));
        c->setAccessibleName(S("Cylinder ") + QString::number(k + 1));
        boxes->addWidget(c, k / 4, k % 4); // 1 to 4 above, 5 to 8 below
        chcCylinder_.push_back(c);
    }
    auto* l = new QVBoxLayout(box);
    l->addLayout(boxes);
    groups_[Cylinder].param = [this]() -> std::optional<uint8_t> {
        std::array<bool, 8> checked{};
        for (size_t k = 0; k < checked.size(); ++k)
            checked[k] = chcCylinder_[k]->isChecked();
        return cylinderMask(checked);
    };
    return buttonRow(Cylinder, "Cylinder Off", "Cylinder", box);
}

QWidget* frmActiveTest::onOffGroup(int group, const char* caption, const char* shortName,
                                   const char* onName, const char* offName, const char* suffix) {
    auto* box = new QGroupBox(S(caption));
    box->setObjectName(S("fra") + S(suffix));
    auto* on = new QRadioButton(S("On"));
    on->setObjectName(S(onName));
    on->setAccessibleName(S(shortName) + S(" On"));
    on->setChecked(true);
    auto* off = new QRadioButton(S("Off"));
    off->setObjectName(S(offName));
    off->setAccessibleName(S(shortName) + S(" Off"));
    auto* choices = new QHBoxLayout;
    choices->addWidget(on);
    choices->addWidget(off);
    choices->addStretch();
    auto* l = new QVBoxLayout(box);
    l->addLayout(choices);
    groups_[size_t(group)].param = [on]() -> std::optional<uint8_t> {
        return uint8_t(on->isChecked() ? 1 : 0);
    };
    return buttonRow(group, shortName, suffix, box);
}

QWidget* frmActiveTest::baseIdleGroup() {
    auto* box = new QGroupBox(S("Base Idle Adjustment"));
    box->setObjectName(S("fra8C"));
    new QVBoxLayout(box);
    groups_[BaseIdle].param = []() -> std::optional<uint8_t> { return uint8_t(0); };
    return buttonRow(BaseIdle, "Base Idle Adjustment", "8C", box);
}

// ---------------------------------------------------------------- button states

void frmActiveTest::setIdle() {
    for (auto& g : groups_) {
        g.start->setEnabled(true);
        g.stop->setEnabled(false);
    }
    btnClearSL_->setEnabled(true);
}

void frmActiveTest::setRunning(int group) {
    setAllDisabled();
    groups_[size_t(group)].stop->setEnabled(true);
}

void frmActiveTest::setAllDisabled() {
    for (auto& g : groups_) {
        g.start->setEnabled(false);
        g.stop->setEnabled(false);
    }
    btnClearSL_->setEnabled(false);
}

void frmActiveTest::showStatus(const QString& text) {
    lblStatus_->setText(text);
}

bool frmActiveTest::runOnLink(LinkSequence sequence) {
    EcuLink& link = host_.link;
    // A test re-arms live data: it must not break into another tool's own stream.
    if (link.holder() && !link.holderIsLiveData()) {
        showStatus(S("The ECU link is in use by %1: close it first.").arg(link.holderName()));
        return false;
    }
    link.run(this, std::move(sequence));
    return true;
}

// ---------------------------------------------------------------- handlers

void frmActiveTest::btnStart_Click(int group) {
    if (group < 0 || group >= GroupCount) return;
    const auto param = groups_[size_t(group)].param();
    if (!param) return;
    // Nothing else may start while the sequence runs; the buttons are set from its outcome.
    LinkSequence s =
        sendActiveTest(groups_[size_t(group)].test, *param, host_.launcher.iniFullData());
    s.onEnd([this, group](bool sent) {
        if (!sent) {
            showStatus(S(NotSent));
            setIdle();
            return;
        }
        showStatus(QString());
        setRunning(group);
    });
    setAllDisabled();
    if (!runOnLink(std::move(s))) setIdle();
}

void frmActiveTest::btnStop_Click(int group) {
    if (group < 0 || group >= GroupCount) return;
    LinkSequence s = restoreLiveData(host_.launcher.iniFullData());
    s.onEnd([this, group](bool restored) {
        if (!restored) {
            // The test may still be in force: STOP stays available for after a reconnect.
            showStatus(S(NotStopped));
            setRunning(group);
            return;
        }
        showStatus(QString());
        setIdle();
    });
    setAllDisabled();
    if (!runOnLink(std::move(s))) setRunning(group);
}

void frmActiveTest::btnClearSL_Click() {
    const LinkSequence live = host_.launcher.iniFullData();
    auto sent = std::make_shared<bool>(false);
    LinkSequence s = sendActiveTest(activetest::ClearSelfLearn, 0, live);
    // The ECU takes a second to forget; then live data as before.
    s.then([sent] { *sent = true; }).wait(1000).append(restoreLiveData(live));
    s.onEnd([this, sent](bool ok) {
        showStatus(ok ? QString() : *sent ? S(NotRestored) : S(NotCleared));
        setIdle();
    });
    setAllDisabled();
    if (!runOnLink(std::move(s))) setIdle();
}

void frmActiveTest::closeEvent(QCloseEvent* event) {
    // Nothing is written: a running test stays in force. A sequence in flight ends with it.
    host_.link.cancel(this);
    event->accept();
}

} // namespace kx
