#include "live/GaugeInfo.h"

#include <limits>

namespace kx {

bool GaugeInfo::setIniStr(int index, uint8_t reg) {
    if (index < 0 || index > 1) return false;
    iniStr_[static_cast<size_t>(index)] = reg;
    return true;
}

uint8_t GaugeInfo::iniStr(int index) const {
    if (index < 0 || index > 1) return 0;
    return iniStr_[static_cast<size_t>(index)];
}

bool GaugeInfo::setDecPointNum(int32_t v) {
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        return false;
    decPointNum_ = static_cast<int16_t>(v);
    return true;
}

} // namespace kx
