#include "capi/capi_message.h"

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>
#include <vector>

#include "fake_capi_driver.h"

using namespace capitest;

namespace {

// Encodes with ApplID 1, as the engine does before sending.
QByteArray encoded(TCapiMessage &&m)
{
    m.Header.ApplID = 1;
    m.Encode();
    return m.Bytes();
}

// Decodes from a buffer exactly `bytes` long, so that any read past it is caught by ASan.
std::unique_ptr<TCapiMessage> decode(const QByteArray &bytes)
{
    std::vector<quint8> exact(bytes.begin(), bytes.end());
    return DecodeCapiMessage(exact.data(), qsizetype(exact.size()));
}

template <typename T> const T &as(const std::unique_ptr<TCapiMessage> &m)
{
    const T *t = dynamic_cast<const T *>(m.get());
    if (!t)
        throw std::bad_cast();
    return *t;
}

// The CONNECT_IND captured from the real library: PLCI 0x101, CIP 1, called "4711", calling
// "0301234567" (national, presentation allowed), BC speech, one extra empty struct at the end.
const QByteArray CAPTURED_CONNECT_IND = hex("2b00000002826500010100000100058034373131"
                                            "0c2180303330313233343536370000038090a300000000");

} // namespace

TEST(CapiStruct, LengthPrefixes)
{
    struct Case
    {
        const char *name;
        int dataLength;
        QByteArray prefix;
        int encodedSize;
    };
    const Case cases[] = {
        {"Empty", 0, hex("00"), 1},
        {"LargestShortForm", 254, hex("fe"), 255},
        {"SmallestLongForm", 255, hex("ffff00"), 258},
        {"LongForm300", 300, hex("ff2c01"), 303},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TStruct s;
        if (c.dataLength > 0) {
            s.Allocate(quint16(c.dataLength));
            s.Append(QByteArray(c.dataLength, 'x').constData(), c.dataLength);
        }
        EXPECT_EQ(s.EncodedSize(), c.encodedSize);
        EXPECT_EQ(s.Encoded().size(), c.encodedSize);
        EXPECT_EQ(s.Encoded().left(c.prefix.size()), c.prefix);
        EXPECT_EQ(s.Encoded().mid(c.prefix.size()), QByteArray(c.dataLength, 'x'));

        // And read back as a view of the same bytes.
        const QByteArray bytes = s.Encoded();
        std::vector<quint8> exact(bytes.begin(), bytes.end());
        TStruct view(exact.data(), qsizetype(exact.size()));
        EXPECT_FALSE(view.Truncated());
        EXPECT_EQ(view.DataLength(), c.dataLength);
        EXPECT_EQ(view.Data(), QByteArray(c.dataLength, 'x'));
    }
}

TEST(CapiStruct, AppendNeverWritesPastTheAllocation)
{
    TStruct s;
    s.Allocate(2);
    s.Append("abcdef", 6);
    EXPECT_EQ(s.Encoded(), hex("026162"));
}

TEST(CapiStruct, ReadingPastTheDataGivesZerosAndDoesNotAdvance)
{
    const std::vector<quint8> bytes{0x02, 0x41, 0x42};
    TStruct view(bytes.data(), qsizetype(bytes.size()));
    char three[3] = {'?', '?', '?'};
    view.ReadBytes(three, 3);
    EXPECT_EQ(QByteArray(three, 3), QByteArray(3, '\0'));
    char two[2];
    view.ReadBytes(two, 2);
    EXPECT_EQ(QByteArray(two, 2), QByteArray("AB"));
}

