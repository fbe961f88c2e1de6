#include <QApplication>
#include <QDir>

#include <cstdio>
#include <vector>

#include "app/gui/InstanceMessage.h"
#include "app/gui/SingleInstance.h"
#include "app/gui/StudioRequests.h"
#include "studio/StudioWindow.h"
#include "ui/widgets/Pictures.h"

namespace {

// How long a later start waits for the running instance to take its files.
constexpr int kDeliverWait = 10000; // [ms]

// The files of the command line, absolute against this start's own working folder: the
// running instance has another one.
std::vector<std::string> CommandLineFiles() {
    std::vector<std::string> files;
    const std::string workingDir = QDir::currentPath().toStdString();
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        std::string path = AbsoluteInstancePath(workingDir, arguments.at(i).toStdString());
        if (!path.empty()) files.push_back(std::move(path));
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Wavestack"));
    QApplication::setApplicationName(QStringLiteral("Wavestack"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    QApplication::setDesktopFileName(QStringLiteral("wavestack"));

    const std::vector<std::string> files = CommandLineFiles();
    std::vector<TInstanceRequest> requests{{TInstanceRequestKind::Raise, std::string()}};
    for (const std::string& file : files)
        requests.push_back({TInstanceRequestKind::Open, file});
    TSingleInstance instance(TSingleInstance::DefaultSocketPath());
    switch (instance.Start(requests, kDeliverWait)) {
    case TSingleInstance::TRole::Delivered:
        return 0; // the running window took over
    case TSingleInstance::TRole::Unanswered:
        std::fprintf(stderr, "Wavestack is already running but did not answer.\n");
        return 1;
    case TSingleInstance::TRole::Primary:
    case TSingleInstance::TRole::Alone:
        break;
    }

    QApplication::setWindowIcon(PictureIcon(QStringLiteral("wavestack")));
    TFormStudio window;
    // The window opens the first file itself once its sound device exists; the others wait
    // for it as a later start's files do.
    window.SetStartFile(files.empty() ? std::string() : files.front());
    TStudioRequests studioRequests(window);
    studioRequests.Follow(instance);
    window.show();
    for (std::size_t i = 1; i < files.size(); ++i)
        studioRequests.Open(QString::fromStdString(files[i]));
    // File|Exit closes the last window, which ends the event loop with 0.
    return app.exec();
}
