// The ROM data reader and the address watch on the main window's in-memory ECU port.
#include "support/main_window.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmRomData.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
using Writes = QList<QByteArray>;

QString text(QWidget* w, const char* name) {
    return child<QLabel>(w, name)->text();
}

// The ECU's answer to a stream start: its acknowledgement, then the frame repeated.
QByteArray stream(const QByteArray& frame) {
    // The reply counts once the next frame repeats it; a third header confirms the second.
    return hex("0f") + frame + frame + frame;
}

struct RomWindow {
    MainWindow w;
    frmRomData* win = nullptr;
    QString path;

    explicit RomWindow(const char* start, const char* stop, bool slow = false) {
        w.connectEcu();
        w.find<QPushButton>("btnRomData")->click();
        w.settle();
        win = w.form->findChild<frmRomData*>();
        path = w.dir.filePath("dump.bin");
        child<QLineEdit>(win, "txtPath")->setText(path);
        child<QLineEdit>(win, "txtStart")->setText(QString::fromLatin1(start));
        child<QLineEdit>(win, "txtEnd")->setText(QString::fromLatin1(stop));
        if (slow) child<QRadioButton>(win, "optSlow")->setChecked(true);
        w.ecu->writes.clear();
    }
    void read() {
        child<QPushButton>(win, "btnRead")->click();
        w.settle();
    }
    QByteArray file() {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    }
};
} // namespace

TEST(RomDataWindow, FastDumpRequestsEightAddressesAndReplacesTheFile) {
    RomWindow r("8001", "800E");
    {
        QFile old(r.path); // a longer file from before: none of it may stay
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100, 'x'));
    }
    EXPECT_EQ(r.win->windowTitle(), "Rom Data");
    EXPECT_EQ(r.w.form->link().readMode(), ReceiveMode::Identify); // unchanged until reading
    r.w.dialogs.questionAnswers.push_back(true);
    r.read();
    ASSERT_EQ(r.w.dialogs.questions.size(), 1); // asked before the file is replaced
    EXPECT_EQ(child<QLineEdit>(r.win, "txtStart")->text(), "8000");
    EXPECT_EQ(child<QLineEdit>(r.win, "txtEnd")->text(), "800F");
    EXPECT_EQ(r.w.form->link().readMode(), ReceiveMode::RomFast);
    EXPECT_EQ(r.w.ecu->writes, (Writes{hex("c98000c98001c98002c98003"),
                                       hex("c98004c98005c98006c98007"), hex("f0")}));
    EXPECT_EQ(r.w.ecu->threshold(), 23);
    EXPECT_EQ(text(r.win, "lblAddress"), "8007");
    EXPECT_FALSE(child<QPushButton>(r.win, "btnRead")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(r.win, "btnStop")->isEnabled());

    r.w.ecu->writes.clear();
    r.w.ecu->feed(stream(hex("ff080001020304050607")));
    r.w.settle();
    EXPECT_EQ(r.w.ecu->writes.value(0), hex("30"));
    EXPECT_EQ(r.w.ecu->writes.value(1), hex("c98008c98009c9800ac9800b"));
    EXPECT_EQ(text(r.win, "lblAddress"), "800F");
    EXPECT_EQ(child<QProgressBar>(r.win, "prgBar")->value(), 15);
    // Another count byte is not a reply: the block is asked for again at once.
    r.w.ecu->writes.clear();
    r.w.ecu->feed(stream(hex("ff03010203")).repeated(3));
    r.w.settle();
    EXPECT_EQ(r.w.ecu->writes, (Writes{hex("30"), hex("c98008c98009c9800ac9800b"),
                                       hex("c9800cc9800dc9800ec9800f"), hex("f0")}));
    EXPECT_FALSE(text(r.win, "lblRate").isEmpty());
    r.w.ecu->feed(stream(hex("ff0808090a0b0c0d0eff")));
    r.w.settle();
    EXPECT_EQ(r.file(), hex("000102030405060708090a0b0c0d0eff"));
    EXPECT_TRUE(child<QPushButton>(r.win, "btnRead")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(r.win, "btnStop")->isEnabled());
    EXPECT_EQ(r.w.store->read("RomData", "StartAddress"), "8000");
    EXPECT_EQ(r.w.store->read("RomData", "StopAddress"), "800F");
    EXPECT_TRUE(r.w.dialogs.messages.isEmpty());
}