TEST(CapiStruct, NumberStructsReadTheirOctetsAndDigits)
{
    struct Case
    {
        const char *name;
        QByteArray bytes;
        int type;
        int presentation; // -1: a struct with one leading octet
        QString digits;
    };
    const Case cases[] = {
        {"CallingWithOneDigit", hex("03218335"), 0x21, 0x83, QStringLiteral("5")},
        {"CallingOnlyTypeOctet", hex("0121"), 0x21, 0x00, QString()},
        {"CallingOnlyTheOctets", hex("022180"), 0x21, 0x80, QString()},
        {"CallingEmpty", hex("00"), 0, 0, QString()},
        {"CalledNumber", hex("0481343536"), 0x81, -1, QStringLiteral("456")},
        {"CalledOnlyTypeOctet", hex("0181"), 0x81, -1, QString()},
        {"CalledRunsPastTheEnd", hex("0981343536"), 0, -1, QString()},
        {"CallingRunsPastTheEnd", hex("0c2180303330"), 0, 0, QString()},
        {"LongPrefixCut", hex("ff05"), 0, 0, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<quint8> exact(c.bytes.begin(), c.bytes.end());
        if (c.presentation >= 0) {
            TCallingPartyNumber n(exact.data(), qsizetype(exact.size()));
            EXPECT_EQ(n.TypeOctet, c.type);
            EXPECT_EQ(n.PresentationOctet, c.presentation);
            EXPECT_EQ(n.Digits, c.digits);
        } else {
            TCallingPartySubAddress n(exact.data(), qsizetype(exact.size()));
            EXPECT_EQ(n.TypeOctet, c.type);
            EXPECT_EQ(n.Digits, c.digits);
        }
    }
}

TEST(CapiMessage, EncodesEveryMessageTheProgramSends)
{
    struct Case
    {
        const char *name;
        std::function<QByteArray()> build;
        QByteArray bytes;
    };
    const QByteArray dataBlock("hello");
    const auto address = quint64(reinterpret_cast<quintptr>(dataBlock.constData()));
    QByteArray address64;
    for (int i = 0; i < 8; ++i)
        address64.append(char((address >> (8 * i)) & 0xFF));
    const bool wide = sizeof(void *) > 4;

    const std::vector<Case> cases = {
        {"ListenReqAtStart",
         [] {
             return encoded(TListenReq(1, 0x7F, 0x1FFF03FE, 0, TCallingPartyNumber(0x00, 0x80, QByteArray()),
                                       TCallingPartySubAddress(0x80, QByteArray())));
         },
         hex("1d00010005800000 01000000 7f000000 fe03ff1f 00000000 020080 0180")},
        {"ListenReqAtRelease", [] { return encoded(TListenReq(1, 0x7F, 0x00000002, 0)); },
         hex("1a00010005800000 01000000 7f000000 02000000 00000000 00 00")},
        {"ConnectRespIgnore", [] { return encoded(TConnectResp(0x0101, 1)); },
         hex("1300010002830000 01010000 0100 0000000000")},
        {"ConnectRespRejectWithCause", [] { return encoded(TConnectResp(0x0201, 0x3491)); },
         hex("1300010002830000 01020000 9134 0000000000")},
        {"ConnectRespAccept", [] { return encoded(TConnectResp(0x0101, 0, TBProtocol(1, 1, 0))); },
         hex("1c00010002830000 01010000 0000 09010001000000000000 00000000")},
        {"AlertReq", [] { return encoded(TAlertReq(0x0101)); }, hex("0d00010001800000 01010000 00")},
        {"ConnectActiveResp", [] { return encoded(TConnectActiveResp(0x0101)); },
         hex("0c00010003830000 01010000")},
        {"ConnectB3Req", [] { return encoded(TConnectB3Req(0x0101)); }, hex("0d00010082800000 01010000 00")},
        {"ConnectB3RespReject", [] { return encoded(TConnectB3Resp(0x010101, 2)); },
         hex("0f00010082830000 01010100 0200 00")},
        {"ConnectB3ActiveResp", [] { return encoded(TConnectB3ActiveResp(0x010101)); },
         hex("0c00010083830000 01010100")},
        {"ConnectB3T90ActiveResp", [] { return encoded(TConnectB3T90ActiveResp(0x010101)); },
         hex("0c00010088830000 01010100")},
        {"DataB3Req", [&] { return encoded(TDataB3Req(0x010101, dataBlock.constData(), 5, 0x4242, 0)); },
         wide ? QByteArray(hex("1e00010086800000 01010100 00000000 0500 4242 0000") + address64)
              : QByteArray(hex("1600010086800000 01010100") + address64.left(4) + hex("0500 4242 0000"))},
        {"DataB3Resp", [] { return encoded(TDataB3Resp(0x010101, 0x1234)); },
         hex("0e00010086830000 01010100 3412")},
        {"DisconnectB3Req", [] { return encoded(TDisconnectB3Req(0x010101)); },
         hex("0d00010084800000 01010100 00")},
        {"DisconnectB3Resp", [] { return encoded(TDisconnectB3Resp(0x010101)); },
         hex("0c00010084830000 01010100")},
        {"DisconnectReq", [] { return encoded(TDisconnectReq(0x0101)); },
         hex("0d00010004800000 01010000 00")},
        {"DisconnectResp", [] { return encoded(TDisconnectResp(0x0101)); }, hex("0c00010004830000 01010000")},
        {"InfoResp", [] { return encoded(TInfoResp(0x0101)); }, hex("0c00010008830000 01010000")},
        {"ResetB3Resp", [] { return encoded(TResetB3Resp(0x010101)); }, hex("0c00010087830000 01010100")},
        {"FacilityResp", [] { return encoded(TFacilityResp(0x0101, 0x0003)); },
         hex("0f00010080830000 01010000 0300 00")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = c.build();
        EXPECT_EQ(bytes.toHex(' '), c.bytes.toHex(' '));
        EXPECT_EQ(wordAt(bytes, 0), bytes.size()) << "length field";
    }
}

TEST(CapiMessage, DecodesTheCapturedConnectInd)
{
    const auto m = decode(CAPTURED_CONNECT_IND);
    const auto &ind = as<TConnectInd>(m);
    EXPECT_EQ(ind.Header.MessageNumber, 0x65);
    EXPECT_EQ(ind.PLCI, 0x101u);
    EXPECT_EQ(ind.CIPValue, 1);
    EXPECT_EQ(ind.CalledPartyNumber.TypeOctet, 0x80);
    EXPECT_EQ(ind.CalledPartyNumber.Digits, QStringLiteral("4711"));
    EXPECT_EQ(ind.CallingPartyNumber.TypeOctet, 0x21);
    EXPECT_EQ(ind.CallingPartyNumber.PresentationOctet, 0x80);
    EXPECT_EQ(ind.CallingPartyNumber.Digits, QStringLiteral("0301234567"));
    EXPECT_EQ(ind.BC.Data(), hex("8090a3"));
    EXPECT_EQ(ind.AdditionalInfo.DataLength(), 0);
}

TEST(CapiMessage, DecodesEachReceivedCommandIntoItsClass)
{
    struct Case
    {
        const char *name;
        QByteArray bytes;
        std::function<void(const std::unique_ptr<TCapiMessage> &)> check;
    };
    const std::vector<Case> cases = {
        {"ListenConfWithError", message(0x0581, 3, le32(1) + le16(0x2002)),
         [](const auto &m) {
             EXPECT_EQ(as<TListenConf>(m).Identifier, 1u);
             EXPECT_EQ(as<TListenConf>(m).Info, 0x2002);
         }},
        {"ConnectConf", message(0x0281, 4, le32(0x201) + le16(0)),
         [](const auto &m) { EXPECT_EQ(as<TConnectConf>(m).Identifier, 0x201u); }},
        {"AlertConf", message(0x0181, 0, le32(0x101) + le16(0x3003)),
         [](const auto &m) { EXPECT_EQ(as<TAlertConf>(m).Info, 0x3003); }},
        {"SelectBProtocolConf", message(0x4181, 0, le32(0x101) + le16(0)),
         [](const auto &m) { EXPECT_EQ(as<TSelectBProtocolConf>(m).Identifier, 0x101u); }},
        {"DisconnectInd", message(0x0482, 9, le32(0x101) + le16(0x3490)),
         [](const auto &m) {
             EXPECT_EQ(as<TDisconnectInd>(m).PLCI, 0x101u);
             EXPECT_EQ(as<TDisconnectInd>(m).Reason, 0x3490);
         }},
        {"ConnectActiveInd", message(0x0382, 0, le32(0x101) + cstruct(hex("2180") + "123") + hex("00 00")),
         [](const auto &m) {
             EXPECT_EQ(as<TConnectActiveInd>(m).ConnectedNumber.Digits, QStringLiteral("123"));
         }},
        {"InfoInd", message(0x0882, 0, le32(0x101) + le16(0x0028) + cstruct("ab")),
         [](const auto &m) {
             EXPECT_EQ(as<TInfoInd>(m).InfoNumber, 0x28);
             EXPECT_EQ(as<TInfoInd>(m).InfoElement.Data(), QByteArray("ab"));
         }},
        {"FacilityInd", message(0x8082, 0, le32(0x101) + le16(3) + cstruct("xyz")),
         [](const auto &m) {
             EXPECT_EQ(as<TFacilityInd>(m).FacilitySelector, 3);
             EXPECT_EQ(as<TFacilityInd>(m).FacilityIndicationParameter.Data(), QByteArray("xyz"));
         }},
        {"FacilityConf", message(0x8081, 0, le32(0x101) + le16(0x300B) + le16(1) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TFacilityConf>(m).Info, 0x300B); }},
        {"ConnectB3Ind", message(0x8282, 0, le32(0x10101) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TConnectB3Ind>(m).NCCI, 0x10101u); }},
        {"ConnectB3ActiveInd", message(0x8382, 0, le32(0x10101) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TConnectB3ActiveInd>(m).NCCI, 0x10101u); }},
        {"ConnectB3T90ActiveInd", message(0x8882, 0, le32(0x10101) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TConnectB3T90ActiveInd>(m).NCCI, 0x10101u); }},
        {"ResetB3Ind", message(0x8782, 0, le32(0x10101) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TResetB3Ind>(m).NCCI, 0x10101u); }},
        {"DisconnectB3Ind", message(0x8482, 0, le32(0x10101) + le16(0x3301) + hex("00")),
         [](const auto &m) { EXPECT_EQ(as<TDisconnectB3Ind>(m).ReasonB3, 0x3301); }},
        {"DataB3Conf", message(0x8681, 0, le32(0x10101) + le16(0x4242) + le16(0x1101)),
         [](const auto &m) {
             EXPECT_EQ(as<TDataB3Conf>(m).DataHandle, 0x4242);
             EXPECT_EQ(as<TDataB3Conf>(m).Info, 0x1101);
         }},
        {"DataB3IndShortForm", message(0x8682, 0, le32(0x10101) + le32(0) + le16(19) + le16(5) + le16(0)),
         [](const auto &m) {
             EXPECT_EQ(as<TDataB3Ind>(m).DataLength, 19);
             EXPECT_EQ(as<TDataB3Ind>(m).DataHandle, 5);
             EXPECT_EQ(as<TDataB3Ind>(m).Data64, 0u);
         }},
        {"DataB3IndWideForm",
         message(0x8682, 0,
                 le32(0x10101) + le32(0) + le16(19) + le16(5) + le16(0) + le32(0x89ABCDEF) +
                     le32(0x01234567)),
         [](const auto &m) { EXPECT_EQ(as<TDataB3Ind>(m).Data64, 0x0123456789ABCDEFull); }},
        {"UnknownCommand", message(0x4182, 0, le32(1)),
         [](const auto &m) { EXPECT_TRUE(typeid(*m) == typeid(TCapiMessage)); }},
        {"RequestIsNotParsed", message(0x0580, 0, le32(1)),
         [](const auto &m) { EXPECT_TRUE(typeid(*m) == typeid(TCapiMessage)); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto m = decode(c.bytes);
        EXPECT_EQ(m->Header.Length, c.bytes.size());
        EXPECT_EQ(m->Bytes(), c.bytes) << "the message keeps its own copy";
        EXPECT_NO_THROW(c.check(m));
    }
}

