#include "tools/sondral-survey/levelsurvey.h"
#include "tools/sondral-survey/surveyreport.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// A sequence of seconds written compactly: "67*5 25*4 0*2" is five seconds
// at 67 on both channels, four at 25, two at 0; "30/5" is left 30, right 5;
// "-" is a second without audio.
LevelSurvey parse(const QString& text) {
    LevelSurvey survey;
    for (const QString& item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList counted = item.split(QLatin1Char('*'));
        const int times = counted.size() > 1 ? counted.at(1).toInt() : 1;
        SurveySecond second;
        if (counted.at(0) == QLatin1String("-")) {
            second.heard = false;
        } else {
            const QStringList levels = counted.at(0).split(QLatin1Char('/'));
            second.left = levels.at(0).toInt();
            second.right = levels.value(1, levels.at(0)).toInt();
        }
        for (int i = 0; i < times; ++i)
            survey.add(second);
    }
    return survey;
}

// Seconds by letter: S loud and steady, P loud programme, Q silent and
// steady, U loud without a judgement, - not heard.
LevelSurvey dynamicsOf(const QString& letters) {
    LevelSurvey survey;
    for (QChar c : letters) {
        SurveySecond second{60, 60, true};
        second.measured = c != u'U' && c != u'-';
        second.heard = c != u'-';
        second.steady = c == u'S' || c == u'Q';
        second.spreadDb = second.steady ? 0.2 : 9.0;
        if (c == u'Q')
            second.left = second.right = 0;
        survey.add(second);
    }
    return survey;
}

} // namespace

class TstLevelSurvey : public QObject {
    Q_OBJECT
private slots:
    void proposal_data();
    void proposal();
    void distributionAndRuns();
    void reportEndsWithTheSuggestLine();
    void flattestRun_data();
    void flattestRun();
    void reportGivesTheFlattestRun();
};

void TstLevelSurvey::flattestRun_data() {
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("length");
    QTest::newRow("programme only") << "PPPPPP" << 0 << 0 << 0;
    QTest::newRow("the longer of two") << "SSPSSSSP" << 4 << 3 << 4;
    QTest::newRow("silence holds the count") << "PSSQQSP" << 3 << 1 << 5;
    QTest::newRow("no judgement ends it") << "SSSUSS" << 3 << 0 << 3;
    QTest::newRow("no audio ends it") << "SS-SSS" << 3 << 3 << 3;
    QTest::newRow("silence alone is no steady run") << "QQQQ" << 0 << 0 << 0;
}

void TstLevelSurvey::flattestRun() {
    QFETCH(QString, seconds);
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, length);
    const FlatRun run = dynamicsOf(seconds).flattestRun(20);
    QCOMPARE(run.count, count);
    if (count > 0) {
        QCOMPARE(run.first, first);
        QCOMPARE(run.length, length);
    }
}

void TstLevelSurvey::reportGivesTheFlattestRun() {
    LevelSurvey survey = dynamicsOf(QStringLiteral("PPPPPPPPPPSSSSSSSPPPPP"));
    for (int i = 0; i < 4; ++i)
        survey.add({0, 0, true}); // a gap of dead air, not judged
    const auto figures = survey.dynamics();
    QVERIFY(figures);
    QCOMPARE(figures->measured, 22);
    QCOMPARE(figures->steady, 7);
    QCOMPARE(figures->spreadMedian, 9.0);
    const QString report = surveyReport({}, survey);
    QVERIFY2(report.contains(QStringLiteral("steady seconds: 7 of 22 measured")),
             qPrintable(report));
    QVERIFY2(report.contains(QRegularExpression(
                 QStringLiteral("flattest run at Vol=\\d+: 7 s steady, from 0:10"))),
             qPrintable(report));
    QVERIFY(report.contains(QRegularExpression(QStringLiteral("\nsuggest Vol=\\d+ Time=\\d+\n$"))));
}

