#include "capi/capi_message.h"

#include <cstring>

namespace {

quint16 lengthOf(const quint8 *received, qsizetype available)
{
    if (available < 2)
        return available == 1 ? received[0] : 0;
    return quint16(received[0] | (received[1] << 8));
}

} // namespace

TCapiMessage::TCapiMessage(const quint8 *received, qsizetype available)
{
    const qsizetype n = std::min<qsizetype>(lengthOf(received, available), std::max<qsizetype>(available, 0));
    m_buffer.assign(received, received + n);
    // The header too is read only within the message; missing header bytes read as 0.
    quint8 header[TCapiMessageHeader::HeaderSize] = {};
    if (n > 0)
        std::memcpy(header, m_buffer.data(), size_t(std::min<qsizetype>(n, TCapiMessageHeader::HeaderSize)));
    Header.Length = quint16(header[0] | header[1] << 8);
    Header.ApplID = quint16(header[2] | header[3] << 8);
    Header.Command = header[4];
    Header.Subcommand = header[5];
    Header.MessageNumber = quint16(header[6] | header[7] << 8);
}

TCapiMessage::TCapiMessage(quint16 command) : m_buffer(TCapiMessageHeader::HeaderSize, 0)
{
    Header.Length = TCapiMessageHeader::HeaderSize;
    Header.SetCommand(command);
}

TCapiMessage::~TCapiMessage() = default;

quint8 *TCapiMessage::Encode()
{
    if (m_buffer.size() < size_t(TCapiMessageHeader::HeaderSize))
        m_buffer.resize(TCapiMessageHeader::HeaderSize, 0);
    quint8 *b = m_buffer.data();
    b[0] = quint8(Header.Length & 0xFF);
    b[1] = quint8(Header.Length >> 8);
    b[2] = quint8(Header.ApplID & 0xFF);
    b[3] = quint8(Header.ApplID >> 8);
    b[4] = Header.Command;
    b[5] = Header.Subcommand;
    b[6] = quint8(Header.MessageNumber & 0xFF);
    b[7] = quint8(Header.MessageNumber >> 8);
    return b;
}

QByteArray TCapiMessage::Bytes() const
{
    return QByteArray(reinterpret_cast<const char *>(m_buffer.data()), qsizetype(m_buffer.size()));
}

void TCapiMessage::PutWord(quint16 value)
{
    m_buffer.push_back(quint8(value & 0xFF));
    m_buffer.push_back(quint8(value >> 8));
    Header.Length = quint16(m_buffer.size());
}

void TCapiMessage::PutDword(quint32 value)
{
    PutWord(quint16(value & 0xFFFF));
    PutWord(quint16(value >> 16));
}

void TCapiMessage::PutQword(quint64 value)
{
    PutDword(quint32(value & 0xFFFFFFFFu));
    PutDword(quint32(value >> 32));
}

void TCapiMessage::PutStruct(const TStruct &value)
{
    const QByteArray encoded = value.Encoded();
    m_buffer.insert(m_buffer.end(), encoded.begin(), encoded.end());
    Header.Length = quint16(m_buffer.size());
}

void TCapiMessage::getBytes(void *target, qsizetype count)
{
    if (m_cursor + count > qsizetype(m_buffer.size())) {
        std::memset(target, 0, size_t(count));
        m_cursor = qsizetype(m_buffer.size());
        return;
    }
    std::memcpy(target, m_buffer.data() + m_cursor, size_t(count));
    m_cursor += count;
}

quint16 TCapiMessage::GetWord()
{
    quint8 b[2];
    getBytes(b, 2);
    return quint16(b[0] | b[1] << 8);
}

quint32 TCapiMessage::GetDword()
{
    const quint32 low = GetWord();
    return low | quint32(GetWord()) << 16;
}

quint64 TCapiMessage::GetQword()
{
    const quint64 low = GetDword();
    return low | quint64(GetDword()) << 32;
}

TCapiConfirmation::TCapiConfirmation(const quint8 *received, qsizetype available)
    : TCapiMessage(received, available)
{
    Identifier = GetDword();
    Info = GetWord();
}

// ---- built for sending ----

