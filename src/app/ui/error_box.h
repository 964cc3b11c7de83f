#pragma once

// The application's standard error box, and the one way every window handler runs: an action
// that throws shows its text in a critical message box and ends there, so no exception ever
// leaves a Qt slot. Plain information messages (the program's own notices) go through the same
// presenter, which tests replace to read the texts instead of clicking boxes away.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

class QWidget;

enum class MessageKind
{
    Error,
    Information
};

// Shows one message to the user and returns when it has been acknowledged.
using MessagePresenter = std::function<void(QWidget *parent, MessageKind kind, const QString &text)>;

// The application's standard error box: QMessageBox::critical with the text.
void showErrorBox(QWidget *parent, const QString &text);
// A plain notice with an OK button (QMessageBox::information).
void showMessageBox(QWidget *parent, const QString &text);

// Replaces the presenter for the lifetime of the object (tests), restoring the previous one.
// The presenter is process-wide on purpose: the error box belongs to the application, and every
// window's handlers reach it without being handed anything.
class ScopedMessagePresenter
{
public:
    explicit ScopedMessagePresenter(MessagePresenter presenter);
    ~ScopedMessagePresenter();
    ScopedMessagePresenter(const ScopedMessagePresenter &) = delete;
    ScopedMessagePresenter &operator=(const ScopedMessagePresenter &) = delete;

private:
    MessagePresenter m_previous;
};

namespace errorbox_detail {
void reportCurrentException(QWidget *parent) noexcept;
} // namespace errorbox_detail

// Runs action; an exception it throws is shown in the error box. Returns true when the action
// finished, false when it ended with an error.
template <typename Action> bool runGuarded(QWidget *parent, Action &&action) noexcept
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (...) {
        errorbox_detail::reportCurrentException(parent);
        return false;
    }
}
