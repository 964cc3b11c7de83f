#include "timers/ui/channel_chooser.h"

#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

#include "timers/channel_settings.h"

namespace {

// Opens the drop-down when the (read-only) text part is clicked, as a plain combo box does.
class PopupOnClick final : public QObject
{
public:
    explicit PopupOnClick(QComboBox *combo) : QObject(combo), m_combo(combo) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_combo->showPopup();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QComboBox *m_combo;
};

} // namespace

ChannelChooser::ChannelChooser(QWidget *parent)
    : QComboBox(parent), m_model(new QStandardItemModel(this)), m_tree(new QTreeView(this))
{
    setEditable(true);
    lineEdit()->setReadOnly(true);
    lineEdit()->installEventFilter(new PopupOnClick(this));
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(25);

    m_tree->header()->hide();
    m_tree->setRootIsDecorated(true);
    m_tree->setItemsExpandable(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(m_model);
    setView(m_tree);

    // The combo box reports the picked row relative to the top level only; the tree's current
    // index is the node that was really picked.
    connect(this, &QComboBox::activated, this, [this](int) { choose(m_tree->currentIndex()); });
}

void ChannelChooser::setSettings(const ChannelSettings &settings)
{
    clearTree();
    for (const ChannelBouquet &bouquet : settings.bouquets) {
        auto *node = new QStandardItem(bouquet.name);
        node->setEditable(false);
        for (const QString &channel : bouquet.channels) {
            auto *child = new QStandardItem(channel);
            child->setEditable(false);
            node->appendRow(child);
        }
        m_model->appendRow(node);
    }
    setCurrentIndex(-1);
    showText(QString());
}

void ChannelChooser::clearTree()
{
    m_chosen = QPersistentModelIndex();
    m_model->clear();
    setCurrentIndex(-1);
    showText(QString());
}

QList<QModelIndex> ChannelChooser::nodesInOrder() const
{
    QList<QModelIndex> nodes;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex top = m_model->index(row, 0);
        nodes.append(top);
        for (int child = 0; child < m_model->rowCount(top); ++child)
            nodes.append(m_model->index(child, 0, top));
    }
    return nodes;
}

QStringList ChannelChooser::nodeTexts() const
{
    QStringList texts;
    for (const QModelIndex &index : nodesInOrder())
        texts.append(index.data().toString());
    return texts;
}

bool ChannelChooser::chooseFirst(const std::function<bool(const QString &)> &match)
{
    for (const QModelIndex &index : nodesInOrder()) {
        if (match(index.data().toString())) {
            choose(index);
            return true;
        }
    }
    return false;
}

bool ChannelChooser::chooseNode(int position)
{
    const QList<QModelIndex> nodes = nodesInOrder();
    if (position < 0 || position >= nodes.size())
        return false;
    choose(nodes.at(position));
    return true;
}

void ChannelChooser::choose(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    m_chosen = QPersistentModelIndex(index);
    m_tree->setCurrentIndex(index);
    const QString text = index.data().toString();
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(0);
    emit nodeChosen(text);
}

void ChannelChooser::showText(const QString &text)
{
    m_chosen = QPersistentModelIndex();
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(0);
}

QString ChannelChooser::shownText() const
{
    return lineEdit()->text();
}

bool ChannelChooser::showsChannel() const
{
    return m_chosen.isValid() && m_chosen.parent().isValid() && m_chosen.data().toString() == shownText();
}

void ChannelChooser::showPopup()
{
    m_tree->expandAll();
    // Wide enough for whole channel entries, which are longer than the box itself.
    m_tree->setMinimumWidth(static_cast<QAbstractItemView *>(m_tree)->sizeHintForColumn(0) +
                            2 * m_tree->indentation() + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    QComboBox::showPopup();
    // Opening the drop-down must not replace the shown text by the top row's.
    if (m_chosen.isValid())
        m_tree->setCurrentIndex(m_chosen);
    if (m_chosen.isValid())
        m_tree->scrollTo(m_chosen, QAbstractItemView::PositionAtCenter);
}