TListenReq::TListenReq(quint32 controller, quint32 infoMask, quint32 cipMask, quint32 cipMask2,
                       const TStruct &callingPartyNumber, const TStruct &callingPartySubAddress)
    : TCapiMessage(capiListenReq)
{
    PutDword(controller);
    PutDword(infoMask);
    PutDword(cipMask);
    PutDword(cipMask2);
    PutStruct(callingPartyNumber);
    PutStruct(callingPartySubAddress);
}

TConnectResp::TConnectResp(quint32 plci, quint16 reject, const TStruct &bProtocol,
                           const TStruct &connectedNumber, const TStruct &connectedSubAddress,
                           const TStruct &llc, const TStruct &additionalInfo)
    : TCapiMessage(capiConnectResp)
{
    PutDword(plci);
    PutWord(reject);
    PutStruct(bProtocol);
    PutStruct(connectedNumber);
    PutStruct(connectedSubAddress);
    PutStruct(llc);
    PutStruct(additionalInfo);
}

TAlertReq::TAlertReq(quint32 plci, const TStruct &additionalInfo) : TCapiMessage(capiAlertReq)
{
    PutDword(plci);
    PutStruct(additionalInfo);
}

TConnectB3Req::TConnectB3Req(quint32 plci, const TStruct &ncpi) : TCapiMessage(capiConnectB3Req)
{
    PutDword(plci);
    PutStruct(ncpi);
}

TConnectB3Resp::TConnectB3Resp(quint32 ncci, quint16 reject, const TStruct &ncpi)
    : TCapiMessage(capiConnectB3Resp)
{
    PutDword(ncci);
    PutWord(reject);
    PutStruct(ncpi);
}

TDataB3Req::TDataB3Req(quint32 ncci, const void *data, quint16 dataLength, quint16 dataHandle, quint16 flags)
    : TCapiMessage(capiDataB3Req)
{
    const auto address = quint64(reinterpret_cast<quintptr>(data));
    PutDword(ncci);
    PutDword(sizeof(void *) > 4 ? 0 : quint32(address));
    PutWord(dataLength);
    PutWord(dataHandle);
    PutWord(flags);
    if (sizeof(void *) > 4)
        PutQword(address);
}

TDataB3Resp::TDataB3Resp(quint32 ncci, quint16 dataHandle) : TCapiMessage(capiDataB3Resp)
{
    PutDword(ncci);
    PutWord(dataHandle);
}

TDisconnectB3Req::TDisconnectB3Req(quint32 ncci, const TStruct &ncpi) : TCapiMessage(capiDisconnectB3Req)
{
    PutDword(ncci);
    PutStruct(ncpi);
}

TDisconnectReq::TDisconnectReq(quint32 plci, const TStruct &additionalInfo) : TCapiMessage(capiDisconnectReq)
{
    PutDword(plci);
    PutStruct(additionalInfo);
}

TFacilityResp::TFacilityResp(quint32 identifier, quint16 facilitySelector, const TStruct &parameters)
    : TCapiMessage(capiFacilityResp)
{
    PutDword(identifier);
    PutWord(facilitySelector);
    PutStruct(parameters);
}

TSingleDwordResp::TSingleDwordResp(quint16 command, quint32 value) : TCapiMessage(command)
{
    PutDword(value);
}

// ---- parsed from received buffers ----

TConnectInd::TConnectInd(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    PLCI = GetDword();
    CIPValue = GetWord();
    CalledPartyNumber = GetStruct<TCallingPartySubAddress>();
    CallingPartyNumber = GetStruct<TCallingPartyNumber>();
    CalledPartySubAddress = GetStruct<TCallingPartySubAddress>();
    CallingPartySubAddress = GetStruct<TCallingPartySubAddress>();
    BC = GetStruct<TStruct>();
    LLC = GetStruct<TStruct>();
    HLC = GetStruct<TStruct>();
    AdditionalInfo = GetStruct<TStruct>();
}

TConnectActiveInd::TConnectActiveInd(const quint8 *received, qsizetype available)
    : TCapiMessage(received, available)
{
    PLCI = GetDword();
    ConnectedNumber = GetStruct<TCallingPartyNumber>();
    ConnectedSubAddress = GetStruct<TCallingPartySubAddress>();
    LLC = GetStruct<TStruct>();
}

TDisconnectInd::TDisconnectInd(const quint8 *received, qsizetype available)
    : TCapiMessage(received, available)
{
    PLCI = GetDword();
    Reason = GetWord();
}

