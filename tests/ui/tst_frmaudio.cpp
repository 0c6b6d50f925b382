#include "dialogtest.h"

#include "settings/filehelpers.h"
#include "settings/inifile.h"
#include "settings/readsettings.h"
#include "ui/frmaudio.h"
#include "ui/ledspinedit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

const QStringList VolumeEditors = {"ledVolAuto", "ledFeed1Vol", "ledFeed2Vol", "ledFeed3Vol",
                                   "ledFeed4Vol"};
const QStringList TimeEditors = {"ledTijdAuto", "ledFeed1Tijd", "ledFeed2Tijd", "ledFeed3Tijd",
                                 "ledFeed4Tijd"};
const QStringList KeysInOrder = {"Card",      "AutoVol",   "Feed1Vol",  "Feed2Vol",
                                 "Feed3Vol",  "Feed4Vol",  "AutoTime",  "Feed1Time",
                                 "Feed2Time", "Feed3Time", "Feed4Time", "Log"};
const QStringList ThreeCards = {"Capture A", "Capture B", "Capture C"};

Settings sampleSettings() {
    Settings s;
    s.Card = 2;
    s.AutoVol = 10;
    s.Feed1Vol = 11;
    s.Feed2Vol = 12;
    s.Feed3Vol = 13;
    s.Feed4Vol = 14;
    s.Autotime = 20;
    s.Feed1time = 21;
    s.Feed2time = 22;
    s.Feed3time = 23;
    s.Feed4time = 24;
    s.Log = true;
    return s;
}

// The key=value lines of one section as they stand in the file, in file order.
QList<QPair<QString, QString>> sectionLines(const QByteArray& data, const QString& section) {
    QList<QPair<QString, QString>> lines;
    bool inside = false;
    for (const QByteArray& raw : data.split('\n')) {
        const QString line = QString::fromLatin1(raw).remove(QLatin1Char('\r'));
        if (line.startsWith(QLatin1Char('['))) {
            inside = line.compare(QLatin1Char('[') + section + QLatin1Char(']'),
                                  Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inside && eq > 0)
            lines.append({line.left(eq).trimmed(), line.mid(eq + 1)});
    }
    return lines;
}

} // namespace

class tst_frmAudio : public QObject, public DialogTest<frmAudio> {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadsFromSettings();
    void cardChoice_data();
    void cardChoice();
    void noCaptureDevice();
    void outOfRangeValuesAreClamped();
    void saveWritesAllKeysThenAsksForRestart();
    void saveKeepsOtherContent();
    void logTickBox_data();
    void logTickBox();
    void nextStartReadsWhatWasSaved();
    void closeButtonWritesNothing();
    void unwritableFileKeepsDialogOpen();
    void unreplaceableFileKeepsEveryKey();
    void unloadsWhenRestartMessageIsClosed();
    void escapeKeepsDialog();

private:
    frmAudio* open(const Settings& settings, const QStringList& cards = ThreeCards);
    LedSpinEdit* editor(const QString& name) const {
        return m_dialog->findChild<LedSpinEdit*>(name);
    }
    QComboBox* cards() const { return m_dialog->findChild<QComboBox*>("cobKaart"); }
    QCheckBox* logBox() const { return m_dialog->findChild<QCheckBox*>("chkLog"); }
    void clickSave() { m_dialog->findChild<QPushButton*>("cmdClose")->click(); }
};

void tst_frmAudio::init() {
    setUpDialog();
}

void tst_frmAudio::cleanup() {
    tearDownDialog();
}

frmAudio* tst_frmAudio::open(const Settings& settings, const QStringList& cardNames) {
    m_dialog = new frmAudio(
        settings, m_ini, m_iniPath, [cardNames] { return cardNames; }, *m_messages);
    return m_dialog;
}

void tst_frmAudio::loadsFromSettings() {
    open(sampleSettings());
    QStringList shown;
    for (int i = 0; i < cards()->count(); ++i)
        shown << cards()->itemText(i);
    QCOMPARE(shown, ThreeCards);
    QCOMPARE(cards()->currentIndex(), 2);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(editor(VolumeEditors[i])->value(), 10 + i);
        QCOMPARE(editor(TimeEditors[i])->value(), 20 + i);
    }
    QVERIFY(logBox()->isChecked());
}

void tst_frmAudio::cardChoice_data() {
    QTest::addColumn<int>("card");
    QTest::addColumn<int>("chosen");
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("last") << 2 << 2;
    QTest::newRow("none chosen") << -1 << -1;
    QTest::newRow("one past the list") << 3 << -1;
    QTest::newRow("hand-edited negative") << -7 << -1;
}

