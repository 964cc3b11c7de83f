#pragma once

#include <QLabel>
#include <QUrl>

// A text that opens an address in the user's web browser (or, for mailto:, the mail program)
// when clicked: bold, underlined, with a pointing hand.
class LinkLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkLabel)

public:
    LinkLabel(const QString &text, QUrl url, QWidget *parent = nullptr);

    const QUrl &url() const { return m_url; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QUrl m_url;
};