TInfoInd::TInfoInd(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    PLCI = GetDword();
    InfoNumber = GetWord();
    InfoElement = GetStruct<TStruct>();
}

TFacilityConf::TFacilityConf(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    Identifier = GetDword();
    Info = GetWord();
    FacilitySelector = GetWord();
    FacilityConfirmationParameter = GetStruct<TStruct>();
}

TFacilityInd::TFacilityInd(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    Identifier = GetDword();
    FacilitySelector = GetWord();
    FacilityIndicationParameter = GetStruct<TStruct>();
}

TNcciIndication::TNcciIndication(const quint8 *received, qsizetype available)
    : TCapiMessage(received, available)
{
    NCCI = GetDword();
    NCPI = GetStruct<TStruct>();
}

TDisconnectB3Ind::TDisconnectB3Ind(const quint8 *received, qsizetype available)
    : TCapiMessage(received, available)
{
    NCCI = GetDword();
    ReasonB3 = GetWord();
    NCPI = GetStruct<TStruct>();
}

TDataB3Conf::TDataB3Conf(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    NCCI = GetDword();
    DataHandle = GetWord();
    Info = GetWord();
}

TDataB3Ind::TDataB3Ind(const quint8 *received, qsizetype available) : TCapiMessage(received, available)
{
    NCCI = GetDword();
    Data = GetDword();
    DataLength = GetWord();
    DataHandle = GetWord();
    Flags = GetWord();
    if (Header.Length >= 30)
        Data64 = GetQword();
}

const void *TDataB3Ind::DataAddress() const
{
    const quint64 address = Data64 ? Data64 : Data;
    return reinterpret_cast<const void *>(quintptr(address));
}

namespace {

template <typename T> std::unique_ptr<TCapiMessage> make(const quint8 *received, qsizetype available)
{
    return std::make_unique<T>(received, available);
}

} // namespace

std::unique_ptr<TCapiMessage> DecodeCapiMessage(const quint8 *received, qsizetype available)
{
    if (!received)
        available = 0;
    static const quint8 nothing[1] = {0};
    if (available <= 0)
        received = nothing;
    quint16 command = 0;
    if (available >= 6 && lengthOf(received, available) >= 6)
        command = quint16(received[4] << 8 | received[5]);
    switch (command) {
    case capiAlertConf:
        return make<TAlertConf>(received, available);
    case capiConnectConf:
        return make<TConnectConf>(received, available);
    case capiDisconnectConf:
        return make<TDisconnectConf>(received, available);
    case capiListenConf:
        return make<TListenConf>(received, available);
    case capiInfoConf:
        return make<TInfoConf>(received, available);
    case capiSelectBProtocolConf:
        return make<TSelectBProtocolConf>(received, available);
    case capiConnectB3Conf:
        return make<TConnectB3Conf>(received, available);
    case capiDisconnectB3Conf:
        return make<TDisconnectB3Conf>(received, available);
    case capiResetB3Conf:
        return make<TResetB3Conf>(received, available);
    case capiConnectInd:
        return make<TConnectInd>(received, available);
    case capiConnectActiveInd:
        return make<TConnectActiveInd>(received, available);
    case capiDisconnectInd:
        return make<TDisconnectInd>(received, available);
    case capiInfoInd:
        return make<TInfoInd>(received, available);
    case capiFacilityConf:
        return make<TFacilityConf>(received, available);
    case capiFacilityInd:
        return make<TFacilityInd>(received, available);
    case capiConnectB3Ind:
        return make<TConnectB3Ind>(received, available);
    case capiConnectB3ActiveInd:
        return make<TConnectB3ActiveInd>(received, available);
    case capiConnectB3T90ActiveInd:
        return make<TConnectB3T90ActiveInd>(received, available);
    case capiResetB3Ind:
        return make<TResetB3Ind>(received, available);
    case capiDisconnectB3Ind:
        return make<TDisconnectB3Ind>(received, available);
    case capiDataB3Conf:
        return make<TDataB3Conf>(received, available);
    case capiDataB3Ind:
        return make<TDataB3Ind>(received, available);
    default:
        return std::make_unique<TCapiMessage>(received, available);
    }
}

std::unique_ptr<TCapiMessage> DecodeCapiMessage(const quint8 *received)
{
    if (!received)
        return DecodeCapiMessage(received, 0);
    return DecodeCapiMessage(received, lengthOf(received, 2));
}