void tst_frmAudio::cardChoice() {
    QFETCH(int, card);
    QFETCH(int, chosen);
    Settings settings;
    settings.Card = qint16(card);
    open(settings);
    QCOMPARE(cards()->currentIndex(), chosen);
    clickSave();
    m_ini.selectFile(m_iniPath);
    m_ini.selectSection("Audio");
    QCOMPARE(m_ini.read("Card"), QString::number(chosen));
}

void tst_frmAudio::noCaptureDevice() {
    Settings settings = sampleSettings();
    settings.Card = 0;
    open(settings, {});
    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Foutmelding"));
    QCOMPARE(m_recorder.messages()[0].text, QString("Kan geen geluidskaart vinden"));
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Critical);
    QCOMPARE(cards()->count(), 0);
    QCOMPARE(cards()->currentIndex(), -1);
    // The rest of the dialog still loads and it can still save.
    QCOMPARE(editor("ledFeed3Tijd")->value(), 23);
    clickSave();
    QCOMPARE(m_recorder.messages().size(), 2);
    QCOMPARE(m_recorder.messages()[1].text, RestartText);
    QVERIFY(sectionLines(readAll(m_iniPath), "Audio")
                .contains(qMakePair(QString("Card"), QString("-1"))));
}

void tst_frmAudio::outOfRangeValuesAreClamped() {
    Settings settings;
    settings.AutoVol = 150;
    settings.Feed2time = -3;
    settings.Feed4Vol = 32767;
    open(settings);
    QCOMPARE(editor("ledVolAuto")->value(), 100);
    QCOMPARE(editor("ledFeed2Tijd")->value(), 0);
    QCOMPARE(editor("ledFeed4Vol")->value(), 100);
    clickSave();
    const auto lines = sectionLines(readAll(m_iniPath), "Audio");
    QVERIFY(lines.contains(qMakePair(QString("AutoVol"), QString("100"))));
    QVERIFY(lines.contains(qMakePair(QString("Feed2Time"), QString("0"))));
}

void tst_frmAudio::saveWritesAllKeysThenAsksForRestart() {
    open(sampleSettings());
    cards()->setCurrentIndex(1);
    editor("ledVolAuto")->setValue(45);
    editor("ledTijdAuto")->setValue(30);
    editor("ledFeed4Tijd")->setValue(100);

    // When the restart message is up, every key is already in the file.
    QList<QPair<QString, QString>> atMessage;
    m_recorder.onMessage = [&](const MessageRecorder::Message&) {
        atMessage = sectionLines(readAll(m_iniPath), "Audio");
    };
    clickSave();

    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Mededeling"));
    QCOMPARE(m_recorder.messages()[0].text, RestartText);
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Warning);

    const QList<QPair<QString, QString>> expected = {
        {"Card", "1"},       {"AutoVol", "45"},   {"Feed1Vol", "11"},   {"Feed2Vol", "12"},
        {"Feed3Vol", "13"},  {"Feed4Vol", "14"},  {"AutoTime", "30"},   {"Feed1Time", "21"},
        {"Feed2Time", "22"}, {"Feed3Time", "23"}, {"Feed4Time", "100"}, {"Log", "1"}};
    QCOMPARE(atMessage, expected);
    QVERIFY(dialogGone());
}

void tst_frmAudio::saveKeepsOtherContent() {
    writeFile(m_iniPath, "; Sondral settings\r\n"
                         "[InterPC]\r\n"
                         "RemoteName=playout\r\n"
                         "RemotePort=5000\r\n"
                         "\r\n"
                         "[audio]\r\n"
                         "autotime=5\r\n"
                         "Feed2time = 9\r\n"
                         "Colour=blue\r\n"
                         "; keep me\r\n");
    open(sampleSettings());
    clickSave();

    const QByteArray after = readAll(m_iniPath);
    QVERIFY(after.startsWith("; Sondral settings\r\n[InterPC]\r\nRemoteName=playout\r\n"
                             "RemotePort=5000\r\n"));
    QVERIFY(after.contains("Colour=blue"));
    QVERIFY(after.contains("; keep me"));
    // The time keys written with a capital T replace the small-t ones.
    QCOMPARE(after.toLower().count("autotime"), 1);
    QCOMPARE(after.toLower().count("feed2time"), 1);
    QCOMPARE(after.toLower().count("[audio]"), 1);
    const auto lines = sectionLines(after, "Audio");
    QStringList keys;
    for (const auto& line : lines)
        keys << line.first.toLower();
    for (const QString& key : KeysInOrder)
        QCOMPARE(keys.count(key.toLower()), 1);
    m_ini.selectFile(m_iniPath);
    m_ini.selectSection("Audio");
    QCOMPARE(m_ini.read("Autotime"), QString("20"));
    QCOMPARE(m_ini.read("Feed2time"), QString("22"));
}

