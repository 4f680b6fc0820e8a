#include "app/help_menu.h"

#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/data_files.h"
#include "util/text.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace kx {

void showAboutBox(QWidget* parent) {
    auto* box = new QDialog(parent);
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
    QObject::connect(ok, &QDialogButtonBox::accepted, box, &QDialog::accept);
    l->addWidget(name);
    l->addWidget(version);
    l->addWidget(what);
    l->addWidget(ok);
    nameForAccessibility(box);
    // Modal, but shown without a nested loop so nothing waits on it.
    box->setModal(true);
    box->show();
}

void showUserGuide(QWidget* parent, Dialogs& dialogs) {
    const QString guide = findUserGuide(QCoreApplication::applicationDirPath());
    if (guide.isEmpty()) {
        dialogs.message(parent,
                        S("The user guide is not installed with this copy of Kestrix (%1 was "
                          "not found beside the program or in the system's data folders). It "
                          "is docs/guide.md in Kestrix's sources.")
                            .arg(S(kUserGuideFile)),
                        MessageKind::Warning);
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(guide))) {
        dialogs.message(parent, S("No program here opens %1: open it in a web browser.").arg(guide),
                        MessageKind::Warning);
    }
}

} // namespace kx
