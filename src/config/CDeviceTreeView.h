#pragma once

#include <QModelIndex>
#include <QTreeView>

/// The configuration dialog's page tree. A press selects (and reports a left or right click); a
/// release on the leftmost 25 pixels of an item that carries a check state toggles it through the model
/// and reports checkChanged, which is the only way the operator ticks an item.
class CDeviceTreeView : public QTreeView
{
    Q_OBJECT

public:
    /// Width of the strip, from an item's left edge, on which a release toggles its tick.
    static constexpr int kCheckStripWidth = 25;

    explicit CDeviceTreeView(QWidget* parent = nullptr);

signals:
    void leftClicked(QModelIndex index);
    void rightClicked(QModelIndex index);
    void checkChanged(QModelIndex index);
    void triggerBackContext();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
