// A server that moves: the alarm follows the server's name to its new
// address, and a lookup that fails later keeps the last address found.
// The name is answered by a resolver stand-in preloaded into the program.
#include "acceptance/stationscript.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

namespace {
constexpr int autoTime = 3;
// When the program's second and third lookups have surely answered: one
// is due 61 s after the last answer and asked for within 2 s.
constexpr int secondLookupDoneMs = 66000;
constexpr int thirdLookupDoneMs = 132000;
} // namespace

class TestAcceptanceMoved : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void alarmFollowsTheServersName();

private:
    void answer(const QByteArray& address);
    // Arms the automation in silence and waits for its alarm; true when it
    // reached `at` and nothing reached the peer.
    bool alarmReaches(QUdpSocket& at);

    Station m_station;
    StationScript m_script{m_station};
    QString m_answerFile;
};

void TestAcceptanceMoved::initTestCase() {
    m_script.bringUp();
}

void TestAcceptanceMoved::answer(const QByteArray& address) {
    QFile file(m_answerFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(address + "\n");
}

bool TestAcceptanceMoved::alarmReaches(QUdpSocket& at) {
    const qsizetype atPeer = m_station.peer().arrivals().size();
    m_station.send("SN_AUTO");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < autoTime * 1000 + 4000) {
        QTest::qWait(50);
        if (at.hasPendingDatagrams())
            return at.receiveDatagram().data() == "SN_ALARM" &&
                   m_station.peer().arrivals().size() == atPeer;
    }
    return false;
}

void TestAcceptanceMoved::alarmFollowsTheServersName() {
    m_answerFile = QDir::tempPath() +
                   QStringLiteral("/sondral-moved-%1.txt").arg(QCoreApplication::applicationPid());
    answer("127.0.0.1");
    QProcessEnvironment resolver;
    resolver.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SONDRAL_FAKE_RESOLVER));
    resolver.insert(QStringLiteral("SONDRAL_FAKE_HOST"), QStringLiteral("playout.test"));
    resolver.insert(QStringLiteral("SONDRAL_FAKE_HOST_FILE"), m_answerFile);
    const QByteArray ini = "[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=3\r\nLog=1\r\n"
                           "[InterPC]\r\nRemoteName=playout.test\r\nRemotePort=" +
                           QByteArray::number(m_station.peer().port()) +
                           "\r\nHostPort=" + QByteArray::number(m_station.hostPort()) + "\r\n";
    QElapsedTimer sinceStart;
    sinceStart.start();
    SondralInstance* sondral = m_station.launch(QStringLiteral("moved"), ini, true, resolver);
    QVERIFY2(sondral, qPrintable(m_station.error()));

    // At the first address, the peer's.
    QTest::qWait(1200);
    m_station.send("SN_AUTO");
    QVERIFY2(m_station.nextAlarm(autoTime * 1000 + 4000), qPrintable(sondral->output()));

    // The standby PC takes over the name, on the same port.
    QUdpSocket standby;
    QVERIFY(standby.bind(QHostAddress(QStringLiteral("127.0.0.2")), m_station.peer().port()));
    answer("127.0.0.2");
    QTest::qWait(int(std::max<qint64>(0, secondLookupDoneMs - sinceStart.elapsed())));
    QVERIFY2(alarmReaches(standby), qPrintable(sondral->output()));

    // The name is gone from the resolver: the standby keeps the alarm, and
    // the operator hears of it once.
    answer("");
    QTest::qWait(int(std::max<qint64>(0, thirdLookupDoneMs - sinceStart.elapsed())));
    QVERIFY2(alarmReaches(standby), qPrintable(sondral->output()));
    const QString notFound = QStringLiteral("Kan de server \"playout.test\" niet opnieuw vinden");
    QCOMPARE(sondral->output().count(notFound), 1);
    QVERIFY(sondral->output().contains(QStringLiteral("laatst gevonden adres 127.0.0.2")));
    QFile::remove(m_answerFile);
}

QTEST_GUILESS_MAIN(TestAcceptanceMoved)
#include "tst_acceptance_moved.moc"