// Cuts and overlong forms of real messages: decoding reads nothing past the bytes it is given
// (ASan checks that; the buffers are exact) and shows missing parts as zero or empty.
TEST(CapiMessage, TruncatedAndOverlongInputStaysInBounds)
{
    struct Case
    {
        const char *name;
        QByteArray bytes;
        std::function<void(const std::unique_ptr<TCapiMessage> &)> check;
    };
    QByteArray lengthSaysMore = CAPTURED_CONNECT_IND;
    lengthSaysMore[0] = char(0xF0);
    QByteArray headerOnly = CAPTURED_CONNECT_IND.left(8);
    headerOnly[0] = 8;
    QByteArray cutInCalling = CAPTURED_CONNECT_IND.left(25);
    cutInCalling[0] = 25;
    const std::vector<Case> cases = {
        {"Empty", QByteArray(), [](const auto &m) { EXPECT_EQ(m->Header.GetCommand(), 0); }},
        {"OneByte", hex("2b"), [](const auto &m) { EXPECT_EQ(m->Header.GetCommand(), 0); }},
        {"HeaderCut", CAPTURED_CONNECT_IND.left(5),
         [](const auto &m) { EXPECT_TRUE(typeid(*m) == typeid(TCapiMessage)); }},
        {"LengthBelowHeader", hex("0400000002826500"),
         [](const auto &m) {
             EXPECT_TRUE(typeid(*m) == typeid(TCapiMessage));
             EXPECT_EQ(m->Bytes().size(), 4);
         }},
        {"ConnectIndHeaderOnly", headerOnly,
         [](const auto &m) {
             EXPECT_EQ(as<TConnectInd>(m).PLCI, 0u);
             EXPECT_EQ(as<TConnectInd>(m).CallingPartyNumber.Digits, QString());
         }},
        {"ConnectIndCutInsideCallingNumber", cutInCalling,
         [](const auto &m) {
             const auto &ind = as<TConnectInd>(m);
             EXPECT_EQ(ind.CalledPartyNumber.Digits, QStringLiteral("4711"));
             EXPECT_TRUE(ind.CallingPartyNumber.Truncated());
             EXPECT_EQ(ind.CallingPartyNumber.Digits, QString());
             EXPECT_EQ(ind.BC.DataLength(), 0);
         }},
        {"ConnectIndLengthBeyondBuffer", lengthSaysMore,
         [](const auto &m) {
             EXPECT_EQ(m->Bytes().size(), CAPTURED_CONNECT_IND.size());
             EXPECT_EQ(as<TConnectInd>(m).CallingPartyNumber.Digits, QStringLiteral("0301234567"));
         }},
        {"ConnectIndWithTrailingBytes", CAPTURED_CONNECT_IND + QByteArray(20, '\x7f'),
         [](const auto &m) {
             EXPECT_EQ(m->Bytes(), CAPTURED_CONNECT_IND);
             EXPECT_EQ(as<TConnectInd>(m).CallingPartyNumber.Digits, QStringLiteral("0301234567"));
         }},
        {"DisconnectIndWithoutReason", message(0x0482, 0, le32(0x101) + hex("90")),
         [](const auto &m) {
             EXPECT_EQ(as<TDisconnectInd>(m).PLCI, 0x101u);
             EXPECT_EQ(as<TDisconnectInd>(m).Reason, 0);
         }},
        {"DataB3IndSaysWideButIsShort",
         [] {
             QByteArray b = message(0x8682, 0, le32(0x10101) + le32(0) + le16(3) + le16(5) + le16(0));
             b[0] = 30;
             return b;
         }(),
         [](const auto &m) {
             EXPECT_EQ(as<TDataB3Ind>(m).DataHandle, 5);
             EXPECT_EQ(as<TDataB3Ind>(m).Data64, 0u);
         }},
        {"LongStructPrefixRunsPastEnd", message(0x8282, 0, le32(0x10101) + hex("ff0001")),
         [](const auto &m) {
             EXPECT_EQ(as<TConnectB3Ind>(m).NCCI, 0x10101u);
             EXPECT_TRUE(as<TConnectB3Ind>(m).NCPI.Truncated());
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto m = decode(c.bytes);
        ASSERT_TRUE(m);
        EXPECT_LE(m->Bytes().size(), c.bytes.size());
        EXPECT_NO_THROW(c.check(m));
    }
}
