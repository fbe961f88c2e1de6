#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSemaphore>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "ui/widgets/VelMpnl.h"

namespace {

// Polls without handling events, so queued messages stay queued meanwhile.
bool WaitUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

QStringList ListLines(const TVelMpnl& panel) {
    const QString text = panel.MessageList()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// A window with some content over the panel, the way every form carries it.
struct Form {
    QWidget window;
    TVelMpnl* panel;
    Form() {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(new QTextEdit(&window), 1);
        panel = new TVelMpnl(&window);
        layout->addWidget(panel);
        window.resize(400, 300);
    }
};

} // namespace

class MessagePanelTest : public QObject {
    Q_OBJECT
  private slots:
    void ExpandingGrowsPanelAndOwnerAndFoldingRestoresThem();
    void ExpandingInsideAChildWindowGrowsTheChildOrTheMaximizedFrame();
    void MessagesFillStatusLineListBeepAndBox();
    void WorkerMessagesArriveInEachThreadsOrder();
    void WorkerErrorWaitsUntilTheBoxIsClosed();
    void WaitingWorkerIsReleasedWhenNotHeldOrWhenThePanelDies();
};

void MessagePanelTest::ExpandingGrowsPanelAndOwnerAndFoldingRestoresThem() {
    Form form;
    form.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.window));
    TVelMpnl& panel = *form.panel;
    const int windowHeight = form.window.height();
    const int windowWidth = form.window.width();
    QCOMPARE(panel.height(), 26);
    QCOMPARE(panel.toolTip(), QStringLiteral("Click to show all messages"));
    QVERIFY(!panel.MessageList()->isVisible());
    QVERIFY(!panel.Expanded());

    QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(200, 10));
    QVERIFY(panel.Expanded());
    QCOMPARE(panel.height(), 126);
    QCOMPARE(form.window.height(), windowHeight + 100);
    QCOMPARE(form.window.width(), windowWidth);
    QVERIFY(panel.MessageList()->isVisible());
    QCOMPARE(panel.MessageList()->height(), 96);
    QCOMPARE(panel.toolTip(), QStringLiteral("Click to only show last message"));
    QCOMPARE(panel.MessageList()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(panel.MessageList()->isReadOnly());
    QCOMPARE(panel.MessageList()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // Asking again for the state it has changes nothing.
    panel.SetExpanded(true);
    QCOMPARE(panel.height(), 126);
    QCOMPARE(form.window.height(), windowHeight + 100);

    // Clicking the status line folds it again, back to the exact heights.
    panel.AddMessage(kMsgStatus, "ready");
    QTest::mouseClick(panel.StatusLabel(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!panel.Expanded());
    QCOMPARE(panel.height(), 26);
    QCOMPARE(form.window.height(), windowHeight);
    QVERIFY(!panel.MessageList()->isVisible());
    QCOMPARE(panel.toolTip(), QStringLiteral("Click to show all messages"));
    panel.SetExpanded(false);
    QCOMPARE(form.window.height(), windowHeight);

    // A right click does not toggle.
    QTest::mouseClick(&panel, Qt::RightButton, {}, QPoint(200, 10));
    QVERIFY(!panel.Expanded());

    // Several rounds leave no drift.
    for (int i = 0; i < 3; ++i) {
        panel.SetExpanded(true);
        panel.SetExpanded(false);
    }
    QCOMPARE(panel.height(), 26);
    QCOMPARE(form.window.height(), windowHeight);

    // A window already at its smallest height is restored exactly as well.
    form.window.resize(400, 1);
    QTest::qWait(0);
    const int smallest = form.window.height();
    panel.SetExpanded(true);
    QCOMPARE(form.window.height(), smallest + 100);
    panel.SetExpanded(false);
    QCOMPARE(form.window.height(), smallest);
}

void MessagePanelTest::ExpandingInsideAChildWindowGrowsTheChildOrTheMaximizedFrame() {
    QMainWindow frame;
    auto* area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    frame.resize(800, 600);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QTextEdit(content), 1);
    auto* panel = new TVelMpnl(content);
    layout->addWidget(panel);
    QMdiSubWindow* child = area->addSubWindow(content);
    child->resize(300, 250);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const int childHeight = child->height();
    const int frameHeight = frame.height();

    panel->SetExpanded(true);
    QCOMPARE(child->height(), childHeight + 100);
    QCOMPARE(frame.height(), frameHeight);
    panel->SetExpanded(false);
    QCOMPARE(child->height(), childHeight);

    child->showMaximized();
    QVERIFY(child->isMaximized());
    panel->SetExpanded(true);
    QCOMPARE(frame.height(), frameHeight + 100);
    QCOMPARE(panel->height(), 126);
    panel->SetExpanded(false);
    QCOMPARE(frame.height(), frameHeight);
    QCOMPARE(panel->height(), 26);
}

void MessagePanelTest::MessagesFillStatusLineListBeepAndBox() {
    Form form;
    TVelMpnl& panel = *form.panel;
    int beeps = 0;
    QStringList boxes;
    panel.SetBeep([&] { ++beeps; });
    panel.SetErrorBox([&](QWidget* parent, const QString& text) {
        QCOMPARE(parent, static_cast<QWidget*>(&panel));
        boxes << text;
    });
    form.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.window));
    QVERIFY(!panel.StatusLabel()->isVisible());

    // Kind 5 on the empty status line: only its text, nothing listed.
    panel.AddMessage(kMsgAppend, ".");
    QVERIFY(panel.StatusLabel()->isVisible());
    QCOMPARE(panel.StatusLabel()->text(), QStringLiteral("."));
    QVERIFY(ListLines(panel).isEmpty());

    panel.AddMessage(kMsgRefusal, "Files are the same.  Nothing to do");
    panel.AddMessage(kMsgWarning, "Play button not enabled");
    panel.AddMessage(kMsgStart, "Start Cutting");
    panel.AddMessage(kMsgAppend, ".");
    panel.AddMessage(kMsgDone, "End Copying");
    const QString done = panel.StatusLabel()->text();
    QVERIFY(done.startsWith(QStringLiteral(" Start Cutting.... done.   Elapsed time = ")));
    QCOMPARE(done.size(),
             QStringLiteral(" Start Cutting.... done.   Elapsed time = 00:00.000").size());
    panel.AddMessage(kMsgAppend, " ... Action Cancelled");
    panel.AddMessage(kMsgError, "Disk <b>full</b>");
    QCOMPARE(beeps, 3);
    QCOMPARE(boxes, QStringList{QStringLiteral("Disk <b>full</b>")});
    QVERIFY(panel.StatusLabel()->text().startsWith(QStringLiteral(" Error at ")));
    QVERIFY(panel.StatusLabel()->text().endsWith(QStringLiteral(" : Disk <b>full</b>")));
    QCOMPARE(panel.StatusLabel()->textFormat(), Qt::PlainText);

    const QStringList lines = ListLines(panel);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral(" Error : Files are the same.  Nothing to do"));
    QCOMPARE(lines[1], QStringLiteral(" Play button not enabled"));
    QCOMPARE(lines[2], done); // without the cancel note
    QCOMPARE(lines[3], panel.StatusLabel()->text());
}

