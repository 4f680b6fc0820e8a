// kill_helper PATH COUNT [LIMIT]: starts a log at PATH, writes COUNT records, then dies by
// SIGKILL without closing anything, as a crash or a power cut of the process would. With a
// LIMIT, files may grow to LIMIT bytes only, as on a full disk, and a failed record ends the
// helper with exit code 4.
#include "logs/log_format.h"

#include <QString>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    if (argc == 4) {
        // Past the limit write() fails with EFBIG instead of raising SIGXFSZ.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = std::strtoul(argv[3], nullptr, 10);
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0) return 5;
    }
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
        if (writer.record(values, 1000 + 10u * static_cast<uint32_t>(i))) return 4;
    }
    std::raise(SIGKILL);
    return 0;
}
