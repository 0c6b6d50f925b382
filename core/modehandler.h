#pragma once

#include "core/monitorports.h"

#include <QByteArray>

struct ModeState;
struct Settings;
class ErrorReporter;

// Handles the server's control datagrams: switches the mode, shows the
// source, arms threshold and time limit of the source on air, starts and
// stops the tick, and pauses and resumes the automation.
class ModeHandler {
public:
    ModeHandler(const Settings& settings, ModeState& state, const MonitorPorts& ports,
                ErrorReporter& errors);

    // One arrived datagram. A payload that is not exactly one of the
    // keywords changes nothing but LastDatagram.
    void handle(const QByteArray& payload);
    // The error path: a failure reading the socket or inside handle().
    void fail(int code);

private:
    void handleSteps(const QByteArray& payload);
    void armSource(qint16 mode, const QString& statusText, qint16 vol, qint16 time,
                   const QString& logText);
    void log(const QString& message);

    const Settings& m_settings;
    ModeState& m_state;
    MonitorPorts m_ports;
    ErrorReporter& m_errors;
};
