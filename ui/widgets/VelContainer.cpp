#include "ui/widgets/VelContainer.h"

#include "ui/widgets/VelButtons.h"

TVelContainer::TVelContainer(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
}

void TVelContainer::SetCoOptions(int options) {
    if (options == coOptions_) return;
    coOptions_ = options;
    for (TVelControl* control : findChildren<TVelControl*>())
        control->SetCoOptions(options);
    CoOptionsChanged();
    emit OptionsChanged(options);
}
