#pragma once
// One entry of the gauge catalogue: the registers of a live parameter, its name and its dial scale.
#include <QString>
#include <array>
#include <cstdint>

namespace kx {

class GaugeInfo {
public:
    uint8_t size() const { return size_; }
    void setSize(uint8_t size) { size_ = size; }

    const QString& name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    // Register numbers: index 0 is the most significant byte's register. Another index is
    // refused (false, nothing stored); reading one gives 0.
    bool setIniStr(int index, uint8_t reg);
    uint8_t iniStr(int index) const;

    int32_t minVal() const { return minVal_; }
    void setMinVal(int32_t v) { minVal_ = v; }
    int32_t maxVal() const { return maxVal_; }
    void setMaxVal(int32_t v) { maxVal_ = v; }
    int32_t tickerNum() const { return tickerNum_; }
    void setTickerNum(int32_t v) { tickerNum_ = v; }
    int32_t subTickerNum() const { return subTickerNum_; }
    void setSubTickerNum(int32_t v) { subTickerNum_ = v; }

    // Stored in 16 bits; a value outside that range is refused (false, nothing stored).
    int32_t decPointNum() const { return decPointNum_; }
    bool setDecPointNum(int32_t v);

private:
    uint8_t size_ = 0;
    QString name_;
    std::array<uint8_t, 2> iniStr_{};
    int32_t minVal_ = 0;
    int32_t maxVal_ = 0;
    int32_t tickerNum_ = 0;
    int32_t subTickerNum_ = 0;
    int16_t decPointNum_ = 0;
};

} // namespace kx
