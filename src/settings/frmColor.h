#pragma once
// The colours of the gauge windows: eleven colour buttons, each opening the colour chooser.
#include "settings/display_settings.h"
#include "ui/host.h"

#include <QWidget>
#include <array>

class QPushButton;

namespace kx {

class frmColor : public QWidget {
    Q_OBJECT
public:
    explicit frmColor(const Host& host);

    // Opens the colour chooser for button i; the button keeps its colour when it is cancelled.
    void button_Click(int i);
    void btnOK_Click();
    // The colour each button shows, in the stored form.
    uint32_t colour(int i) const { return colours_[size_t(i)]; }

private:
    void showColour(int i);

    Host host_;
    std::array<uint32_t, kColourCount> colours_{};
    std::array<QPushButton*, kColourCount> buttons_{};
};

} // namespace kx
