// A panel of the system's controls with a bevel. Its control options reach every system
// control inside it. UI thread only.
#pragma once

#include <QFrame>

class TVelContainer : public QFrame {
    Q_OBJECT
    Q_PROPERTY(int coOptions READ CoOptions WRITE SetCoOptions)
  public:
    explicit TVelContainer(QWidget* parent = nullptr);

    int CoOptions() const { return coOptions_; }
    // Also sets the options of every TVelControl inside; OptionsChanged fires when the value
    // really changes.
    void SetCoOptions(int options);

  signals:
    void OptionsChanged(int options);

  protected:
    // After the options changed (the button panel updates its menu's check marks).
    virtual void CoOptionsChanged() {}

  private:
    int coOptions_ = 0;
};
