#include "ui/ActivityBar.h"

namespace kx {

ActivityBar::ActivityBar(QWidget* parent)
    : QProgressBar(parent), show_(kPaintMs, [this] { setValue(count_); }) {
    setRange(0, 100);
    setTextVisible(false);
}

void ActivityBar::step() {
    count_ += 5;
    if (count_ > 100) count_ = 0;
    show_.request();
}

} // namespace kx