void tst_frmAudio::logTickBox_data() {
    QTest::addColumn<bool>("logAtStart");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("written");
    QTest::newRow("on, kept") << true << false << "1";
    QTest::newRow("on, unticked") << true << true << "0";
    QTest::newRow("off, kept") << false << false << "0";
    QTest::newRow("off, ticked") << false << true << "1";
}

void tst_frmAudio::logTickBox() {
    QFETCH(bool, logAtStart);
    QFETCH(bool, toggle);
    QFETCH(QString, written);
    Settings settings;
    settings.Log = logAtStart;
    open(settings);
    QCOMPARE(logBox()->isChecked(), logAtStart);
    if (toggle)
        logBox()->click();
    clickSave();
    QVERIFY(sectionLines(readAll(m_iniPath), "Audio").contains(qMakePair(QString("Log"), written)));
}

void tst_frmAudio::nextStartReadsWhatWasSaved() {
    open(Settings());
    cards()->setCurrentIndex(1);
    editor("ledTijdAuto")->setValue(20);
    editor("ledFeed3Vol")->setValue(65);
    logBox()->setChecked(true);
    clickSave();

    IniFile ini;
    Settings next;
    QCOMPARE(ReadSettings(ini, m_iniPath, next), QStringList());
    QCOMPARE(next.Card, qint16(1));
    QCOMPARE(next.Autotime, qint16(20));
    QCOMPARE(next.Feed3Vol, qint16(65));
    QCOMPARE(next.Log, true);
}

void tst_frmAudio::closeButtonWritesNothing() {
    writeFile(m_iniPath, "[Audio]\nAutoVol=3\n");
    open(sampleSettings());
    editor("ledVolAuto")->setValue(90);
    m_dialog->show();
    QVERIFY(m_dialog->close());
    QVERIFY(dialogGone());
    QCOMPARE(readAll(m_iniPath), QByteArray("[Audio]\nAutoVol=3\n"));
    QVERIFY(m_recorder.messages().isEmpty());
}

void tst_frmAudio::unwritableFileKeepsDialogOpen() {
    // A directory where the file should be: no write can succeed, not even
    // with the rights of the superuser.
    QVERIFY(QDir(m_dir->path()).mkdir("sondral.ini"));
    open(sampleSettings());
    m_dialog->show();
    editor("ledFeed1Vol")->setValue(77);
    clickSave();

    QCOMPARE(m_recorder.messages().size(), 1);
    const auto& message = m_recorder.messages()[0];
    QCOMPARE(message.title, QString("Foutmelding"));
    QCOMPARE(message.icon, QMessageBox::Critical);
    QVERIFY2(message.text.contains(QDir::toNativeSeparators(m_iniPath)), qPrintable(message.text));
    QVERIFY(!dialogGone());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(editor("ledFeed1Vol")->value(), 77);
    QCOMPARE(cards()->currentIndex(), 2);
}

void tst_frmAudio::unreplaceableFileKeepsEveryKey() {
    // The changed card fits in the old size, the keys after it do not: all
    // twelve keys land or none.
    const QByteArray before("[Audio]\nCard=2\n");
    writeFile(m_iniPath, before);
    open(sampleSettings());
    cards()->setCurrentIndex(1);
    withFileSizeLimit(before.size(), [&] {
        clickSave();
        return true;
    });
    QCOMPARE(readAll(m_iniPath), before);
    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Foutmelding"));
    QVERIFY(!dialogGone());
}

void tst_frmAudio::unloadsWhenRestartMessageIsClosed() {
    open(sampleSettings());
    m_dialog->show();
    clickSave(); // returns at once: the box runs no event loop of its own
    QMessageBox* message = m_dialog->findChild<QMessageBox*>();
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->windowTitle(), QString("Mededeling"));
    QCOMPARE(message->text(), RestartText);
    QCOMPARE(message->icon(), QMessageBox::Warning);
    QCOMPARE(message->windowModality(), Qt::WindowModal);
    QCOMPARE(message->parentWidget(), m_dialog.data());
    QVERIFY(!dialogGone());

    message->button(QMessageBox::Ok)->click();
    QVERIFY(dialogGone());
}

void tst_frmAudio::escapeKeepsDialog() {
    open(sampleSettings());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
    editor("ledVolAuto")->setValue(55);
    QTest::keyClick(m_dialog, Qt::Key_Escape);
    QVERIFY(!dialogGone());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(editor("ledVolAuto")->value(), 55);
}

QTEST_MAIN(tst_frmAudio)
#include "tst_frmaudio.moc"
