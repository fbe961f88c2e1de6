// The per-form settings object: keeps a form's size and the look of its button panels, combo
// boxes and grids in the form's section of the settings file (keys and rules in
// ui/core/FormLayout.h). Each form holds its own handle on the one file; every handle sees the
// others' writes, since the file is read again whenever it changed.
//
// The components are the form's descendants, except those of other windows inside it (a
// separate window, an MDI sub-window, a widget that is itself a form with a settings object):
//   - button panels: objects that inherit "TVelBtnBmpPnl", through their int properties
//     btnSize, coOptions and bgColor;
//   - QComboBox: a non-editable one is a drop-down list (its index); an editable one keeps its
//     text, and with a dynamic int property "historyLimit" > 0 it is our own combo box with a
//     history, its items being the history;
//   - QTableWidget: its height and top, its lines (showGrid, stored as both "VL" and "HL";
//     either one set shows them), row heights when the vertical header's sections are
//     Interactive, column widths likewise for the horizontal header.
// A component is named by its objectName(); one without a name is not kept.
//
// UI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <string>

#include "platform/ConfigPaths.h"
#include "platform/ProfileFile.h"

class TCTXForm {
  public:
    // form: the form's top-level widget (QDialog, QMainWindow, or the widget of an MDI child);
    // section: the form's class name ("TFormStudio", "TFormOrganize", ...).
    TCTXForm(QWidget& form, std::string section, std::string settingsPath = SettingsFilePath());
    TCTXForm(const TCTXForm&) = delete;
    TCTXForm& operator=(const TCTXForm&) = delete;

    // The widget whose window state (normal, minimized, maximized) and size count; the form
    // itself by default, the QMdiSubWindow for an MDI child.
    void SetFrameWidget(QWidget* frame);
    // All reads, as one consistent view of the file; applies them.
    void Restore();
    // All writes in one batch: one write of the file; false when refused (File().LastError()
    // says why), the file then as it was. Creates the file's folder when missing.
    bool Save();
    TProfileFile& File() { return file_; }
    const std::string& Section() const { return section_; }

    // The dynamic property a form with a settings object carries, so that an enclosing form's
    // settings object leaves its components alone.
    static constexpr const char* kFormProperty = "velSettingsSection";

  private:
    QWidget& Frame() const;

    QWidget& form_;
    QPointer<QWidget> frame_;
    std::string section_;
    TProfileFile file_;
};
