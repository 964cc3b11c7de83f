#include "app/ui/error_box.h"

#include <QApplication>
#include <QMessageBox>

#include "common/error.h"
#include "common/logging.h"

namespace {

void defaultPresenter(QWidget *parent, MessageKind kind, const QString &text)
{
    const QString title = QApplication::applicationDisplayName().isEmpty()
                              ? QStringLiteral("Boxvisor")
                              : QApplication::applicationDisplayName();
    if (kind == MessageKind::Error)
        QMessageBox::critical(parent, title, text);
    else
        QMessageBox::information(parent, title, text);
}

MessagePresenter &presenter()
{
    static MessagePresenter current = defaultPresenter;
    return current;
}

void present(QWidget *parent, MessageKind kind, const QString &text)
{
    if (presenter())
        presenter()(parent, kind, text);
}

} // namespace

void showErrorBox(QWidget *parent, const QString &text)
{
    qCWarning(lcApp).noquote() << "error box:" << text;
    present(parent, MessageKind::Error, text);
}

void showMessageBox(QWidget *parent, const QString &text)
{
    present(parent, MessageKind::Information, text);
}

ScopedMessagePresenter::ScopedMessagePresenter(MessagePresenter replacement)
    : m_previous(std::exchange(presenter(), std::move(replacement)))
{
}

ScopedMessagePresenter::~ScopedMessagePresenter()
{
    presenter() = std::move(m_previous);
}

void errorbox_detail::reportCurrentException(QWidget *parent) noexcept
{
    // Showing the box runs a nested event loop; anything thrown from there must not escape
    // either, so the presenter itself is guarded too.
    try {
        try {
            throw;
        } catch (const BoxvisorError &e) {
            showErrorBox(parent, e.message());
        } catch (const std::exception &e) {
            showErrorBox(parent, QString::fromLocal8Bit(e.what()));
        } catch (...) {
            showErrorBox(parent, QStringLiteral("Unbekannter Fehler."));
        }
    } catch (...) {
        qCCritical(lcApp) << "the error box itself failed";
    }
}
