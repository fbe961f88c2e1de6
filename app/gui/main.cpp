#include <QApplication>

#include "studio/StudioWindow.h"
#include "ui/widgets/Pictures.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Wavestack"));
    QApplication::setApplicationName(QStringLiteral("Wavestack"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setDesktopFileName(QStringLiteral("wavestack"));
    QApplication::setWindowIcon(PictureIcon(QStringLiteral("wavestack")));
    TFormStudio window;
    window.show();
    // File|Exit closes the last window, which ends the event loop with 0.
    return app.exec();
}
