#include "tools/probe_report.h"

#include "ui/ui_helpers.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kx {

ProbeReport makeProbeReport(const QString& frameTitle, const QString& frameName, int minWidth,
                            int minHeight) {
    ProbeReport r{};
    auto* lblQECU = new QLabel(QStringLiteral("Querying ECU"));
    lblQECU->setObjectName(QStringLiteral("lblQECU"));
    r.lblInfo = new QLabel;
    r.lblInfo->setObjectName(QStringLiteral("lblInfo"));
    showsValue(r.lblInfo, QStringLiteral("Progress"));
    r.lblInfo->setMinimumWidth(
        r.lblInfo->fontMetrics().horizontalAdvance(QStringLiteral("- Completed !  ")));
    r.status = new QHBoxLayout;
    r.status->addWidget(lblQECU);
    r.status->addWidget(r.lblInfo);
    r.status->addStretch();

    r.txtRegisters = new QPlainTextEdit;
    r.txtRegisters->setObjectName(QStringLiteral("txtRegisters"));
    r.txtRegisters->setReadOnly(true);
    showsValue(r.txtRegisters, frameTitle);
    r.txtRegisters->setMinimumSize(minWidth, minHeight);
    r.frame = new QGroupBox(frameTitle);
    r.frame->setObjectName(frameName);
    (new QVBoxLayout(r.frame))->addWidget(r.txtRegisters);
    return r;
}

} // namespace kx
