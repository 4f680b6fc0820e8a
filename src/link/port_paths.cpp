#include "link/port_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace kx {

QList<ByIdLink> byIdLinks(const QString& dir) {
    QList<ByIdLink> links;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo& e : entries) {
        const QString device = e.canonicalFilePath(); // empty for a dangling link
        if (!device.isEmpty()) links.append({e.filePath(), device});
    }
    return links;
}

QString byIdPathOf(const AdapterId& id, const QList<ByIdLink>& links,
                   const std::function<AdapterId(const QString&)>& identify) {
    if (!id.known()) return {};
    const auto it = std::find_if(links.begin(), links.end(),
                                 [&](const ByIdLink& l) { return identify(l.device) == id; });
    return it == links.end() ? QString() : it->path;
}

AdapterId adapterIdOf(const QString& device) {
    const QSerialPortInfo info(device);
    if (!info.hasVendorIdentifier()) return {};
    return {info.vendorIdentifier(), info.productIdentifier(), info.serialNumber()};
}

QString movedAdapterNote(const QString& device, const QString& byIdPath) {
    // No full stop: the link's note goes on after it ("... Trying again every 2 s.").
    return QStringLiteral("%1 is gone; the same adapter is back as %2 (enter that path under "
                          "Settings, Communication: it keeps its name when the adapter is put "
                          "back)")
        .arg(device, byIdPath);
}

AdapterMemory::AdapterMemory(QString byIdDir, Identify identify)
    : dir_(std::move(byIdDir)), identify_(std::move(identify)) {}

void AdapterMemory::opened(const QString& device) {
    // A by-id path follows its adapter by itself; only bare names need remembering.
    if (device.startsWith(dir_ + u'/')) return;
    const AdapterId id = identify_(device);
    if (id.known()) seen_[device] = id;
}

QString AdapterMemory::noteForMissing(const QString& device) const {
    const auto it = seen_.find(device);
    if (it == seen_.end()) return {};
    const QString path = byIdPathOf(*it, byIdLinks(dir_), identify_);
    return path.isEmpty() ? QString() : movedAdapterNote(device, path);
}

} // namespace kx
