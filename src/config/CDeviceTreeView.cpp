#include "CDeviceTreeView.h"

#include <QMouseEvent>
#include <QScrollBar>

CDeviceTreeView::CDeviceTreeView(QWidget* parent) : QTreeView(parent)
{
    // Named so that style sheets can address them.
    verticalScrollBar()->setObjectName(QStringLiteral("VerticalScrollBar"));
    horizontalScrollBar()->setObjectName(QStringLiteral("HorizontalScrollBar"));
}

void CDeviceTreeView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (index.isValid())
        setCurrentIndex(index);
    const QModelIndex current = currentIndex();
    if (!current.isValid() && !visualRect(current).contains(pos))
        return;
    if (event->buttons() == Qt::RightButton) {
        if (current.isValid())
            emit rightClicked(current);
    } else if (event->buttons() == Qt::LeftButton) {
        if (current.isValid())
            emit leftClicked(current);
    }
}

void CDeviceTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) {
        if (event->button() == Qt::RightButton)
            emit triggerBackContext();
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    const QVariant state = index.data(Qt::CheckStateRole);
    if (state.isValid()) {
        QRect strip = visualRect(index);
        strip.setRight(strip.left() + kCheckStripWidth);
        if (strip.contains(pos)) {
            const bool bUnchecked = state.toInt() == Qt::Unchecked;
            model()->setData(index, bUnchecked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
            emit checkChanged(index);
            return;
        }
    }
    QTreeView::mouseReleaseEvent(event);
}

void CDeviceTreeView::mouseMoveEvent(QMouseEvent* event)
{
    QTreeView::mouseMoveEvent(event);
}

void CDeviceTreeView::paintEvent(QPaintEvent* event)
{
    QTreeView::paintEvent(event);
}
