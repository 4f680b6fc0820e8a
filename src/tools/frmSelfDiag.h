#pragma once
// The self-diagnostics window: the stored fault codes as the main window receives them, and
// the erase.
#include "tools/self_diag.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kx {

class Form2;

class frmSelfDiag : public QWidget {
    Q_OBJECT
public:
    explicit frmSelfDiag(Form2& main);

    // Rewrites the fault text from the buffer (receive mode 6, after every delivery).
    void displayCodes(const FaultBuffer& faults);
    // Erases the stored codes and reads them again.
    void btnReset_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Form2& main_;
    QPlainTextEdit* txtFaults_;
    QPushButton* btnReset_;
    bool closed_ = false;
};

} // namespace kx
