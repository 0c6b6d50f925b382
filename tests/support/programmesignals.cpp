#include "support/programmesignals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <array>

namespace {

constexpr int rate = 48000;
const QString soundFont = QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2");

// Runs a tool to its end; false with its words in *error.
bool run(const QString& program, const QStringList& args, QString* error,
         const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start").arg(program);
        return false;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("%1 %2 failed: %3")
                     .arg(program, args.join(QLatin1Char(' ')),
                          QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    return true;
}

// The output file's options and effects: 48 kHz stereo 16 bit, seconds long.
QStringList wavOut(const QString& path, int seconds) {
    return {QStringLiteral("-r"),
            QString::number(rate),
            QStringLiteral("-c"),
            QStringLiteral("2"),
            QStringLiteral("-b"),
            QStringLiteral("16"),
            path,
            QStringLiteral("trim"),
            QStringLiteral("0"),
            QString::number(seconds)};
}

class Midi {
public:
    void delta(quint32 ticks) {
        // Variable-length quantity, most significant group first.
        std::array<quint8, 5> groups{};
        int n = 0;
        do {
            groups[std::size_t(n++)] = quint8(ticks & 0x7f);
            ticks >>= 7;
        } while (ticks);
        while (n-- > 0)
            m_track.append(char(groups[std::size_t(n)] | (n ? 0x80 : 0)));
    }
    void event(quint32 ticks, quint8 status, quint8 a, quint8 b) {
        delta(ticks);
        m_track.append(char(status));
        m_track.append(char(a));
        m_track.append(char(b));
    }
    void program(quint8 channel, quint8 number) {
        delta(0);
        m_track.append(char(0xc0 | channel));
        m_track.append(char(number));
    }
    QByteArray file() const {
        QByteArray out("MThd");
        const auto be32 = [&out](quint32 v) {
            for (int s = 24; s >= 0; s -= 8)
                out.append(char((v >> s) & 0xff));
        };
        be32(6);
        out.append("\x00\x00\x00\x01\x01\xe0", 6); // format 0, one track, 480 per quarter
        QByteArray track = m_track;
        track.append("\x00\xff\x2f\x00", 4); // end of track
        out.append("MTrk");
        be32(quint32(track.size()));
        out.append(track);
        return out;
    }

private:
    QByteArray m_track;
};

struct Note {
    quint32 at;
    quint8 channel;
    quint8 key;
    quint8 velocity;
    quint32 length;
};

} // namespace

namespace ProgrammeSignals {

QStringList steadyNames() {
    return {QStringLiteral("hum"), QStringLiteral("noise"), QStringLiteral("tone"),
            QStringLiteral("loop")};
}

QStringList programmeNames() {
    return {QStringLiteral("speech"), QStringLiteral("music"), QStringLiteral("limited")};
}

QStringList missingTools() {
    QStringList missing;
    for (const char* tool : {"sox", "espeak-ng", "fluidsynth"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (!QFileInfo::exists(soundFont))
        missing << soundFont;
    return missing;
}

QByteArray midiMusic(int seconds, quint32 seed) {
    quint32 state = seed;
    auto next = [&state](int n) {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % quint32(n));
    };
    constexpr quint32 quarter = 480;
    constexpr quint32 bar = 4 * quarter;
    // 120 beats a minute: a bar lasts 2 s.
    const int bars = seconds / 2 + 2;
    // A minor-key progression; each bar takes one of these chords.
    const std::array<std::array<int, 3>, 6> chords{
        {{57, 60, 64}, {53, 57, 60}, {55, 59, 62}, {52, 55, 59}, {50, 53, 57}, {48, 52, 55}}};
    const std::array<int, 7> scale{0, 2, 3, 5, 7, 8, 10};
    std::vector<Note> notes;
    for (int b = 0; b < bars; ++b) {
        const quint32 start = quint32(b) * bar;
        const auto& chord = chords[std::size_t(next(int(chords.size())))];
        // The strength changes every few bars: verses, choruses, a break.
        const int section = (b / 4) % 4;
        const int loud = section == 2 ? 30 : section == 3 ? 95 : 70;
        // Chords on strings (held) and piano (struck on beats).
        for (int k : chord)
            notes.push_back({start, 1, quint8(k), quint8(loud - 10 + next(20)), bar - 20});
        for (quint32 beat = 0; beat < 4; beat += 1 + quint32(next(2)))
            for (int k : chord)
                notes.push_back({start + beat * quarter, 0, quint8(k + 12),
                                 quint8(loud - 20 + next(40)), quarter / 2 + quint32(next(240))});
        // Bass on the root, in varied rhythm.
        for (quint32 t = 0; t < bar;) {
            const quint32 len = quarter / 2 * quint32(1 + next(3));
            notes.push_back(
                {start + t, 2, quint8(chord[0] - 24), quint8(loud + next(25)), len - 30});
            t += len;
        }
        // A melody of eighths, quarters and rests over the key.
        for (quint32 t = 0; t < bar;) {
            const quint32 len = quarter / 2 * quint32(1 + next(4));
            if (next(5) != 0) {
                const int key = 69 + scale[std::size_t(next(7))] + 12 * (next(3) - 1);
                notes.push_back({start + t, 3, quint8(key), quint8(loud - 15 + next(50)), len});
            }
            t += len;
        }
        // Drums, except in the break.
        if (section != 2) {
            for (quint32 e = 0; e < 8; ++e) {
                const quint32 at = start + e * quarter / 2;
                if (e % 4 == 0 || next(6) == 0)
                    notes.push_back({at, 9, 36, quint8(loud + next(30)), 100});
                if (e % 4 == 2)
                    notes.push_back({at, 9, 38, quint8(loud + next(30)), 100});
                if (next(4) != 0)
                    notes.push_back({at, 9, quint8(next(3) ? 42 : 46), quint8(30 + next(70)), 60});
            }
        }
    }
    // Note-on and note-off events in time order.
    struct Event {
        quint32 at;
        quint8 status, a, b;
    };
    std::vector<Event> events;
    for (const Note& n : notes) {
        events.push_back(
            {n.at, quint8(0x90 | n.channel), n.key, std::min<quint8>(n.velocity, 127)});
        events.push_back({n.at + n.length, quint8(0x80 | n.channel), n.key, 0});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& x, const Event& y) { return x.at < y.at; });
    Midi midi;
    midi.program(0, 0);  // piano
    midi.program(1, 48); // strings
    midi.program(2, 33); // bass
    midi.program(3, 73); // flute
    quint32 now = 0;
    for (const Event& e : events) {
        midi.event(e.at - now, e.status, e.a, e.b);
        now = e.at;
    }
    return midi.file();
}

QString make(const QString& dir, const QString& name, int seconds, QString* error) {
    const QString path = QDir(dir).filePath(QStringLiteral("%1-%2.wav").arg(name).arg(seconds));
    if (QFileInfo::exists(path))
        return path;
    const QString sox = QStringLiteral("sox");
    const QString d = QString::number(seconds);
    auto synth = [&](QStringList what) {
        QStringList args{QStringLiteral("-n")};
        args << wavOut(path, seconds);
        args << QStringLiteral("synth") << d << what;
        return run(sox, args, error) ? path : QString();
    };
    if (name == u"hum")
        return synth({QStringLiteral("sine"), QStringLiteral("50"), QStringLiteral("gain"),
                      QStringLiteral("-30")});
    if (name == u"noise")
        return synth({QStringLiteral("whitenoise"), QStringLiteral("gain"), QStringLiteral("-40")});
    if (name == u"tone")
        return synth({QStringLiteral("sine"), QStringLiteral("1000"), QStringLiteral("gain"),
                      QStringLiteral("-18")});
    if (name == u"music") {
        const QString mid = QDir(dir).filePath(QStringLiteral("music-%1.mid").arg(seconds));
        const QString raw = QDir(dir).filePath(QStringLiteral("music-%1-raw.wav").arg(seconds));
        QFile f(mid);
        if (!f.open(QIODevice::WriteOnly) || f.write(midiMusic(seconds)) < 0) {
            *error = f.errorString();
            return {};
        }
        f.close();
        if (!run(QStringLiteral("fluidsynth"),
                 {QStringLiteral("-ni"), QStringLiteral("-q"), QStringLiteral("-r"),
                  QString::number(rate), QStringLiteral("-g"), QStringLiteral("0.6"),
                  QStringLiteral("-F"), raw, soundFont, mid},
                 error))
            return {};
        QStringList args{raw};
        args << wavOut(path, seconds) << QStringLiteral("gain") << QStringLiteral("-n")
             << QStringLiteral("-3");
        return run(sox, args, error) ? path : QString();
    }
    if (name == u"limited") {
        const QString music = make(dir, QStringLiteral("music"), seconds, error);
        if (music.isEmpty())
            return {};
        // Fast attack, short release, everything above -50 dB squeezed into
        // a few dB, with a little look-ahead: a broadcast limiter's sound.
        QStringList args{music};
        args << wavOut(path, seconds) << QStringLiteral("compand") << QStringLiteral("0.003,0.08")
             << QStringLiteral("6:-80,-80,-50,-12,-20,-6,0,-3") << QStringLiteral("-1")
             << QStringLiteral("-90") << QStringLiteral("0.005") << QStringLiteral("gain")
             << QStringLiteral("-n") << QStringLiteral("-1");
        return run(sox, args, error) ? path : QString();
    }
    if (name == u"loop") {
        // 100 ms of the music, played over and over: a stuck player.
        const QString music = make(dir, QStringLiteral("music"), 20, error);
        if (music.isEmpty())
            return {};
        const QStringList args{music,
                               QStringLiteral("-r"),
                               QString::number(rate),
                               QStringLiteral("-c"),
                               QStringLiteral("2"),
                               QStringLiteral("-b"),
                               QStringLiteral("16"),
                               path,
                               QStringLiteral("trim"),
                               QStringLiteral("8.3"),
                               QStringLiteral("0.1"),
                               QStringLiteral("repeat"),
                               QString::number(seconds * 10),
                               QStringLiteral("trim"),
                               QStringLiteral("0"),
                               d};
        return run(sox, args, error) ? path : QString();
    }
    if (name == u"speech") {
        const QString raw = QDir(dir).filePath(QStringLiteral("speech-raw.wav"));
        const QString text = QStringLiteral(
            "Good evening, this is the late news. The council met tonight to discuss the new "
            "bridge over the river, and after a long debate the plan was approved by a narrow "
            "margin. Traffic on the ring road is slow near the harbour, where a lorry has lost "
            "its load. Tomorrow will be cloudy at first, with some sunny spells in the "
            "afternoon and a fresh wind from the west. In sport, the home side won their "
            "match three goals to one, and the coach said he was very proud of the young "
            "players. Now back to the music, and we will be with you again at the top of the "
            "hour.");
        if (!QFileInfo::exists(raw) &&
            !run(QStringLiteral("espeak-ng"),
                 {QStringLiteral("-v"), QStringLiteral("en"), QStringLiteral("-s"),
                  QStringLiteral("160"), QStringLiteral("-w"), raw, text},
                 error))
            return {};
        // Said again and again until the length is reached.
        QStringList args{raw,
                         QStringLiteral("-r"),
                         QString::number(rate),
                         QStringLiteral("-c"),
                         QStringLiteral("2"),
                         QStringLiteral("-b"),
                         QStringLiteral("16"),
                         path,
                         QStringLiteral("repeat"),
                         QString::number(seconds / 20 + 1),
                         QStringLiteral("trim"),
                         QStringLiteral("0"),
                         d,
                         QStringLiteral("gain"),
                         QStringLiteral("-n"),
                         QStringLiteral("-3")};
        return run(sox, args, error) ? path : QString();
    }
    *error = QStringLiteral("no signal called %1").arg(name);
    return {};
}

} // namespace ProgrammeSignals
