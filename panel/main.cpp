#include "form1.h"
#include "panel_actions.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(quillon::kApplicationTitle);

    quillon::Form1 window;
    quillon::PanelController controller(window);
    window.show();
    return app.exec();
}