void TstLevelSurvey::proposal_data() {
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("floor");
    QTest::addColumn<int>("vol");
    QTest::addColumn<int>("longest");
    QTest::addColumn<int>("time");
    QTest::addColumn<bool>("floorTooHigh");

    // Programme at -20 dBFS (67), quiet passages at -45 dBFS (25), gaps of
    // digital silence: the gaps count as silent, the quiet passages do not.
    QTest::newRow("gaps and quiet passages")
        << "67*5 25*6 67*3 0*2 67*4 25*3 0*1 67*2" << 0 << 20 << 2 << 5 << false;
    // Hiss at -54 dBFS (10): the floor sits 10 points below the half threshold.
    QTest::newRow("hissy chain") << "70*20 10*4 35*5 70*10" << 10 << 40 << 4 << 7 << false;
    // Only one channel quiet: a second is silent only when both are.
    QTest::newRow("one channel quiet") << "0/70*10 70*5 3*2" << 3 << 26 << 2 << 5 << false;
    // A long quiet run gets half of it again as margin.
    QTest::newRow("long silent run") << "60*30 0*20 60*30" << 0 << 20 << 20 << 30 << false;
    // No dead air heard: the quietest programme is taken for the floor and
    // the proposal says so.
    QTest::newRow("no dead air") << "70*30 45*3 70*30" << 45 << 100 << 3 << 6 << true;
    // A second without audio is no silence and splits runs around it.
    QTest::newRow("capture lost") << "60*5 0*2 -*3 0*2 60*5" << 0 << 20 << 2 << 5 << false;
    // Runs longer than the highest time limit: capped at 100.
    QTest::newRow("silence past 100 s") << "60*2 0*120" << 0 << 20 << 120 << 100 << false;
    // Nothing silent at the proposal: the least margin still applies.
    QTest::newRow("steady tone") << "50*30" << 50 << 100 << 0 << 3 << true;
}

void TstLevelSurvey::proposal() {
    QFETCH(QString, seconds);
    const LevelSurvey survey = parse(seconds);
    const auto proposal = survey.proposal();
    QVERIFY(proposal);
    QTEST(proposal->noiseFloor, "floor");
    QTEST(proposal->vol, "vol");
    QTEST(proposal->longestRun, "longest");
    QTEST(proposal->time, "time");
    QTEST(proposal->floorTooHigh, "floorTooHigh");
    QCOMPARE(proposal->runTooLong, proposal->longestRun >= 100);
    // Whatever the input, the proposal keeps to Sondral's editors and raises
    // no alarm over the survey it was made from.
    QVERIFY(proposal->vol >= 0 && proposal->vol <= 100);
    QVERIFY(proposal->time >= 0 && proposal->time <= 100);
    QVERIFY(proposal->runTooLong || proposal->time > proposal->longestRun);
}

void TstLevelSurvey::distributionAndRuns() {
    // 20 seconds: 1, 2, .. 20 (the louder channel counts).
    QString text;
    for (int level = 1; level <= 20; ++level)
        text += QStringLiteral("%1/%2 ").arg(level % 2 ? level : 0).arg(level % 2 ? 0 : level);
    const LevelSurvey survey = parse(text);
    const auto spread = survey.distribution();
    QVERIFY(spread);
    QCOMPARE(spread->minimum, 1);
    QCOMPARE(spread->p5, 1);
    QCOMPARE(spread->median, 10);
    QCOMPARE(spread->p95, 19);
    QCOMPARE(spread->maximum, 20);

    // The detector's rule: silent below half the threshold, strictly; 25
    // gives 12.5.
    const SilentRuns runs = survey.silentRuns(25);
    QCOMPARE(runs.seconds, 12);
    QCOMPARE(runs.runs, 1);
    QCOMPARE(survey.silentRuns(24).seconds, 11);

    QVERIFY(!LevelSurvey().proposal());
    QVERIFY(!parse("-*5").distribution());
}

void TstLevelSurvey::reportEndsWithTheSuggestLine() {
    SurveyContext context;
    context.deviceName = QStringLiteral("Programme-ingang");
    context.secondsAsked = 20;
    const QString report = surveyReport(context, parse("67*10 0*3 67*7"));
    const QStringList lines = report.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.last(), QStringLiteral("suggest Vol=20 Time=6"));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^ +\\d+ +\\d+ +\\d+ +\\d+ +\\d+ s$")))
                 .size(),
             10);
    QVERIFY(!surveyReport(context, LevelSurvey()).contains(QStringLiteral("suggest")));
}

QTEST_APPLESS_MAIN(TstLevelSurvey)
#include "tst_levelsurvey.moc"
