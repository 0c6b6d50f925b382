#pragma once

// The one table of the sources the server can put on air and Sondral
// watches for silence: the automation and the four feeds. A new source is
// one row here; everything else (its Settings fields, its keys of the
// section "Audio", the handler, the status texts, the audio dialog's frame,
// the counts per keyword) follows from it. The live studio is never watched
// and has no row.
//
// ROW(name, mode, statusText, logText, pausable, field, frameCaption,
//     thresholdEditor, timeEditor):
// * name: the keyword without "SN_", as the status page, the metrics and the
//   notifications name the source; the keyword is "SN_" name.
// * mode: ModeState::Mode while it is on air (the status page's "mode").
// * statusText: the main window's status line; logText: the event log's line
//   when the source goes on air.
// * pausable: "SN_PAUSE_ON" and "SN_PAUSE_OFF" act on it.
// * field: the Settings fields field##Vol (threshold, percent),
//   field##time (time limit, seconds) and field##Flat (steady-signal time,
//   seconds), read from the keys of the same names (the time key is written
//   as field##Time).
// * frameCaption, thresholdEditor, timeEditor: the audio dialog's frame and
//   the object names of its two editors.
//
// The rows are in the order the handler tests the keywords, SettingsFile
// reads and writes the keys, and the dialog shows its frames.
// clang-format off
#define SONDRAL_MONITORED_SOURCES(ROW) \
    ROW(AUTO,   2, "AUTOMAAT", "Server Running AUTO",   true,  Auto,  "Automaat",    "ledVolAuto",  "ledTijdAuto")  \
    ROW(FEED_1, 3, "FEED 1",   "Server Running FEED 1", false, Feed1, "Feed 1",      "ledFeed1Vol", "ledFeed1Tijd") \
    ROW(FEED_2, 4, "FEED 2",   "Server Running FEED 2", false, Feed2, "Feed 2",      "ledFeed2Vol", "ledFeed2Tijd") \
    ROW(FEED_3, 5, "FEED 3",   "Server Running FEED 3", false, Feed3, "Feed 3",      "ledFeed3Vol", "ledFeed3Tijd") \
    ROW(FEED_4, 6, "FEED 4",   "Server Running FEED 4", false, Feed4, "Feed 4 (MD)", "ledFeed4Vol", "ledFeed4Tijd")
// clang-format on
