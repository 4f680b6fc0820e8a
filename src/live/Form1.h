#pragma once
// The data display: twelve live dials and twelve indicators fed by the ECU stream.
#include "link/EcuLink.h"
#include "ui/host.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace kx {

class GaugeGrid;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(const Host& host);

    // Pushes the current values into the dials and the indicator states into the indicators.
    void setDataDisplay();
    void getColours();
    GaugeGrid& grid() { return *grid_; }

    // The display waits for `holder` to give the link back: it says so on itself and shows
    // no values until its stream brings them.
    void showWaiting(const QString& holder);
    // What the window says about its data when it has none ("" while values come in).
    QString linkNote() const;

    // Set by the windows these buttons open (logging and active tests).
    QPushButton* btnDataLog() const { return btnDataLog_; }
    QPushButton* btnActiveTest() const { return btnActiveTest_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void layoutWindow();
    void onLinkState(EcuLink::State state);
    void setLinkNote(const QString& note);

    Host host_;
    GaugeGrid* grid_;
    QPushButton* btnDataLog_;
    QPushButton* btnActiveTest_;
    QLabel* lblLinkNote_;
    bool waiting_ = false;
    uint32_t windowColour_ = 0;
};

} // namespace kx
