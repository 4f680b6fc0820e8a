#pragma once
// Receive modes: which handler gets the ECU port's deliveries. Set only by a sequence's mode
// step, so a tool names the mode its stream runs in and the link alone switches to it.
#include <cstdint>

namespace kx {

enum class ReceiveMode : int16_t {
    None = 0,         // deliveries are read and dropped
    Identify = 1,     // the link's own: the connect and the part number
    LiveData = 2,     // the live-data stream of the display, the logger and kestrix-cli
    TimeTrial = 5,    // the one-register speed stream
    SelfDiag = 6,     // fault codes
    AddressWatch = 7, // one address, again and again
    RegisterTest = 8, // one register probed at a time
    RomFast = 11,     // the eight-address memory read
    RomSlow = 12,     // the one-address memory read
    MapRead = 13,     // a map's scales and cells
    MapTrace = 14,    // engine speed and throttle while tracing
    Dashboard = 15,   // the dashboard's stream
    EcuFind = 16,     // the ECU finder's probes
    Dyno = 17,        // engine speed, road speed and throttle for a pull
};

} // namespace kx
