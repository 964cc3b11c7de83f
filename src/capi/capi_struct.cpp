#include "capi/capi_struct.h"

#include <algorithm>
#include <cstring>

TStruct::TStruct() : m_owned(1, 0) {}

TStruct::TStruct(const quint8 *at, qsizetype available)
    : m_view(at), m_available(std::max<qsizetype>(available, 0))
{
    if (m_available < 1) {
        m_truncated = true;
    } else if (at[0] != 0xFF) {
        m_dataLength = at[0];
    } else if (m_available >= 3) {
        m_dataLength = quint16(at[1] | (at[2] << 8));
    } else {
        m_truncated = true;
    }
    if (!m_truncated && prefixSize() + m_dataLength > m_available)
        m_truncated = true;
    // A struct that does not fit its message reads as empty rather than as a part of itself.
    if (m_truncated)
        m_dataLength = 0;
    Rewind();
}

TStruct::~TStruct() = default;

void TStruct::Allocate(quint16 n)
{
    m_view = nullptr;
    m_truncated = false;
    m_dataLength = n;
    m_owned.assign(size_t(EncodedSize()), 0);
    if (n >= 255) {
        m_owned[0] = 0xFF;
        m_owned[1] = quint8(n & 0xFF);
        m_owned[2] = quint8(n >> 8);
    } else {
        m_owned[0] = quint8(n);
    }
    m_available = EncodedSize();
    m_consumed = 0;
    m_cursor = n == 0 ? -1 : prefixSize();
}

void TStruct::Append(const void *bytes, qsizetype count)
{
    if (count <= 0 || m_view || m_cursor < 0)
        return;
    const qsizetype room = EncodedSize() - m_cursor;
    const qsizetype n = std::min(count, room);
    std::memcpy(m_owned.data() + m_cursor, bytes, size_t(n));
    m_cursor += n;
}

void TStruct::ReadBytes(void *target, qsizetype count)
{
    if (count <= 0)
        return;
    if (m_cursor < 0 || m_consumed + count > m_dataLength) {
        std::memset(target, 0, size_t(count));
        return;
    }
    std::memcpy(target, bytes() + m_cursor, size_t(count));
    m_cursor += count;
    m_consumed = quint16(m_consumed + count);
}

quint16 TStruct::Rewind()
{
    m_cursor = m_dataLength == 0 ? -1 : prefixSize();
    m_consumed = 0;
    return m_dataLength;
}

QByteArray TStruct::Encoded() const
{
    if (m_truncated)
        return QByteArray(1, '\0');
    return QByteArray(reinterpret_cast<const char *>(bytes()), EncodedSize());
}

QByteArray TStruct::Data() const
{
    if (m_dataLength == 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(bytes()) + prefixSize(), m_dataLength);
}

quint8 TStruct::ReadByte()
{
    quint8 b = 0;
    ReadBytes(&b, 1);
    return b;
}

TCallingPartyNumber::TCallingPartyNumber(quint8 typeOctet, quint8 presentationOctet, const QByteArray &digits)
    : TypeOctet(typeOctet), PresentationOctet(presentationOctet), Digits(QString::fromLatin1(digits))
{
    const qsizetype n = std::min<qsizetype>(digits.size(), 0xFFFF - 2);
    Allocate(quint16(n + 2));
    Append(&typeOctet, 1);
    Append(&presentationOctet, 1);
    Append(digits.constData(), n);
}

TCallingPartyNumber::TCallingPartyNumber(const quint8 *at, qsizetype available) : TStruct(at, available)
{
    TypeOctet = ReadByte();
    PresentationOctet = ReadByte();
    if (DataLength() >= 3) {
        QByteArray digits(DataLength() - 2, '\0');
        ReadBytes(digits.data(), digits.size());
        Digits = QString::fromLatin1(digits);
    }
}

TCallingPartySubAddress::TCallingPartySubAddress(quint8 typeOctet, const QByteArray &digits)
    : TypeOctet(typeOctet), Digits(QString::fromLatin1(digits))
{
    const qsizetype n = std::min<qsizetype>(digits.size(), 0xFFFF - 1);
    Allocate(quint16(n + 1));
    Append(&typeOctet, 1);
    Append(digits.constData(), n);
}

TCallingPartySubAddress::TCallingPartySubAddress(const quint8 *at, qsizetype available)
    : TStruct(at, available)
{
    TypeOctet = ReadByte();
    if (DataLength() >= 2) {
        QByteArray digits(DataLength() - 1, '\0');
        ReadBytes(digits.data(), digits.size());
        Digits = QString::fromLatin1(digits);
    }
}

TBProtocol::TBProtocol(quint16 b1, quint16 b2, quint16 b3, const TStruct &b1Configuration,
                       const TStruct &b2Configuration, const TStruct &b3Configuration)
{
    const QByteArray c1 = b1Configuration.Encoded();
    const QByteArray c2 = b2Configuration.Encoded();
    const QByteArray c3 = b3Configuration.Encoded();
    Allocate(quint16(std::min<qsizetype>(6 + c1.size() + c2.size() + c3.size(), 0xFFFF)));
    for (quint16 w : {b1, b2, b3}) {
        const quint8 le[2] = {quint8(w & 0xFF), quint8(w >> 8)};
        Append(le, 2);
    }
    Append(c1.constData(), c1.size());
    Append(c2.constData(), c2.size());
    Append(c3.constData(), c3.size());
}