void MessagePanelTest::WorkerMessagesArriveInEachThreadsOrder() {
    TVelMpnl panel;
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&panel, t] {
            for (int i = 0; i < kEach; ++i)
                panel.AddMessage(kMsgStatus,
                                 "worker " + std::to_string(t) + " step " + std::to_string(i));
        });
    for (auto& w : workers)
        w.join();
    // Nothing reaches the widgets off the UI thread.
    QVERIFY(ListLines(panel).isEmpty());
    QTRY_COMPARE(ListLines(panel).size(), kThreads * kEach);

    int next[kThreads] = {};
    for (const QString& line : ListLines(panel)) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(parts.size(), 4);
        const int t = parts[1].toInt();
        QVERIFY(t >= 0 && t < kThreads);
        QCOMPARE(parts[3].toInt(), next[t]);
        ++next[t];
    }
    QCOMPARE(panel.StatusLabel()->text().isEmpty(), false);
}

void MessagePanelTest::WorkerErrorWaitsUntilTheBoxIsClosed() {
    TVelMpnl panel;
    QSemaphore returned;
    bool returnedWhileOpen = true;
    QStringList boxes;
    panel.SetBeep([] {});
    panel.SetErrorBox([&](QWidget*, const QString& text) {
        boxes << text;
        if (boxes.size() > 1) return;
        // While the box is up the worker stays inside AddMessage.
        QCOMPARE(panel.WaitingWorkers(), 1);
        returnedWhileOpen = returned.tryAcquire(1, 200);
    });
    std::thread worker([&] {
        panel.AddMessage(kMsgStart, "Start Saving");
        panel.AddMessage(kMsgError, "MMIOOpen. 2");
        returned.release();
        panel.AddMessage(kMsgStatus, "after the box");
    });
    QTRY_COMPARE(boxes.size(), 1);
    QVERIFY(!returnedWhileOpen);
    QVERIFY(returned.tryAcquire(1, 10000));
    worker.join();
    QCOMPARE(boxes[0], QStringLiteral("MMIOOpen. 2"));
    QTRY_COMPARE(ListLines(panel).size(), 2);
    QVERIFY(ListLines(panel)[0].endsWith(QStringLiteral(" : MMIOOpen. 2")));
    QCOMPARE(ListLines(panel)[1], QStringLiteral(" after the box"));
    QCOMPARE(panel.WaitingWorkers(), 0);

    // On the UI thread the box is shown and the call returns; nothing waits.
    panel.AddMessage(kMsgError, "on the UI thread");
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(panel.WaitingWorkers(), 0);
}

