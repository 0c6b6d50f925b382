#pragma once

#include <QByteArray>

// One step of a simulator run, as parsed from the command line or a script.
struct SimCommand {
    enum class Kind {
        Send,   // send m_payload to the Sondral host
        Wait,   // let m_seconds pass (datagrams are still printed)
        Listen, // print datagrams for m_seconds, or until interrupted when m_seconds < 0
        Expect, // wait up to m_seconds for a datagram equal to m_payload
    };

    Kind m_kind = Kind::Wait;
    QByteArray m_payload;
    double m_seconds = 0.0;
    int m_line = 0; // script line (or 1-based command position) for messages
};
