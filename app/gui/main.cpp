#include <QApplication>

#include "studio/StudioWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wavestack"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    TFormStudio window;
    window.show();
    // File|Exit closes the last window, which ends the event loop with 0.
    return app.exec();
}
