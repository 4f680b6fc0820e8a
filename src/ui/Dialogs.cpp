#include "ui/Dialogs.h"

#include "ui/TonePlayer.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace kx {

bool Dialogs::question(QWidget*, const QString&) {
    return false;
}

bool Dialogs::mayReplace(QWidget* parent, const QString& path) {
    if (!QFileInfo::exists(path)) return true;
    return question(parent, QStringLiteral("The file '%1' already exists.\n\nReplace it?")
                                .arg(QDir::toNativeSeparators(path)));
}

QStringList Dialogs::openFileNames(QWidget* parent, const QString& dir, const QString& filter) {
    const QString one = openFileName(parent, dir, filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QtDialogs::QtDialogs() = default;
QtDialogs::~QtDialogs() = default;

void QtDialogs::message(QWidget* parent, const QString& text, MessageKind kind) {
    const auto icon = kind == MessageKind::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box(icon, QStringLiteral("Kestrix"), text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::question(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Kestrix"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString qtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(u';', u' ') + u')';
    return out.join(QStringLiteral(";;"));
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& dir, const QString& preset,
                                const QString& filter, const QString& defaultSuffix) {
    QFileDialog dlg(parent, QStringLiteral("Kestrix"), dir, qtFilter(filter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    // Every caller asks before it replaces a file, when it is about to; the chooser asking too
    // would ask twice.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setDefaultSuffix(defaultSuffix);
    dlg.selectFile(preset);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

QString QtDialogs::openFileName(QWidget* parent, const QString& dir, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Kestrix"), dir, qtFilter(filter));
}

QStringList QtDialogs::openFileNames(QWidget* parent, const QString& dir, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Kestrix"), dir, qtFilter(filter));
}

std::optional<uint32_t> QtDialogs::chooseColour(QWidget* parent, uint32_t initial) {
    const QColor start(int(initial & 0xFF), int((initial >> 8) & 0xFF),
                       int((initial >> 16) & 0xFF));
    const QColor c = QColorDialog::getColor(start, parent, QStringLiteral("Kestrix"));
    if (!c.isValid()) return std::nullopt;
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

void QtDialogs::beep() {
    // The player (and its thread) comes with the first beep: most sessions never beep.
    if (!tone_) tone_ = std::make_unique<TonePlayer>();
    tone_->play();
}

} // namespace kx
