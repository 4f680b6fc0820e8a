// Prints what a screen reader gets of the main window and the data display after a frame:
//   kestrix-accessible-dump
#include "live/Form1.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"

#include <QApplication>
#include <cstdio>

using namespace kx;
using namespace kx::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MainWindow w;
    w.form->show();
    w.connectEcu();
    Form1* display = w.form->open<Form1>();
    display->show();
    w.ecu->feed(defaultFrame(64, 0x82, 0x02)); // 800 rpm, 80 C, thermo fan high
    QApplication::processEvents();
    std::fputs(qPrintable(accessibleTree(w.form.get())), stdout);
    std::fputs("\n", stdout);
    std::fputs(qPrintable(accessibleTree(display)), stdout);
    if (argc > 1) { // the Tab order of each window, for a look
        for (QWidget* win : {static_cast<QWidget*>(w.form.get()), static_cast<QWidget*>(display),
                             static_cast<QWidget*>(w.form->open<frmDataReplay>()),
                             static_cast<QWidget*>(w.form->open<frmLogAnalyzer>())}) {
            std::printf("\nTab order of %s:", qPrintable(win->objectName()));
            QWidget* c = win;
            do {
                c = c->nextInFocusChain();
                if ((c->focusPolicy() & Qt::TabFocus) && c->isVisibleTo(win))
                    std::printf(" %s", qPrintable(c->objectName()));
            } while (c != win);
        }
        std::printf("\n");
    }
    return 0;
}
