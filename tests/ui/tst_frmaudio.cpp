#include "dialogtest.h"

#include "settings/filehelpers.h"
#include "settings/settingsfile.h"
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
const QStringList KeysInOrder = {"Card",      "CardName",  "AutoVol",  "Feed1Vol",  "Feed2Vol",
                                 "Feed3Vol",  "Feed4Vol",  "AutoTime", "Feed1Time", "Feed2Time",
                                 "Feed3Time", "Feed4Time", "Log"};
const CaptureDeviceList ThreeCards = {
    {"in.a", "Capture A"}, {"in.b", "Capture B"}, {"in.c", "Capture C"}};

const QByteArray SampleValues = "AutoVol=10\nFeed1Vol=11\nFeed2Vol=12\nFeed3Vol=13\nFeed4Vol=14\n"
                                "AutoTime=20\nFeed1Time=21\nFeed2Time=22\nFeed3Time=23\n"
                                "Feed4Time=24\nLog=1\n";
const QByteArray Sample = "[Audio]\nCard=2\n" + SampleValues;

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
    void emptyListKeepsStoredCard();
    void savedInputNameChoosesTheEntry_data();
    void savedInputNameChoosesTheEntry();
    void reopenedAfterSaveShowsWhatWasSaved();
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
    // The dialog as the menu opens it, on a settings file loaded from ini
    // (none: the file loaded last).
    frmAudio* open(const QByteArray& ini, const CaptureDeviceList& cards = ThreeCards);
    frmAudio* reopen(const CaptureDeviceList& cards = ThreeCards);
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

frmAudio* tst_frmAudio::open(const QByteArray& ini, const CaptureDeviceList& cards) {
    loadSettings(ini);
    return reopen(cards);
}

frmAudio* tst_frmAudio::reopen(const CaptureDeviceList& cards) {
    m_dialog = new frmAudio(
        *m_settingsFile, [cards] { return cards; }, *m_messages);
    return m_dialog;
}

void tst_frmAudio::loadsFromSettings() {
    open(Sample);
    QStringList shown;
    for (int i = 0; i < cards()->count(); ++i)
        shown << cards()->itemText(i);
    QCOMPARE(shown, (QStringList{"Capture A", "Capture B", "Capture C"}));
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
    open("[Audio]\nCard=" + QByteArray::number(card) + "\n");
    QCOMPARE(cards()->currentIndex(), chosen);
    clickSave();
    QCOMPARE(readKey("Audio", "Card"), QString::number(chosen));
    QCOMPARE(readKey("Audio", "CardName"),
             chosen < 0 ? QString() : QString::fromUtf8(ThreeCards[chosen].id));
}

void tst_frmAudio::noCaptureDevice() {
    open("[Audio]\nCard=0\n" + SampleValues, {});
    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Foutmelding"));
    QCOMPARE(m_recorder.messages()[0].text, QString("Kan geen geluidskaart vinden"));
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Critical);
    QCOMPARE(cards()->count(), 0);
    QCOMPARE(cards()->currentIndex(), -1);
    // The rest of the dialog still loads and it can still save.
    QCOMPARE(editor("ledFeed3Tijd")->value(), 23);
    editor("ledFeed3Tijd")->setValue(33);
    clickSave();
    QCOMPARE(m_recorder.messages().size(), 2);
    QCOMPARE(m_recorder.messages()[1].text, RestartText);
    QCOMPARE(readKey("Audio", "Feed3Time"), QString("33"));
}

// No sound server: nothing to choose from, so the stored input stays as it
// is instead of becoming "none".
void tst_frmAudio::emptyListKeepsStoredCard() {
    const QByteArray card = "[Audio]\nCard=2\nCardName=in.c\n";
    open(card + SampleValues, {});
    clickSave();
    const QByteArray after = readAll(m_iniPath);
    QVERIFY2(after.startsWith(card), after.constData());
    QCOMPARE(after.count("Card"), 2);
}

void tst_frmAudio::savedInputNameChoosesTheEntry_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("chosen");
    QTest::newRow("listed elsewhere: the name wins") << QByteArray("Card=0\nCardName=in.c\n") << 2;
    QTest::newRow("not listed: the position") << QByteArray("Card=1\nCardName=in.gone\n") << 1;
}

void tst_frmAudio::savedInputNameChoosesTheEntry() {
    QFETCH(QByteArray, stored);
    QFETCH(int, chosen);
    open("[Audio]\n" + stored);
    QCOMPARE(cards()->currentIndex(), chosen);
    clickSave();
    QCOMPARE(readKey("Audio", "Card"), QString::number(chosen));
    QCOMPARE(readKey("Audio", "CardName"), QString::fromUtf8(ThreeCards[chosen].id));
}

