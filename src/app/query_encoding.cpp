#include "app/box_client.h"

namespace {
bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~';
}
} // namespace

QByteArray encodeQueryValue(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size() * 3);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (isUnreserved(c) || (c == '%' && i + 2 < in.size() && isHex(in[i + 1]) && isHex(in[i + 2]))) {
            out.append(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out.append('%').append(hex[b >> 4]).append(hex[b & 0x0F]);
        }
    }
    return out;
}
