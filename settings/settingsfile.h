#pragma once

#include "settings/inifile.h"
#include "settings/settings.h"

#include <QString>
#include <QStringList>

// sondral.ini as the program knows it: the one place that spells its
// sections and the keys Card, CardName, Log, RemoteName, RemotePort and
// HostPort (the keys of the monitored sources come from MonitoredSources),
// [Station] Name and the keys of [Notify].
// It loads Settings at start-up together with what the operator must be told
// about the file, and saves the section of each settings dialog in one
// replacement of the file.
class SettingsFile {
public:
    explicit SettingsFile(const QString& path);
    QString path() const { return m_path; }

    // Reads the file into settings() and returns the start-up problems, one
    // Dutch line each, in the order of the keys, e.g.
    //   Ongeldige waarde in sondral.ini, sectie [Audio], sleutel AutoVol:
    //   "300". Toegestaan is 0 tot en met 100; 100 wordt gebruikt.
    // A missing file, and missing or empty values, give the field's default
    // in silence. A value that is not a number gives 0 and a line; a
    // threshold or time limit outside 0..100 is named and held to that range;
    // a Card below 0 and a port outside 1..65535 are named and kept as read.
    // When a file exists and the link stays off (RemoteName empty, a port
    // missing, not a number or outside the range), a last line says so and
    // why. A file that exists but cannot be read gives every default and one
    // line naming the file and the reason.
    QStringList load();

    // The settings as a start would read them now: what load() read, with
    // each section saved since read again. The dialogs fill from this, so a
    // dialog reopened after a save shows what was saved; the running
    // monitoring keeps its own copy of what load() gave.
    const Settings& settings() const { return m_settings; }

    // Whether a save of the Audio section writes Card and CardName, or keeps
    // those stored (no input listed to choose from).
    enum class CardChoice { Save, Keep };
    // Writes the Audio section from values: Card and CardName, Url (once
    // one was set), the thresholds, the time limits, Log.
    bool saveAudio(const Settings& values, CardChoice card);

    // The link dialog's three texts, written as typed.
    struct LinkTexts {
        QString remoteName;
        QString remotePort;
        QString hostPort;
    };
    bool saveLink(const LinkTexts& texts);

    // Why the last save failed; the file is then as it was.
    QString errorString() const { return m_ini.errorString(); }

private:
    QString m_path;
    IniFile m_ini;
    Settings m_settings;
};
