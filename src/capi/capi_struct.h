#pragma once

// CAPI 2.0 "structs": variable-length parameters with a length prefix (one byte for 0..254 data
// bytes; 0xFF and a little-endian word for 255 or more). A struct either owns its encoded bytes
// (built for sending) or is a view into a received message, bounded by the end of that message.

#include <vector>

#include <QByteArray>
#include <QString>

class TStruct
{
public:
    // The empty struct (the single byte 0x00), owned.
    TStruct();
    // A view on a struct at `at` inside a received message with `available` bytes left in it.
    // A prefix or data running past `available` makes the view empty (Truncated() is true).
    TStruct(const quint8 *at, qsizetype available);
    virtual ~TStruct();
    TStruct(const TStruct &) = default;
    TStruct &operator=(const TStruct &) = default;
    TStruct(TStruct &&) = default;
    TStruct &operator=(TStruct &&) = default;

    // Owns a new buffer for n data bytes, writes the prefix and puts the cursor behind it.
    void Allocate(quint16 n);
    // Copies count bytes at the cursor (never past the allocated data).
    void Append(const void *bytes, qsizetype count);
    // Reads count bytes; past the struct's data it fills target with zeros and does not advance.
    void ReadBytes(void *target, qsizetype count);
    // Cursor to the first data byte, nothing consumed; returns DataLength.
    quint16 Rewind();

    quint16 DataLength() const { return m_dataLength; }
    qsizetype EncodedSize() const { return m_dataLength + (m_dataLength >= 255 ? 3 : 1); }
    // Bytes the struct takes in its message: EncodedSize, or all that was left when it ran past.
    qsizetype SpanInMessage() const { return m_truncated ? m_available : EncodedSize(); }
    bool Truncated() const { return m_truncated; }
    bool OwnsBuffer() const { return m_view == nullptr; }

    // The encoded struct, prefix included.
    QByteArray Encoded() const;
    // The data bytes without the prefix.
    QByteArray Data() const;

protected:
    quint8 ReadByte();

private:
    const quint8 *bytes() const { return m_view ? m_view : m_owned.data(); }
    qsizetype prefixSize() const { return m_dataLength >= 255 ? 3 : 1; }

    std::vector<quint8> m_owned;
    const quint8 *m_view = nullptr;
    qsizetype m_available = 0;
    quint16 m_dataLength = 0;
    qsizetype m_cursor = -1; // offset of the next byte, -1 when there is no data
    quint16 m_consumed = 0;
    bool m_truncated = false;
};

// A number with two leading octets: the calling party number and connected numbers.
class TCallingPartyNumber : public TStruct
{
public:
    TCallingPartyNumber(quint8 typeOctet, quint8 presentationOctet, const QByteArray &digits);
    TCallingPartyNumber(const quint8 *at, qsizetype available);
    TCallingPartyNumber() = default;

    quint8 TypeOctet = 0;
    quint8 PresentationOctet = 0;
    QString Digits;
};

// A struct with one leading octet: the called party number and the subaddresses.
class TCallingPartySubAddress : public TStruct
{
public:
    TCallingPartySubAddress(quint8 typeOctet, const QByteArray &digits);
    TCallingPartySubAddress(const quint8 *at, qsizetype available);
    TCallingPartySubAddress() = default;

    quint8 TypeOctet = 0;
    QString Digits;
};

// A B protocol struct, built for sending only.
class TBProtocol : public TStruct
{
public:
    TBProtocol(quint16 b1, quint16 b2, quint16 b3, const TStruct &b1Configuration = TStruct(),
               const TStruct &b2Configuration = TStruct(), const TStruct &b3Configuration = TStruct());
};