void MessagePanelTest::WaitingWorkerIsReleasedWhenNotHeldOrWhenThePanelDies() {
    // Not held: the UI thread lets go of a waiting worker without handling events, as an
    // owner does before it waits for its workers.
    {
        TVelMpnl panel;
        int boxes = 0;
        panel.SetBeep([] {});
        panel.SetErrorBox([&](QWidget*, const QString&) { ++boxes; });
        std::atomic<bool> back{false};
        std::thread worker([&] {
            panel.AddMessage(kMsgError, "held");
            back = true;
        });
        QVERIFY(WaitUntil([&] { return panel.WaitingWorkers() == 1; }));
        QVERIFY(!back);
        panel.SetHoldWorkers(false);
        worker.join(); // would hang if the worker were still held
        QVERIFY(back);
        QCOMPARE(panel.WaitingWorkers(), 0);
        // Later errors from workers do not wait at all.
        std::thread second([&] { panel.AddMessage(kMsgError, "not held"); });
        second.join();
        QCOMPARE(panel.WaitingWorkers(), 0);
        // Both boxes still show once the queue is handled.
        QTRY_COMPARE(boxes, 2);
    }
    // The panel is destroyed while a worker waits for a box it will never show.
    {
        auto* panel = new TVelMpnl;
        panel->SetBeep([] {});
        int boxes = 0;
        panel->SetErrorBox([&](QWidget*, const QString&) { ++boxes; });
        std::thread worker([panel] { panel->AddMessage(kMsgError, "orphaned"); });
        QVERIFY(WaitUntil([&] { return panel->WaitingWorkers() == 1; }));
        delete panel;
        worker.join();
        QCoreApplication::processEvents(); // the dropped message must not be delivered
        QCOMPARE(boxes, 0);
    }
}

QTEST_MAIN(MessagePanelTest)
#include "MessagePanelTest.moc"
