// An adapter that comes back under another name: the by-id links of a directory, and the note
// that offers the one of the same adapter when a bare device name is gone.
#include "link/SerialPort.h"
#include "link/link_messages.h"
#include "link/port_paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

namespace {
// A fake /dev: device files, and a by-id directory of links to them.
struct FakeDev {
    QTemporaryDir root;
    QString byId = root.filePath(QStringLiteral("serial/by-id"));
    FakeDev() { QDir().mkpath(byId); }
    QString device(const QString& name) {
        const QString path = root.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return QFileInfo(path).canonicalFilePath();
    }
    QString link(const QString& name, const QString& target) {
        const QString path = byId + u'/' + name;
        EXPECT_TRUE(QFile::link(target, path));
        return path;
    }
};
} // namespace

TEST(PortPaths, OffersTheByIdPathOfTheSameAdapterWhenItsNameIsGone) {
    FakeDev dev;
    const AdapterId ftdi{0x0403, 0x6001, QStringLiteral("A50285BI")};
    const AdapterId other{0x0403, 0x6001, QStringLiteral("B1")}; // same model, another unit
    QMap<QString, AdapterId> ids;
    const QString usb0 = dev.device(QStringLiteral("ttyUSB0"));
    ids[usb0] = ftdi;
    AdapterMemory memory(dev.byId, [&](const QString& d) { return ids.value(d); });
    memory.opened(usb0);
    const QString unknown = dev.device(QStringLiteral("ttyS0")); // no USB identity
    memory.opened(unknown);
    const QString viaLink = dev.link(QStringLiteral("usb-old"), usb0);
    memory.opened(viaLink); // a by-id path follows its adapter by itself

    // Pulled: ttyUSB0 is gone and nothing came back yet.
    QFile::remove(usb0);
    EXPECT_EQ(memory.noteForMissing(usb0), QString());
    // Another unit of the same model, and a dangling link, are not offered; the same one is.
    ids[dev.device(QStringLiteral("ttyUSB1"))] = other;
    dev.link(QStringLiteral("usb-B1"), dev.root.filePath(QStringLiteral("ttyUSB1")));
    EXPECT_EQ(memory.noteForMissing(usb0), QString());
    const QString usb2 = dev.device(QStringLiteral("ttyUSB2"));
    ids[usb2] = ftdi;
    const QString back = dev.link(QStringLiteral("usb-FTDI_A50285BI"), usb2);
    const QString note = memory.noteForMissing(usb0);
    EXPECT_EQ(note, movedAdapterNote(usb0, back));
    EXPECT_TRUE(note.startsWith(usb0 + QStringLiteral(" is gone;"))) << note.toStdString();
    EXPECT_EQ(memory.noteForMissing(unknown), QString());
    EXPECT_EQ(memory.noteForMissing(viaLink), QString());

    // The links resolved, sorted, the dangling one left out.
    const QList<ByIdLink> links = byIdLinks(dev.byId);
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0].path, dev.byId + QStringLiteral("/usb-B1"));
    EXPECT_EQ(links[1].device, usb2);

    // The message box says it under "Invalid Port number"; a plain missing port says no more.
    const QString moved = movedAdapterNote(QStringLiteral("/dev/ttyUSB0"),
                                           QStringLiteral("/dev/serial/by-id/usb-FTDI-port0"));
    EXPECT_EQ(portErrorText(PortInvalid, QStringLiteral("/dev/ttyUSB0"), moved),
              QStringLiteral("Invalid Port number\n\n") + moved);
    EXPECT_EQ(portErrorText(PortInvalid, usb0, QStringLiteral("No such file or directory")),
              QStringLiteral("Invalid Port number"));
}
