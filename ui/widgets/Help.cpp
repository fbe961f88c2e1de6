#include "ui/widgets/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kContentsPage = "index.html";
const char* const kViewerTitle = "Wavestack Help";

bool HoldsContents(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(kContentsPage)).isFile();
}

// The one viewer of the application: a plain top-level window, so that it stays usable while
// a dialog is modal over the main window.
class THelpViewer : public QWidget {
  public:
    THelpViewer() : QWidget(nullptr, Qt::Window) {
        setObjectName(QStringLiteral("HelpViewer"));
        setWindowTitle(QString::fromLatin1(kViewerTitle));
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(4, 4, 4, 4);
        auto* bar = new QHBoxLayout;
        auto* contents = AddTool(bar, QStringLiteral("&Contents"));
        auto* back = AddTool(bar, QStringLiteral("&Back"));
        auto* forward = AddTool(bar, QStringLiteral("&Forward"));
        bar->addStretch(1);
        column->addLayout(bar);

        note_ = new QLabel(this);
        note_->setObjectName(QStringLiteral("HelpNote"));
        note_->setWordWrap(true);
        note_->hide();
        column->addWidget(note_);

        browser_ = new QTextBrowser(this);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenExternalLinks(true); // web links go to the desktop's browser
        column->addWidget(browser_, 1);

        connect(contents, &QToolButton::clicked, this, [this] { Open(QString(), QString()); });
        connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
        connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);
        connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
            const QString title = browser_->documentTitle();
            setWindowTitle(title.isEmpty() ? QString::fromLatin1(kViewerTitle)
                                           : QString::fromLatin1(kViewerTitle) + " - " + title);
        });
        // The note belongs to the page it was shown with. (While the signal is sent, source()
        // still answers the page before.)
        connect(browser_, &QTextBrowser::sourceChanged, note_, [this](const QUrl& url) {
            if (url != notedSource_) note_->hide();
        });
        back->setEnabled(false);
        forward->setEnabled(false);
        resize(520, 600);
    }

    QTextBrowser* Browser() const { return browser_; }

    // Shows `page` of the help folder, or the contents page with `note` when it is missing.
    void Open(const QString& page, const QString& note) {
        const QDir folder(HelpFolder());
        QString file = page.isEmpty() ? QString() : folder.filePath(page);
        QString shownNote;
        if (file.isEmpty() || !QFileInfo(file).isFile()) {
            if (!page.isEmpty()) shownNote = note;
            file = folder.filePath(kContentsPage);
        }
        const QUrl url = QUrl::fromLocalFile(file);
        notedSource_ = url;
        if (browser_->source() == url)
            browser_->reload();
        else
            browser_->setSource(url);
        note_->setText(shownNote);
        note_->setVisible(!shownNote.isEmpty());
    }

  private:
    QToolButton* AddTool(QHBoxLayout* bar, const QString& text) {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setAutoRaise(true);
        bar->addWidget(button);
        return button;
    }

    QTextBrowser* browser_ = nullptr;
    QLabel* note_ = nullptr;
    QUrl notedSource_;
};

QPointer<THelpViewer>& Viewer() {
    static QPointer<THelpViewer> viewer;
    return viewer;
}

void DeleteViewer() {
    delete Viewer().data();
}

THelpViewer& ShownViewer(QWidget* parent) {
    QPointer<THelpViewer>& viewer = Viewer();
    if (!viewer) {
        static bool cleanupAdded = false;
        if (!cleanupAdded) qAddPostRoutine(DeleteViewer); // runs while the application ends
        cleanupAdded = true;
        viewer = new THelpViewer;
        if (parent) {
            // First time: beside the window that asked, not wherever the desktop puts it.
            const QRect owner = parent->window()->frameGeometry();
            viewer->move(owner.topRight() + QPoint(8, 0));
        }
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return *viewer;
}

} // namespace

QString FindHelpFolder(const QString& envFolder, const QString& exeFolder) {
    if (HoldsContents(envFolder)) return QDir(envFolder).absolutePath();
    if (exeFolder.isEmpty()) return QString();
    const QDir exe(exeFolder);
    for (const char* relative : {"../help", "../share/wavestack/help"}) {
        const QString folder = QDir::cleanPath(exe.filePath(QString::fromLatin1(relative)));
        if (HoldsContents(folder)) return folder;
    }
    return QString();
}

QString HelpFolder() {
    return FindHelpFolder(qEnvironmentVariable("WAVESTACK_HELP_DIR"),
                          QCoreApplication::applicationDirPath());
}

bool HelpAvailable() {
    return !HelpFolder().isEmpty();
}

void ShowHelp(QWidget* parent, int context) {
    if (!HelpAvailable()) return;
    if (context <= 0) {
        ShowHelpContents(parent);
        return;
    }
    ShownViewer(parent).Open(
        QString::number(context) + QStringLiteral(".html"),
        QStringLiteral("There is no help page for this window yet (topic %1). Here are the "
                       "contents and index.")
            .arg(context));
}

void ShowHelpContents(QWidget* parent) {
    if (!HelpAvailable()) return;
    ShownViewer(parent).Open(QString(), QString());
}

QWidget* HelpViewerWindow() {
    return Viewer().data();
}

QTextBrowser* HelpViewerBrowser() {
    THelpViewer* viewer = Viewer().data();
    return viewer ? viewer->Browser() : nullptr;
}
