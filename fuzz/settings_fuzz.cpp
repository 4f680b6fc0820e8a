// A settings file from someone else (kestrix-cli --settings): every reader of it ends in values
// it can use, whatever the file holds.
#include "dyno/dyno.h"
#include "live/gauge_setup.h"
#include "live/live_data.h"
#include "link/EcuLink.h"
#include "live/spike_filter.h"
#include "logs/log_selection.h"
#include "util/settings_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    static QTemporaryDir dir;
    static uint64_t run = 0;
    // A name per run: the settings layer keeps what it read of a file it has seen.
    const QString path = dir.filePath(QStringLiteral("%1.ini").arg(++run));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const SettingsStore store(path);
    const StoredUnits units = readStoredUnits(store);
    GaugeSetup setup;
    getSetup(store, units.fahr.value_or(false), units.mph.value_or(false), setup);
    // A selection the ECU can be asked for is one its frames decode whole.
    if (!fullDataRequest(setup).isEmpty()) {
        QByteArray frame(setup.displayByteCount + 2, char(0x10));
        frame[0] = char(0xFF);
        frame[1] = char(setup.displayByteCount);
        if (!decodesWhole(readFrame(frame, setup), setup)) __builtin_trap();
    }
    const LogSelection columns = storedLogSelection(store, setup);
    (void)columns;
    if (storedEcuBaud(store) <= 0) __builtin_trap();
    const VehicleInputs in = readVehicleInputs(store);
    (void)vehicleInputsProblem(in);
    QFile::remove(path);
    return 0;
}
