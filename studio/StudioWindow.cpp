#include "studio/StudioWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr int kDesignWidth = 650;  // [px]
constexpr int kDesignHeight = 542; // [px]

} // namespace

TFormStudio::TFormStudio(QWidget* parent) : TFormVelM(parent) {
    setObjectName(QStringLiteral("FormStudio"));
    setWindowTitle(QStringLiteral("Wavestack")); // until shown; then the song's name
    SetHelpContext(kHelpContext);
    AboutAction()->setStatusTip(QStringLiteral("About Wavestack"));
    AboutAction()->setToolTip(QStringLiteral("About Wavestack"));
    resize(kDesignWidth, kDesignHeight);
}

TFormStudio::~TFormStudio() = default;

void TFormStudio::showEvent(QShowEvent* event) {
    // The base restores the layout first, under the design-time caption.
    TFormVelM::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    setWindowTitle(QStringLiteral("New Song"));
}

void TFormStudio::AboutClick() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Wavestack"));
    auto* layout = new QVBoxLayout(&about);
    auto* picture = new QLabel(&about);
    picture->setAlignment(Qt::AlignCenter);
    picture->setTextFormat(Qt::PlainText);
    QString text = QStringLiteral("Wavestack");
    if (!QCoreApplication::applicationVersion().isEmpty())
        text += QStringLiteral(" ") + QCoreApplication::applicationVersion();
    text += QStringLiteral("\nMultitrack wave recorder and editor");
    picture->setText(text);
    picture->setMinimumSize(300, 120);
    layout->addWidget(picture);
    about.exec();
}