TEST(RomDataWindow, SlowDumpWakesTheEcuBeforeEachAddress) {
    RomWindow r("8000", "800F", true);
    r.read();
    EXPECT_EQ(r.w.form->link().readMode(), ReceiveMode::RomSlow);
    for (int a = 0; a < 16; ++a) {
        const int times = a % 2 ? 3 : 2;
        EXPECT_EQ(r.w.ecu->writes,
                  (Writes{hex("ffffef"), memoryRead(0xC9, uint16_t(0x8000 + a)).repeated(times),
                          hex("f0")}))
            << a;
        EXPECT_EQ(r.w.ecu->threshold(), 2 * times + 7);
        EXPECT_EQ(text(r.win, "lblAddress"), QString::number(0x8000 + a, 16).toUpper());
        r.w.ecu->writes.clear();
        r.w.ecu->feed(
            stream(QByteArray("\xFF", 1) + char(times) + QByteArray(times, char(a * 16))));
        r.w.settle();
        EXPECT_EQ(r.w.ecu->writes.value(0), hex("30"));
        r.w.ecu->writes.removeFirst();
    }
    EXPECT_TRUE(r.w.ecu->writes.isEmpty());
    EXPECT_EQ(r.file().size(), 16);
    EXPECT_EQ(uint8_t(r.file()[15]), 0xF0);
}

TEST(RomDataWindow, RefusedEntriesAndUnwritableFilesSendNothing) {
    const struct {
        const char* start;
        const char* stop;
        const char* message;
    } cases[] = {{"9000", "8FFF", "Invalid Start Address"},
                 {"8000", "8G0F", "Invalid Stop Address"}};
    for (const auto& c : cases) {
        RomWindow r(c.start, c.stop);
        r.read();
        EXPECT_EQ(r.w.dialogs.messages, QStringList{QString::fromLatin1(c.message)}) << c.start;
        EXPECT_EQ(r.w.dialogs.messageKinds.back(), MessageKind::Warning);
        EXPECT_TRUE(r.w.ecu->writes.isEmpty());
        EXPECT_FALSE(QFile::exists(r.path));
    }
    RomWindow r("8000", "80FF");
    const QString bad = r.w.dir.filePath("no-such-dir/rom.bin");
    child<QLineEdit>(r.win, "txtPath")->setText(bad);
    r.read();
    ASSERT_EQ(r.w.dialogs.messages.size(), 1);
    EXPECT_TRUE(r.w.dialogs.messages[0].contains(bad)) << r.w.dialogs.messages[0].toStdString();
    EXPECT_TRUE(r.w.ecu->writes.isEmpty());
    EXPECT_TRUE(child<QPushButton>(r.win, "btnRead")->isEnabled());
    EXPECT_FALSE(r.win->downloading());
}

// A read command that is not hexadecimal is refused with its reason, not sent as C9.
TEST(MemoryTools, NeitherStartsWithoutAHexadecimalReadCommand) {
    for (const char* stored : {"G1", "", "1C9"}) {
        SCOPED_TRACE(stored);
        RomWindow r("8000", "80FF");
        r.w.store->save("Comms", "RomComm", stored);
        r.read();
        ASSERT_EQ(r.w.dialogs.messages.size(), 1);
        EXPECT_TRUE(r.w.dialogs.messages[0].contains(QStringLiteral("command \"%1\"").arg(stored)))
            << r.w.dialogs.messages[0].toStdString();
        EXPECT_EQ(r.w.dialogs.messageKinds[0], MessageKind::Warning);
        EXPECT_TRUE(r.w.ecu->writes.isEmpty());
        EXPECT_FALSE(r.win->downloading());
        EXPECT_FALSE(QFile::exists(r.path));
        r.win->close();
        r.w.settle();

        r.w.find<QAction>("mnuFAddressWatch")->trigger();
        r.w.settle();
        auto* watch = r.w.form->findChild<frmAdrWatch*>();
        ASSERT_NE(watch, nullptr);
        r.w.ecu->writes.clear();
        child<QPushButton>(watch, "btnStart")->click();
        r.w.settle();
        EXPECT_EQ(r.w.dialogs.messages.size(), 2);
        EXPECT_TRUE(r.w.dialogs.messages.last().contains(QStringLiteral("\"%1\"").arg(stored)));
        EXPECT_TRUE(r.w.ecu->writes.isEmpty());
    }
}

