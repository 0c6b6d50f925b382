#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Conversions between datagram payloads and the text a person types or reads.
class DatagramText {
public:
    // The payload between double quotes, printable ASCII as it stands;
    // backslash, double quote and every other byte escaped (\r, \n, \t, \0, \xHH).
    static QString quoted(const QByteArray& payload);

    // "534e5f4155544f" (optionally with spaces or a 0x prefix) to its bytes;
    // nothing when the text is not an even number of hex digits.
    static std::optional<QByteArray> fromHex(const QString& hex);
};
