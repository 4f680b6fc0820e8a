#include "logs/frmDataLog.h"

#include "app/Dialogs.h"
#include "app/Form2.h"
#include "app/settings_store.h"
#include "app/ui_helpers.h"
#include "live/display_layout.h"
#include "util/text.h"
#include "util/ticks.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
const QString DataLog = QStringLiteral("DataLog");
QString paramKey(int gauge) {
    return QStringLiteral("Param%1").arg(gauge);
}
QString regKey(int indicator) {
    return QStringLiteral("Reg%1").arg(indicator);
}
} // namespace

QString frmDataLog::defaultName(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return QString::number(d.year()) + QString::number(d.month()) + QString::number(d.day()) +
           QString::number(t.hour()) + QString::number(t.minute());
}

frmDataLog::frmDataLog(Form2& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(S("frmDataLog"));
    setWindowTitle(S("Data Logging"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto& s = main_.settings();
    if (s.read(DataLog, S("Path")).isEmpty())
        s.save(DataLog, S("Path"), QDir::currentPath() + QDir::separator());
    if (s.read(DataLog, S("Param0")).isEmpty()) {
        for (int g = 0; g < kLogGaugeCount; ++g)
            s.save(DataLog, paramKey(g), S("1"));
        for (int i = 0; i < kLogIndicatorCount; ++i)
            s.save(DataLog, regKey(i), S("1"));
    }

    auto* location = new QGroupBox(S("Logfile location"));
    auto* ll = new QGridLayout(location);
    lblDirectory_ = new QLabel(s.read(DataLog, S("Path")));
    lblDirectory_->setObjectName(S("lblDirectory"));
    showsValue(lblDirectory_, S("Directory:"));
    lblDirectory_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    txtPath_ = new QLineEdit(defaultName(QDateTime::currentDateTime()) + S(".log"));
    txtPath_->setObjectName(S("txtPath"));
    btnBrowse_ = new QPushButton(S("Browse"));
    btnBrowse_->setObjectName(S("btnBrowse"));
    auto* dirCaption = new QLabel(S("Directory:"));
    auto* fileCaption = new QLabel(S("File Name:"));
    fileCaption->setBuddy(txtPath_);
    ll->addWidget(dirCaption, 0, 0);
    ll->addWidget(lblDirectory_, 0, 1, 1, 2);
    ll->addWidget(fileCaption, 1, 0);
    ll->addWidget(txtPath_, 1, 1);
    ll->addWidget(btnBrowse_, 1, 2);
    ll->setColumnStretch(1, 1);

    btnStart_ = new QPushButton(S("START"));
    btnStart_->setObjectName(S("btnStart"));
    btnStop_ = new QPushButton(S("STOP"));
    btnStop_->setObjectName(S("btnStop"));
    btnStop_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnStop_);
    buttons->addStretch();

    auto* params = new QGroupBox(S("Select parameters to log"));
    auto* pl = new QGridLayout(params);
    for (int g = 0; g < kLogGaugeCount; ++g) {
        auto* c = new QCheckBox(S(kLogGaugeCaptions[size_t(g)]));
        c->setObjectName(QStringLiteral("chcLog%1").arg(g));
        c->setEnabled(false);
        chcLog_[size_t(g)] = c;
        pl->addWidget(c, g % 9, g / 9);
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        auto* c = new QCheckBox(S(kLogIndicatorNames[size_t(i)]));
        c->setObjectName(QStringLiteral("chcLogStr%1").arg(i));
        c->setEnabled(false);
        chcLogStr_[size_t(i)] = c;
        pl->addWidget(c, i % 9, 3 + i / 9);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(location);
    layout->addLayout(buttons);
    layout->addWidget(params);

    connect(btnStart_, &QPushButton::clicked, this, &frmDataLog::btnStart_Click);
    connect(btnStop_, &QPushButton::clicked, this, &frmDataLog::btnStop_Click);
    connect(btnBrowse_, &QPushButton::clicked, this, &frmDataLog::btnBrowse_Click);

    // The boxes the current live-data request can fill, set from the stored choice.
    const auto& sel = main_.setup.displaySelection;
    for (int slot = 0; slot < 12; ++slot) {
        const int g = sel[size_t(slot)];
        if (g >= kLogGaugeCount) continue;
        chcLog_[size_t(g)]->setEnabled(true);
        chcLog_[size_t(g)]->setChecked(s.read(DataLog, paramKey(g)) == u"1");
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        if (sel[size_t(indicatorFlag(i))] != 1) continue;
        chcLogStr_[size_t(i)]->setEnabled(true);
        chcLogStr_[size_t(i)]->setChecked(s.read(DataLog, regKey(i)) == u"1");
    }

    closeOnEscape(this);
    nameForAccessibility(this);
}

frmDataLog::~frmDataLog() = default;

bool frmDataLog::isLogging() const {
    return btnStop_->isEnabled();
}

LogSelection frmDataLog::selection() const {
    LogSelection sel;
    for (int g = 0; g < kLogGaugeCount; ++g)
        sel.gauges[size_t(g)] = chcLog_[size_t(g)]->isChecked();
    for (int i = 0; i < kLogIndicatorCount; ++i)
        sel.indicators[size_t(i)] = chcLogStr_[size_t(i)]->isChecked();
    return sel;
}

void frmDataLog::btnStart_Click() {
    LogGaugeNames names;
    for (int g = 0; g < kLogGaugeCount; ++g)
        names[size_t(g)] = main_.setup.gaugeCatalogue[size_t(g)].name();
    const QString path = lblDirectory_->text() + txtPath_->text();
    if (const auto error = writer_.start(path, names, selection(), ticks())) {
        // The file could not be made: say why and stay idle.
        main_.dialogs().message(this, *error);
        return;
    }
    btnStart_->setEnabled(false);
    btnBrowse_->setEnabled(false);
    btnStop_->setEnabled(true);
    auto& s = main_.settings();
    for (int g = 0; g < kLogGaugeCount; ++g)
        s.save(DataLog, paramKey(g), chcLog_[size_t(g)]->isChecked() ? S("1") : S("0"));
    for (int i = 0; i < kLogIndicatorCount; ++i)
        s.save(DataLog, regKey(i), chcLogStr_[size_t(i)]->isChecked() ? S("1") : S("0"));
}

void frmDataLog::btnStop_Click() {
    writer_.stop();
    btnStart_->setEnabled(true);
    btnBrowse_->setEnabled(true);
    btnStop_->setEnabled(false);
}

void frmDataLog::saveLogData() {
    if (!isLogging()) return;
    LogValues values;
    values.gauges = main_.live.gaugeValue;
    values.states = main_.live.switchState;
    if (const auto error = writer_.record(selection(), values, ticks())) failLogging(*error);
}

void frmDataLog::failLogging(const QString& error) {
    // A record could not be written (a full disk, a pulled USB stick): stop, keep what is in
    // the file, and tell the user once the receive event is over.
    btnStop_Click();
    QPointer<frmDataLog> self(this);
    QTimer::singleShot(0, this, [self, error] {
        if (self) self->main_.dialogs().message(self, error + S("\n\nLogging has stopped."));
    });
}

void frmDataLog::btnBrowse_Click() {
    QPointer<frmDataLog> self(this);
    main_.stopData();
    if (!self) return;
    const QString chosen = main_.dialogs().saveFileName(this, lblDirectory_->text(),
                                                        defaultName(QDateTime::currentDateTime()),
                                                        S(kLogFileFilter), S("log"));
    if (!self) return;
    if (!chosen.isEmpty()) {
        const QFileInfo f(chosen);
        const QString dir = f.absolutePath() + QDir::separator();
        lblDirectory_->setText(dir);
        txtPath_->setText(f.fileName());
        main_.settings().save(DataLog, S("Path"), dir);
    }
    main_.iniFullData();
    main_.startData();
}

void frmDataLog::closeEvent(QCloseEvent* event) {
    writer_.stop();
    event->accept();
    if (main_.ReadMode == 4) {
        main_.ReadMode = 2; // the data display goes on without logging
    } else if (main_.ReadMode == 3) {
        QPointer<Form2> main(&main_);
        QTimer::singleShot(0, &main_, [main] {
            if (main) main->btnConnect_Click();
        });
    }
}

} // namespace kx
