// Help by context: our own HTML pages, one per help context number ("<number>.html") and the
// contents and index page ("index.html"), shown in one small viewer window that every form
// shares. UI thread only.
//
// The pages are looked for in $WAVESTACK_HELP_DIR, then <executable's folder>/../help (the
// build tree), then <executable's folder>/../share/wavestack/help (an installation); the first
// folder holding the contents page wins.
#pragma once

#include <QString>

class QTextBrowser;
class QWidget;

// Whether there are help pages to show; forms hide their Help buttons and menu without them.
bool HelpAvailable();
// The folder of the pages, or empty when there is none. Looked up on every call.
QString HelpFolder();
// The lookup itself: the first of `envFolder`, `exeFolder`/../help and
// `exeFolder`/../share/wavestack/help that holds index.html.
QString FindHelpFolder(const QString& envFolder, const QString& exeFolder);

// Opens the viewer at the page of `context`. A context without a page shows the contents
// page with a short note; context 0 (a form without a page of its own) shows the contents.
// The viewer is a non-modal window of its own, reused, raised over `parent`'s window.
void ShowHelp(QWidget* parent, int context);
void ShowHelpContents(QWidget* parent);

// The viewer's window and its browser, or null before the first ShowHelp (for tests).
QWidget* HelpViewerWindow();
QTextBrowser* HelpViewerBrowser();
