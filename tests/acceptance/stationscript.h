#pragma once

#include "acceptance/station.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What a test executable does with its station: brings it up in
// initTestCase, sends keywords, measures alarms, and keeps the log lines the
// current Sondral must have written, in order.
class StationScript {
public:
    explicit StationScript(Station& station) : m_station(station) {}

    // For initTestCase, as its last step: skips the test when a tool is
    // missing and fails it when the station does not come up; true when it
    // came up. The programme is silent.
    bool bringUp();
    // The same, then the programme at programmeDbfs (when given) and a Sondral
    // in dirName with settings and the link section, "Program started Up"
    // logged and expected.
    void bringUpAndLaunch(const QString& dirName, const QByteArray& settings,
                          std::optional<double> programmeDbfs = std::nullopt);
    // On a station already up: a Sondral in dirName with settings and the
    // link section, "Program started Up" logged and expected.
    void launch(const QString& dirName, const QByteArray& settings);

    // One more line the log must hold.
    void expect(const QString& logText) { m_expectedLog.append(logText); }

    // Sends a keyword and waits for its log line, which is expected.
    bool sendLogged(const QByteArray& keyword, const QString& logText);
    // Sends a keyword; true when nothing was logged within 300 ms.
    bool sendIgnored(const QByteArray& keyword);
    // Seconds from `since` to the next datagram when it is SN_ALARM within
    // timeoutMs, its "SONDRAL ACTIVATED" expected and waited for; a negative
    // value otherwise.
    double secondsToAlarm(qint64 since, int timeoutMs);

    // For the last test: SIGTERM, then the log holds the expected lines and
    // "Program Closed", nothing else.
    void closeAndCompareLog();

private:
    Station& m_station;
    QStringList m_expectedLog;
};