// Reopened in the same run, the dialog shows what was saved, so a second
// Save does not write the start-up values back over it.
void tst_frmAudio::reopenedAfterSaveShowsWhatWasSaved() {
    open(Sample);
    cards()->setCurrentIndex(0);
    editor("ledVolAuto")->setValue(45);
    editor("ledFeed4Tijd")->setValue(99);
    logBox()->setChecked(false);
    clickSave();
    QVERIFY(dialogGone());

    reopen();
    QCOMPARE(cards()->currentIndex(), 0);
    QCOMPARE(editor("ledVolAuto")->value(), 45);
    QCOMPARE(editor("ledFeed4Tijd")->value(), 99);
    QCOMPARE(editor("ledFeed1Vol")->value(), 11);
    QVERIFY(!logBox()->isChecked());
    clickSave();
    QCOMPARE(readKey("Audio", "AutoVol"), QString("45"));
    QCOMPARE(readKey("Audio", "Card"), QString("0"));
}

void tst_frmAudio::outOfRangeValuesAreClamped() {
    open("[Audio]\nAutoVol=150\nFeed2Time=-3\nFeed4Vol=32767\n");
    QCOMPARE(editor("ledVolAuto")->value(), 100);
    QCOMPARE(editor("ledFeed2Tijd")->value(), 0);
    QCOMPARE(editor("ledFeed4Vol")->value(), 100);
    clickSave();
    const auto lines = sectionLines(readAll(m_iniPath), "Audio");
    QVERIFY(lines.contains(qMakePair(QString("AutoVol"), QString("100"))));
    QVERIFY(lines.contains(qMakePair(QString("Feed2Time"), QString("0"))));
}

void tst_frmAudio::saveWritesAllKeysThenAsksForRestart() {
    open(Sample);
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

    // CardName was not in the file yet: it goes after the section's last key.
    const QList<QPair<QString, QString>> expected = {
        {"Card", "1"},       {"AutoVol", "45"},   {"Feed1Vol", "11"},   {"Feed2Vol", "12"},
        {"Feed3Vol", "13"},  {"Feed4Vol", "14"},  {"AutoTime", "30"},   {"Feed1Time", "21"},
        {"Feed2Time", "22"}, {"Feed3Time", "23"}, {"Feed4Time", "100"}, {"Log", "1"},
        {"CardName", "in.b"}};
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
    m_settingsFile->load();
    reopen();
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
    // The dialog opened with what the file held.
    QCOMPARE(readKey("Audio", "Autotime"), QString("5"));
    QCOMPARE(readKey("Audio", "Feed2time"), QString("9"));
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
    open(logAtStart ? "[Audio]\nLog=1\n" : "[Audio]\nLog=0\n");
    QCOMPARE(logBox()->isChecked(), logAtStart);
    if (toggle)
        logBox()->click();
    clickSave();
    QVERIFY(sectionLines(readAll(m_iniPath), "Audio").contains(qMakePair(QString("Log"), written)));
}

void tst_frmAudio::nextStartReadsWhatWasSaved() {
    open({});
    cards()->setCurrentIndex(1);
    editor("ledTijdAuto")->setValue(20);
    editor("ledFeed3Vol")->setValue(65);
    logBox()->setChecked(true);
    clickSave();

    SettingsFile file(m_iniPath);
    // Only the link is missing.
    QCOMPARE(file.load().size(), 1);
    const Settings next = file.settings();
    QCOMPARE(next.Card, qint16(1));
    QCOMPARE(next.CardName, QString("in.b"));
    // A new section holds the keys in the dialog's order, CardName beside Card.
    QStringList keys;
    for (const auto& line : sectionLines(readAll(m_iniPath), "Audio"))
        keys << line.first;
    QCOMPARE(keys, KeysInOrder);
    QCOMPARE(next.Autotime, qint16(20));
    QCOMPARE(next.Feed3Vol, qint16(65));
    QCOMPARE(next.Log, true);
}

void tst_frmAudio::closeButtonWritesNothing() {
    open("[Audio]\nAutoVol=3\n");
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
    loadSettings(Sample);
    QVERIFY(QFile::remove(m_iniPath));
    QVERIFY(QDir(m_dir->path()).mkdir("sondral.ini"));
    reopen();
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
    open(before);
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
    open(Sample);
    m_dialog->show();
    clickSave(); // returns at once: the box runs no event loop of its own
    QMessageBox* message = m_dialog->findChild<QMessageBox*>();
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->windowTitle(), QString("Mededeling"));
    QCOMPARE(message->text(), RestartText);
    QCOMPARE(message->icon(), QMessageBox::Warning);
    QCOMPARE(message->windowModality(), Qt::WindowModal);
    QCOMPARE(message->parentWidget(), m_dialog.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_dialog); // while the box stands

    message->button(QMessageBox::Ok)->click();
    QVERIFY(dialogGone());
}

void tst_frmAudio::escapeKeepsDialog() {
    open(Sample);
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