TEST(RomDataWindow, StopWithoutAReplyEndsWithTheBytesReadAndCloseKeepsThem) {
    RomWindow r("8000", "80FF");
    r.read();
    r.w.ecu->feed(stream(hex("ff080001020304050607")));
    r.w.settle();
    // The second reply never comes: the request goes out again, and Stop ends the dump.
    r.w.ecu->writes.clear();
    ASSERT_TRUE(
        waitUntil([&] { return r.w.ecu->writes.contains(hex("f0")); }, ReplyWatch::kWaitMs + 2000));
    EXPECT_EQ(r.w.ecu->writes.first(), hex("30"));
    child<QPushButton>(r.win, "btnStop")->click();
    ASSERT_TRUE(waitUntil([&] { return !r.win->downloading(); }, 10000));
    r.w.settle();
    EXPECT_EQ(r.file(), hex("0001020304050607"));
    EXPECT_TRUE(text(r.win, "lblStatus").contains("8008"))
        << text(r.win, "lblStatus").toStdString();
    EXPECT_EQ(r.w.ecu->writes.last(), hex("30"));
    EXPECT_TRUE(child<QPushButton>(r.win, "btnRead")->isEnabled());

    // Stopped before its first byte: the file the user agreed to replace stays as it was.
    r.w.dialogs.questionAnswers.push_back(true);
    r.read();
    child<QPushButton>(r.win, "btnStop")->click();
    ASSERT_TRUE(waitUntil([&] { return !r.win->downloading(); }, 10000));
    EXPECT_EQ(r.file(), hex("0001020304050607"));
    EXPECT_TRUE(text(r.win, "lblStatus").contains("left as it was"))
        << text(r.win, "lblStatus").toStdString();

    // Closing in the middle of another dump: the file holds what came, and the link reconnects.
    r.w.dialogs.questionAnswers.push_back(true); // replace the first dump
    r.read();
    r.w.ecu->feed(stream(hex("ff081011121314151617")));
    QPointer<frmRomData> win = r.win;
    win->close();
    r.w.settle();
    EXPECT_TRUE(win.isNull());
    EXPECT_EQ(r.file(), hex("1011121314151617"));
    EXPECT_EQ(r.w.form->link().readMode(), ReceiveMode::Identify);
}

TEST(AdrWatchWindow, StartStreamsThreeAddressesAndRowsTrackMaxAndMin) {
    MainWindow w;
    w.connectEcu();
    w.find<QAction>("mnuFAddressWatch")->trigger(); // F11
    w.settle();
    auto* win = w.form->findChild<frmAdrWatch*>();
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::AddressWatch);
    EXPECT_EQ(child<QLineEdit>(win, "txtAddress2")->text(), "0001"); // from the settings
    auto rowText = [&](int i) {
        const QString n = QString::number(i);
        return text(win, qPrintable("lblMax" + n)) + "|" + text(win, qPrintable("lblCur" + n)) +
               "|" + text(win, qPrintable("lblMin" + n));
    };
    EXPECT_EQ(rowText(1), "0||FF");

    // An empty box fails the pattern.
    child<QLineEdit>(win, "txtAddress1")->setText("");
    child<QPushButton>(win, "btnStart")->click();
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid Address 1"});

    for (int i = 1; i <= 3; ++i)
        child<QLineEdit>(win, qPrintable(QStringLiteral("txtAddress%1").arg(i)))
            ->setText(QStringLiteral("100%1").arg(i - 1));
    w.ecu->writes.clear();
    child<QPushButton>(win, "btnStart")->click();
    w.settle();
    EXPECT_EQ(w.ecu->writes, (Writes{hex("c91000c91001c91002"), hex("f0")}));
    EXPECT_EQ(w.ecu->threshold(), 10);
    EXPECT_FALSE(child<QLineEdit>(win, "txtAddress1")->isEnabled());

    // The first value counts once the next frame agrees with it.
    w.ecu->feed(hex("ff031200ffff031200ff"));
    EXPECT_EQ(rowText(1), "0||FF");
    w.ecu->feed(hex("ff031200ffff031200ff"));
    EXPECT_EQ(rowText(1) + " " + rowText(2) + " " + rowText(3), "12|12|12 0|0|0 FF|FF|FF");
    w.ecu->feed(hex("ff030500ffff030500ff"));
    EXPECT_EQ(rowText(1), "12|5|5");
    w.ecu->feed(hex("ff0899ff0899ff0899ff")); // another count byte
    EXPECT_EQ(rowText(1), "12|5|5");

    w.ecu->writes.clear();
    child<QPushButton>(win, "btnStop")->click();
    w.settle();
    EXPECT_EQ(w.ecu->writes, (Writes{hex("30")}));
    EXPECT_EQ(w.store->read("AdrWatch", "Address3"), "1002");
    EXPECT_EQ(rowText(1), "12|5|5"); // the labels keep their values

    child<QLineEdit>(win, "txtAddress2")->setText("2000");
    EXPECT_EQ(rowText(1) + " " + rowText(2), "12|5|5 0||FF");
    win->close();
    w.settle();
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}
