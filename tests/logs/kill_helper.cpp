// kill_helper PATH COUNT: starts a log at PATH, writes COUNT records, then dies by SIGKILL
// without closing anything, as a crash or a power cut of the process would.
#include "logs/log_format.h"

#include <QString>
#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLatin1(argv[2]).toInt();
    kx::LogGaugeNames names;
    names[0] = "RPM";
    names[7] = "Battery";
    kx::LogSelection sel;
    sel.gauges[0] = sel.gauges[7] = true;
    sel.indicators[0] = true;
    kx::LogValues values;
    values.states[0] = "On";
    static kx::LogWriter writer; // never destroyed: the kill comes first
    if (writer.start(path, names, sel, 1000)) return 3;
    for (int i = 0; i < count; ++i) {
        values.gauges[0] = static_cast<float>(800 + i);
        values.gauges[7] = 14.08f;
        if (writer.record(sel, values, 1000 + 10u * static_cast<uint32_t>(i))) return 4;
    }
    std::raise(SIGKILL);
    return 0;
}
