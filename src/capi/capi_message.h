#pragma once

// CAPI 2.0 messages: the 8-byte header, one class per message the program sends or receives, and
// DecodeCapiMessage, which turns a received buffer into the matching class. Messages own their
// bytes; received messages copy the driver's buffer, and their struct fields are views into that
// copy. Decoding never reads past the message's Length (or past the bytes given, when fewer):
// fixed fields beyond the end read as 0 and structs beyond the end read as empty.

#include <algorithm>
#include <memory>
#include <vector>

#include "capi/capi_struct.h"

// Command words (command x 256 + subcommand).
enum CapiCommand : quint16
{
    capiAlertReq = 0x0180,
    capiAlertConf = 0x0181,
    capiConnectConf = 0x0281,
    capiConnectInd = 0x0282,
    capiConnectResp = 0x0283,
    capiConnectActiveInd = 0x0382,
    capiConnectActiveResp = 0x0383,
    capiDisconnectReq = 0x0480,
    capiDisconnectConf = 0x0481,
    capiDisconnectInd = 0x0482,
    capiDisconnectResp = 0x0483,
    capiListenReq = 0x0580,
    capiListenConf = 0x0581,
    capiInfoConf = 0x0881,
    capiInfoInd = 0x0882,
    capiInfoResp = 0x0883,
    capiSelectBProtocolConf = 0x4181,
    capiFacilityConf = 0x8081,
    capiFacilityInd = 0x8082,
    capiFacilityResp = 0x8083,
    capiConnectB3Req = 0x8280,
    capiConnectB3Conf = 0x8281,
    capiConnectB3Ind = 0x8282,
    capiConnectB3Resp = 0x8283,
    capiConnectB3ActiveInd = 0x8382,
    capiConnectB3ActiveResp = 0x8383,
    capiDisconnectB3Req = 0x8480,
    capiDisconnectB3Conf = 0x8481,
    capiDisconnectB3Ind = 0x8482,
    capiDisconnectB3Resp = 0x8483,
    capiDataB3Req = 0x8680,
    capiDataB3Conf = 0x8681,
    capiDataB3Ind = 0x8682,
    capiDataB3Resp = 0x8683,
    capiResetB3Conf = 0x8781,
    capiResetB3Ind = 0x8782,
    capiResetB3Resp = 0x8783,
    capiConnectB3T90ActiveInd = 0x8882,
    capiConnectB3T90ActiveResp = 0x8883,
};

enum CapiSubcommand : quint8
{
    capiReq = 0x80,
    capiConf = 0x81,
    capiInd = 0x82,
    capiResp = 0x83,
};

struct TCapiMessageHeader
{
    static constexpr qsizetype HeaderSize = 8;

    quint16 Length = 0;
    quint16 ApplID = 0;
    quint8 Command = 0;
    quint8 Subcommand = 0;
    quint16 MessageNumber = 0;

    void SetCommand(quint16 command)
    {
        Command = quint8(command >> 8);
        Subcommand = quint8(command & 0xFF);
    }
    quint16 GetCommand() const { return quint16(Command << 8 | Subcommand); }
};

class TCapiMessage
{
public:
    // A received message: copies the header's Length bytes, or fewer when fewer are available.
    TCapiMessage(const quint8 *received, qsizetype available);
    virtual ~TCapiMessage();
    TCapiMessage(const TCapiMessage &) = delete;
    TCapiMessage &operator=(const TCapiMessage &) = delete;

    TCapiMessageHeader Header;

    quint16 Command() const { return Header.GetCommand(); }
    // Writes the header fields into the buffer and returns it, ready for CAPI_PUT_MESSAGE.
    quint8 *Encode();
    // The message bytes as held (after Encode, exactly what is sent).
    QByteArray Bytes() const;

protected:
    // A message built for sending; parameters are appended by the derived constructor.
    explicit TCapiMessage(quint16 command);

    void PutWord(quint16 value);
    void PutDword(quint32 value);
    void PutQword(quint64 value);
    void PutStruct(const TStruct &value);

    quint16 GetWord();
    quint32 GetDword();
    quint64 GetQword();
    // A view of the struct at the cursor; the cursor moves behind it (to the end if it runs past).
    template <typename S> S GetStruct()
    {
        const qsizetype left = qsizetype(m_buffer.size()) - m_cursor;
        S s(m_buffer.data() + std::min<qsizetype>(m_cursor, qsizetype(m_buffer.size())), left);
        m_cursor += s.SpanInMessage();
        return s;
    }

private:
    void getBytes(void *target, qsizetype count);

    std::vector<quint8> m_buffer;
    qsizetype m_cursor = TCapiMessageHeader::HeaderSize;
};

