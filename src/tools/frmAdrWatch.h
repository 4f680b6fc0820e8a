#pragma once
// The address watch: three ECU memory bytes streamed live, each with the highest and lowest
// value seen since START.
#include "tools/memory_read.h"
#include "ui/host.h"

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kx {

class frmAdrWatch : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; once granted the stream stops and receive mode 7 is set.
    explicit frmAdrWatch(const Host& host);

    void btnStart_Click();
    void btnStop_Click();
    // Receive mode 7: one delivery.
    void getAdrWatch(const QByteArray& bytes);
    // Row 0 to 2 back to max "0", no current value, min "FF".
    void resetAdr(int row);
    bool watching() const { return watching_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The nine-byte request, the pause, the stream start.
    LinkSequence iniAdrWatch(const std::array<uint16_t, 3>& addresses);
    void showRow(int row);
    void setEditable(bool on);

    Host host_;
    uint8_t command_;
    bool watching_ = false;
    std::array<uint16_t, 3> addresses_{};
    std::array<WatchRow, 3> rows_;
    std::array<QLineEdit*, 3> txtAddress_{};
    std::array<QLabel*, 3> lblMax_{};
    std::array<QLabel*, 3> lblCur_{};
    std::array<QLabel*, 3> lblMin_{};
    QLabel* lblStatus_;
    QPushButton* btnStart_;
    QPushButton* btnStop_;
};

} // namespace kx
