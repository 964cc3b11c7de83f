#include "callnotify/call_handler.h"

#include "app/box_client.h"
#include "callnotify/phone_book.h"
#include "common/activity_log.h"
#include "common/error.h"
#include "common/logging.h"

#include <QTime>

const QString CallHandler::waitingText = QStringLiteral("-- waiting ... --");
const QString CallHandler::idleText = QStringLiteral("------");

namespace {
// Outside values go into the query safely. The name's prepared escapes ("%20") survive the
// encoding, and characters a query value may hold as they are stay readable: the commas of
// ",%20" (the lines of a multi-line name), the "???" of a withheld number, brackets and
// slashes of a number. Whatever could end the value or the request ('&', '#', '=', '+',
// blanks, line breaks) is escaped.
bool keptAsIs(QChar c)
{
    return QStringView(u",?/:@!$'()*").contains(c);
}

QByteArray queryValue(const QString &value)
{
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= value.size(); ++i) {
        if (i == value.size() || keptAsIs(value[i])) {
            out.append(encodeQueryValue(value.mid(start, i - start)));
            if (i < value.size())
                out.append(static_cast<char>(value[i].unicode()));
            start = i + 1;
        }
    }
    return out;
}
} // namespace

CallHandler::CallHandler(std::function<CallSettings()> settings, CallerFields fields, PhoneBook &phoneBook,
                         BoxClient &box, ActivityLog &log)
    : m_settings(std::move(settings)), m_fields(fields), m_phoneBook(phoneBook), m_box(box), m_log(log)
{
}

void CallHandler::setLabel(CallLabel label, const QString &text)
{
    if (m_view.setLabel)
        m_view.setLabel(label, text);
}

void CallHandler::CapiMonitor1IncomingCall(const QString &calling, const QString &called, int cip)
{
    (void)cip;
    m_fields.CallerNumber = calling;
    m_fields.CallerName.clear();
    setLabel(CallLabel::lblrufnummer, calling);
    setLabel(CallLabel::lblTime, QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    setLabel(CallLabel::lblMsn, called);
    if (m_view.setFindNumber)
        m_view.setFindNumber(calling);
    m_fields.CalledNumber = called;
    try {
        SucheNummer(calling);
    } catch (const std::exception &error) {
        // The call came in the background: nobody waits for an error box. The labels keep
        // the call, and the log line is left out as the handling ended here.
        qCWarning(lcCallNotify) << "Call message not sent:" << error.what();
        return;
    }
    m_log.add(QStringLiteral("Incoming Call ... Number : ") + calling + QStringLiteral("  MSN : ") + called +
              QStringLiteral("  "));
}

void CallHandler::SucheNummer(const QString &text)
{
    if (const auto match = m_phoneBook.find(text)) {
        m_fields.CallerNumber = match->number;
        m_fields.CallerName = match->name;
    }
    announce();
}

void CallHandler::announce()
{
    const CallSettings settings = m_settings();
    if (settings.chkAllMsn || m_fields.CalledNumber == settings.edtMsn)
        SendCapiMessageToBox();
}

QByteArray CallHandler::messageTarget(const CallSettings &settings) const
{
    return QByteArrayLiteral("/cgi-bin/xmessage?timeout=") + queryValue(settings.edtTime) +
           QByteArrayLiteral("&caption=Ein%20Anruf%20kommt...&body=Anrufer:%20") +
           queryValue(m_fields.CallerNumber) + QByteArrayLiteral("%20:%20") + queryValue(m_fields.CallerName);
}

void CallHandler::SendCapiMessageToBox()
{
    const CallSettings settings = m_settings();
    if (!settings.chkActive)
        return;
    if (m_fields.CallerName.isEmpty() && m_fields.CallerNumber.isEmpty()) {
        m_fields.CallerName = QStringLiteral("???");
        m_fields.CallerNumber = QStringLiteral("keine%20Nummer");
    }
    if (m_fields.CallerName.isEmpty())
        m_fields.CallerName = QStringLiteral("kein%20Name%20im%20Telefonbuch");

    m_box.httpGet(messageTarget(settings), AfterRequest::Close);

    if (settings.chkMsgOnPC && m_view.showBalloon) {
        const QString label = m_view.callLabelText ? m_view.callLabelText() : QString();
        m_view.showBalloon(QPoint(settings.edtSpinX, settings.edtSpinY),
                           QStringLiteral("Ein Anruf kommt ...\r\nNr : ") + label + QStringLiteral(", ") +
                               m_fields.CallerName);
    }
    if (m_view.setTimer1Enabled)
        m_view.setTimer1Enabled(true);
}

void CallHandler::Timer1Timer()
{
    if (m_view.hideBalloon)
        m_view.hideBalloon();
    if (m_view.setTimer1Enabled)
        m_view.setTimer1Enabled(false);
    setLabel(CallLabel::lblrufnummer, waitingText);
    setLabel(CallLabel::lblTime, idleText);
    setLabel(CallLabel::lblMsn, idleText);
    setLabel(CallLabel::lblUnreadMails, idleText);
    setLabel(CallLabel::lblUnreadMailTime, idleText);
    if (m_view.setTimer1Interval) {
        // A message time that is no number (a hand-edited settings file) counts like an
        // empty field: the timer then waits until it is started again with a valid time.
        const QString time = m_settings().edtTime.trimmed();
        int seconds = 0;
        try {
            seconds = time.isEmpty() ? 0 : strToInt(time);
        } catch (const ConversionError &) {
            seconds = 0;
        }
        m_view.setTimer1Interval(qMax(0, seconds) * 1000);
    }
}