// Base of the confirmations that carry Controller/PLCI/NCCI and Info.
class TCapiConfirmation : public TCapiMessage
{
public:
    TCapiConfirmation(const quint8 *received, qsizetype available);
    quint32 Identifier = 0; // Controller, PLCI or NCCI
    quint16 Info = 0;
};

// ---- built for sending ----

class TListenReq final : public TCapiMessage
{
public:
    TListenReq(quint32 controller, quint32 infoMask, quint32 cipMask, quint32 cipMask2,
               const TStruct &callingPartyNumber = TStruct(),
               const TStruct &callingPartySubAddress = TStruct());
};

class TConnectResp final : public TCapiMessage
{
public:
    TConnectResp(quint32 plci, quint16 reject, const TStruct &bProtocol = TStruct(),
                 const TStruct &connectedNumber = TStruct(), const TStruct &connectedSubAddress = TStruct(),
                 const TStruct &llc = TStruct(), const TStruct &additionalInfo = TStruct());
};

class TAlertReq final : public TCapiMessage
{
public:
    explicit TAlertReq(quint32 plci, const TStruct &additionalInfo = TStruct());
};

class TConnectB3Req final : public TCapiMessage
{
public:
    explicit TConnectB3Req(quint32 plci, const TStruct &ncpi = TStruct());
};

class TConnectB3Resp final : public TCapiMessage
{
public:
    TConnectB3Resp(quint32 ncci, quint16 reject, const TStruct &ncpi = TStruct());
};

// DATA_B3_REQ. On 64-bit systems the 30-byte form carries the data address in its 64-bit field
// (the 32-bit field is 0); on 32-bit systems the 22-byte form carries it in the 32-bit field.
class TDataB3Req final : public TCapiMessage
{
public:
    TDataB3Req(quint32 ncci, const void *data, quint16 dataLength, quint16 dataHandle, quint16 flags);
};

class TDataB3Resp final : public TCapiMessage
{
public:
    TDataB3Resp(quint32 ncci, quint16 dataHandle);
};

class TDisconnectB3Req final : public TCapiMessage
{
public:
    explicit TDisconnectB3Req(quint32 ncci, const TStruct &ncpi = TStruct());
};

class TDisconnectReq final : public TCapiMessage
{
public:
    explicit TDisconnectReq(quint32 plci, const TStruct &additionalInfo = TStruct());
};

class TFacilityResp final : public TCapiMessage
{
public:
    TFacilityResp(quint32 identifier, quint16 facilitySelector, const TStruct &parameters = TStruct());
};

// Responses that carry only a PLCI or NCCI.
class TSingleDwordResp : public TCapiMessage
{
protected:
    TSingleDwordResp(quint16 command, quint32 value);
};

class TConnectActiveResp final : public TSingleDwordResp
{
public:
    explicit TConnectActiveResp(quint32 plci) : TSingleDwordResp(capiConnectActiveResp, plci) {}
};
class TConnectB3ActiveResp final : public TSingleDwordResp
{
public:
    explicit TConnectB3ActiveResp(quint32 ncci) : TSingleDwordResp(capiConnectB3ActiveResp, ncci) {}
};
class TConnectB3T90ActiveResp final : public TSingleDwordResp
{
public:
    explicit TConnectB3T90ActiveResp(quint32 ncci) : TSingleDwordResp(capiConnectB3T90ActiveResp, ncci) {}
};
class TDisconnectB3Resp final : public TSingleDwordResp
{
public:
    explicit TDisconnectB3Resp(quint32 ncci) : TSingleDwordResp(capiDisconnectB3Resp, ncci) {}
};
class TDisconnectResp final : public TSingleDwordResp
{
public:
    explicit TDisconnectResp(quint32 plci) : TSingleDwordResp(capiDisconnectResp, plci) {}
};
class TInfoResp final : public TSingleDwordResp
{
public:
    explicit TInfoResp(quint32 plci) : TSingleDwordResp(capiInfoResp, plci) {}
};
class TResetB3Resp final : public TSingleDwordResp
{
public:
    explicit TResetB3Resp(quint32 ncci) : TSingleDwordResp(capiResetB3Resp, ncci) {}
};

// ---- parsed from received buffers ----

#define BOXVISOR_CAPI_CONFIRMATION(Name)                                                                     \
    class Name final : public TCapiConfirmation                                                              \
    {                                                                                                        \
    public:                                                                                                  \
        using TCapiConfirmation::TCapiConfirmation;                                                          \
    };
