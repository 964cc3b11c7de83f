#pragma once

// The timer window's channel chooser: a combo box whose drop-down is a tree of the channel
// settings (bouquets with their channel entries). The box shows the chosen node's text, or any
// text the window puts there ("???" for a timer whose channel is not in the settings).

#include <QComboBox>
#include <QPersistentModelIndex>
#include <QStringList>

#include <functional>

class ChannelSettings;
class QStandardItemModel;
class QTreeView;

class ChannelChooser final : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelChooser)

public:
    explicit ChannelChooser(QWidget *parent = nullptr);

    // Replaces the tree by the settings' bouquets and channels; nothing is chosen afterwards.
    void setSettings(const ChannelSettings &settings);
    void clearTree();

    // Every node text in tree order, bouquet names included.
    QStringList nodeTexts() const;
    // Walks the nodes in tree order and chooses the first whose text satisfies match; false
    // (and nothing chosen) when none does.
    bool chooseFirst(const std::function<bool(const QString &nodeText)> &match);
    // Chooses the node at this position of nodeTexts(), as a click in the drop-down does.
    bool chooseNode(int position);

    // Shows a text without choosing a node ("???").
    void showText(const QString &text);
    QString shownText() const;
    // True when the shown text is that of a chosen channel entry (not a bouquet, not "???").
    bool showsChannel() const;

    QTreeView *treeView() const { return m_tree; }

    void showPopup() override;

signals:
    // The user (or chooseNode) picked a node.
    void nodeChosen(const QString &text);

private:
    QList<QModelIndex> nodesInOrder() const;
    void choose(const QModelIndex &index);

    QStandardItemModel *m_model;
    QTreeView *m_tree;
    QPersistentModelIndex m_chosen;
};
