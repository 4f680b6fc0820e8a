// The port set to a link that follows its adapter, as /dev/serial/by-id/ names do: after a
// hang-up the simulated ECU comes back on another pseudo-terminal, re-pointing the link, and
// Kestrix finds it again through the link on its own.
#include "link/EcuLink.h"
#include "support/sim_window.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kx;
using namespace kx::test;

TEST(PortPathsE2E, AStoredLinkIsFollowedToTheAdapterThatCameBack) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-Kestrix_sim_0001-if00-port0"));
    kxsim::SimOptions o = quietSim();
    o.linkPath = link.toStdString();
    o.hangupAfter = 30;
    o.reopenAfterMs = 1000;
    SimMainWindow k(o, [&](SettingsStore& s) { s.save("Comms", "ComPort", link); });
    ASSERT_TRUE(k.connectEcu());
    const QString first = QFileInfo(link).symLinkTarget();
    EXPECT_EQ(k.form().link().device(), link);

    ASSERT_TRUE(waitUntil([&] { return k.form().link().state() == EcuLink::State::Lost; }, 10000));
    EXPECT_EQ(k.partNumber(), "#####");
    // Another terminal takes the freed number, as another device would take ttyUSB0: the
    // simulator comes back under a new name.
    const int other = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    // The retry every 2 s opens the link, which now names the new pseudo-terminal.
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 15000));
    EXPECT_NE(QFileInfo(link).symLinkTarget(), first);
    EXPECT_EQ(k.sim.counters().hangups, 1u);
    ::close(other);
}