BOXVISOR_CAPI_CONFIRMATION(TAlertConf)
BOXVISOR_CAPI_CONFIRMATION(TConnectConf)
BOXVISOR_CAPI_CONFIRMATION(TDisconnectConf)
BOXVISOR_CAPI_CONFIRMATION(TListenConf)
BOXVISOR_CAPI_CONFIRMATION(TInfoConf)
BOXVISOR_CAPI_CONFIRMATION(TSelectBProtocolConf)
BOXVISOR_CAPI_CONFIRMATION(TConnectB3Conf)
BOXVISOR_CAPI_CONFIRMATION(TDisconnectB3Conf)
BOXVISOR_CAPI_CONFIRMATION(TResetB3Conf)
#undef BOXVISOR_CAPI_CONFIRMATION

class TConnectInd final : public TCapiMessage
{
public:
    TConnectInd(const quint8 *received, qsizetype available);
    quint32 PLCI = 0;
    quint16 CIPValue = 0;
    TCallingPartySubAddress CalledPartyNumber;
    TCallingPartyNumber CallingPartyNumber;
    TCallingPartySubAddress CalledPartySubAddress;
    TCallingPartySubAddress CallingPartySubAddress;
    TStruct BC;
    TStruct LLC;
    TStruct HLC;
    TStruct AdditionalInfo;
};

class TConnectActiveInd final : public TCapiMessage
{
public:
    TConnectActiveInd(const quint8 *received, qsizetype available);
    quint32 PLCI = 0;
    TCallingPartyNumber ConnectedNumber;
    TCallingPartySubAddress ConnectedSubAddress;
    TStruct LLC;
};

class TDisconnectInd final : public TCapiMessage
{
public:
    TDisconnectInd(const quint8 *received, qsizetype available);
    quint32 PLCI = 0;
    quint16 Reason = 0;
};

class TInfoInd final : public TCapiMessage
{
public:
    TInfoInd(const quint8 *received, qsizetype available);
    quint32 PLCI = 0;
    quint16 InfoNumber = 0;
    TStruct InfoElement;
};

class TFacilityConf final : public TCapiMessage
{
public:
    TFacilityConf(const quint8 *received, qsizetype available);
    quint32 Identifier = 0;
    quint16 Info = 0;
    quint16 FacilitySelector = 0;
    TStruct FacilityConfirmationParameter;
};

class TFacilityInd final : public TCapiMessage
{
public:
    TFacilityInd(const quint8 *received, qsizetype available);
    quint32 Identifier = 0;
    quint16 FacilitySelector = 0;
    TStruct FacilityIndicationParameter;
};

// Indications that carry an NCCI and an NCPI.
class TNcciIndication : public TCapiMessage
{
public:
    TNcciIndication(const quint8 *received, qsizetype available);
    quint32 NCCI = 0;
    TStruct NCPI;
};

class TConnectB3Ind final : public TNcciIndication
{
public:
    using TNcciIndication::TNcciIndication;
};
class TConnectB3ActiveInd final : public TNcciIndication
{
public:
    using TNcciIndication::TNcciIndication;
};
class TConnectB3T90ActiveInd final : public TNcciIndication
{
public:
    using TNcciIndication::TNcciIndication;
};
class TResetB3Ind final : public TNcciIndication
{
public:
    using TNcciIndication::TNcciIndication;
};

class TDisconnectB3Ind final : public TCapiMessage
{
public:
    TDisconnectB3Ind(const quint8 *received, qsizetype available);
    quint32 NCCI = 0;
    quint16 ReasonB3 = 0;
    TStruct NCPI;
};

class TDataB3Conf final : public TCapiMessage
{
public:
    TDataB3Conf(const quint8 *received, qsizetype available);
    quint32 NCCI = 0;
    quint16 DataHandle = 0;
    quint16 Info = 0;
};

class TDataB3Ind final : public TCapiMessage
{
public:
    TDataB3Ind(const quint8 *received, qsizetype available);
    quint32 NCCI = 0;
    quint32 Data = 0;
    quint16 DataLength = 0;
    quint16 DataHandle = 0;
    quint16 Flags = 0;
    quint64 Data64 = 0; // the 30-byte form's data address; 0 in the 22-byte form
    // Address of the data in the driver's buffer (valid while the message is being handled).
    const void *DataAddress() const;
};

// The class for the received message's command word, or a plain TCapiMessage for other words.
// `available` bounds the bytes read; the one-argument form trusts the header's Length (a driver
// buffer always holds the whole message).
std::unique_ptr<TCapiMessage> DecodeCapiMessage(const quint8 *received, qsizetype available);
std::unique_ptr<TCapiMessage> DecodeCapiMessage(const quint8 *received);
