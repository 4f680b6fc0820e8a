#pragma once
// Serial adapters that come back under another name: Linux may give a USB adapter that was
// pulled and put back the next free ttyUSBn, while its /dev/serial/by-id/ link keeps its name.
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

namespace kx {

inline constexpr char kByIdDir[] = "/dev/serial/by-id";

// What tells one USB adapter from another, whatever its device name.
struct AdapterId {
    quint16 vendor = 0;
    quint16 product = 0;
    QString serial;
    bool known() const { return vendor != 0 || product != 0; }
    bool operator==(const AdapterId&) const = default;
};

struct ByIdLink {
    QString path;   // the link, as a user would enter it
    QString device; // the device it resolves to now
};

// The links in `dir` with the devices they resolve to, sorted by path; links whose device is
// missing are left out.
QList<ByIdLink> byIdLinks(const QString& dir = QString::fromLatin1(kByIdDir));

// The link whose device is the adapter `id`, or "" when none is (or `id` is not known).
QString byIdPathOf(const AdapterId& id, const QList<ByIdLink>& links,
                   const std::function<AdapterId(const QString& device)>& identify);

// The vendor, product and serial number of a device as the system describes it.
AdapterId adapterIdOf(const QString& device);

// What to say when `device` is gone and the same adapter is at `byIdPath`.
QString movedAdapterNote(const QString& device, const QString& byIdPath);

// Remembers the adapter behind each bare device name opened, so that when the name is gone the
// by-id path of the same adapter can be offered.
class AdapterMemory {
public:
    using Identify = std::function<AdapterId(const QString& device)>;
    explicit AdapterMemory(QString byIdDir = QString::fromLatin1(kByIdDir),
                           Identify identify = adapterIdOf);
    void opened(const QString& device);
    // The note for a `device` that is gone, or "" when there is nothing to offer.
    QString noteForMissing(const QString& device) const;

private:
    QString dir_;
    Identify identify_;
    QMap<QString, AdapterId> seen_;
};

} // namespace kx
