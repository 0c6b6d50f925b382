#include "tools/sondral-sim/datagramtext.h"

QString DatagramText::quoted(const QByteArray& payload) {
    QString out = QStringLiteral("\"");
    for (char c : payload) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case 0:
            out += QStringLiteral("\\0");
            break;
        default:
            if (byte >= 0x20 && byte < 0x7f)
                out += QLatin1Char(c);
            else
                out += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
    }
    out += QLatin1Char('"');
    return out;
}

std::optional<QByteArray> DatagramText::fromHex(const QString& hex) {
    QString digits = hex;
    digits.remove(QLatin1Char(' '));
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return std::nullopt;
    for (QChar ch : digits) {
        const bool isHex = (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) ||
                           (ch.toLower() >= QLatin1Char('a') && ch.toLower() <= QLatin1Char('f'));
        if (!isHex)
            return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}
