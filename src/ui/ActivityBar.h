#pragma once
// A progress bar that shows that bytes arrive: each delivery advances it by 5, wrapping past
// 100 to 0. Deliveries come up to 60 times a second and a progress bar repaints at once on
// every change, so the bar shows the latest count at most every kPaintMs instead.
#include "util/throttle.h"

#include <QProgressBar>

namespace kx {

class ActivityBar : public QProgressBar {
public:
    static constexpr int kPaintMs = 100;

    explicit ActivityBar(QWidget* parent = nullptr);
    void step();

private:
    int count_ = 0;
    Throttle show_;
};

} // namespace kx
