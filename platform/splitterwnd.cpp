// The static splitter.
#include "platform/splitterwnd.h"

#include <QResizeEvent>
#include <QWidget>

CSplitterWnd::CSplitterWnd(QWidget* parent) : QSplitter(parent) {
    setChildrenCollapsible(false);
}

BOOL CSplitterWnd::CreateStatic(QWidget* parent, int rows, int cols, UINT id) {
    if (m_rows || rows < 1 || cols < 1 || (rows > 1 && cols > 1)) {
        return FALSE;
    }
    if (parent) {
        setParent(parent);
    }
    setObjectName(QString::number(id));
    m_rows = rows;
    m_cols = cols;
    setOrientation(rows == 1 ? Qt::Horizontal : Qt::Vertical);
    const int n = rows * cols;
    m_ideal.assign(static_cast<size_t>(n), -1);
    m_minimum.assign(static_cast<size_t>(n), 0);
    for (int k = 0; k < n; ++k) {
        // A placeholder keeps the pane's place until it is filled.
        auto* placeholder = new QWidget;
        placeholder->setProperty("torvelEmptyPane", true);
        addWidget(placeholder);
    }
    return TRUE;
}

int CSplitterWnd::paneIndex(int row, int col) const {
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols) {
        return -1;
    }
    return m_rows == 1 ? col : row;
}

BOOL CSplitterWnd::SetPane(int row, int col, QWidget* widget, SIZE initial) {
    const int k = paneIndex(row, col);
    if (k < 0 || !widget || !this->widget(k)->property("torvelEmptyPane").toBool()) {
        return FALSE;
    }
    QWidget* placeholder = replaceWidget(k, widget);
    delete placeholder;
    widget->setMinimumSize(orientation() == Qt::Horizontal
                               ? QSize(m_minimum[static_cast<size_t>(k)], 0)
                               : QSize(0, m_minimum[static_cast<size_t>(k)]));
    m_ideal[static_cast<size_t>(k)] = orientation() == Qt::Horizontal ? initial.cx : initial.cy;
    RecalcLayout();
    return TRUE;
}

QWidget* CSplitterWnd::GetPane(int row, int col) const {
    const int k = paneIndex(row, col);
    if (k < 0 || this->widget(k)->property("torvelEmptyPane").toBool()) {
        return nullptr;
    }
    return this->widget(k);
}

void CSplitterWnd::setInfo(int k, int ideal, int minimum) {
    if (k < 0 || k >= count()) {
        return;
    }
    m_minimum[static_cast<size_t>(k)] = minimum < 0 ? 0 : minimum;
    m_ideal[static_cast<size_t>(k)] = ideal;
    QWidget* pane = widget(k);
    if (orientation() == Qt::Horizontal) {
        pane->setMinimumWidth(m_minimum[static_cast<size_t>(k)]);
    } else {
        pane->setMinimumHeight(m_minimum[static_cast<size_t>(k)]);
    }
}

void CSplitterWnd::SetColumnInfo(int col, int ideal, int minimum) {
    if (m_rows == 1) {
        setInfo(col, ideal, minimum);
    }
}

void CSplitterWnd::SetRowInfo(int row, int ideal, int minimum) {
    if (m_cols == 1 && m_rows > 1) {
        setInfo(row, ideal, minimum);
    }
}

BOOL CSplitterWnd::getInfo(int k, bool alongSplit, int* current, int* minimum) const {
    if (k < 0 || k >= count()) {
        return FALSE;
    }
    const QWidget* pane = widget(k);
    int size = 0;
    int least = 0;
    if (alongSplit) {
        const QList<int> all = sizes();
        size = k < all.size() ? all[k] : 0;
        least = m_minimum[static_cast<size_t>(k)];
    } else {
        // Across the split every pane has the splitter's size.
        size = orientation() == Qt::Horizontal ? height() : width();
        least = 0;
        (void)pane;
    }
    if (current) {
        *current = size;
    }
    if (minimum) {
        *minimum = least;
    }
    return TRUE;
}

BOOL CSplitterWnd::GetColumnInfo(int col, int* current, int* minimum) const {
    if (col < 0 || col >= m_cols) {
        return FALSE;
    }
    return m_rows == 1 ? getInfo(col, true, current, minimum) : getInfo(0, false, current, minimum);
}

BOOL CSplitterWnd::GetRowInfo(int row, int* current, int* minimum) const {
    if (row < 0 || row >= m_rows) {
        return FALSE;
    }
    return m_rows > 1 ? getInfo(row, true, current, minimum) : getInfo(0, false, current, minimum);
}

void CSplitterWnd::RecalcLayout() {
    QList<int> current = sizes();
    QList<int> wanted;
    for (int k = 0; k < count(); ++k) {
        const int ideal = m_ideal[static_cast<size_t>(k)];
        const int least = m_minimum[static_cast<size_t>(k)];
        const int size = ideal >= 0 ? ideal : (k < current.size() ? current[k] : 0);
        wanted.append(size < least ? least : size);
    }
    setSizes(wanted);
}

void CSplitterWnd::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    if (m_placedOnScreen || !isVisible()) {
        return;
    }
    const int length = orientation() == Qt::Horizontal ? width() : height();
    const int panes = count();
    const int available = length - (panes - 1) * handleWidth();
    long long idealSum = 0;
    for (int k = 0; k < panes; ++k) {
        if (m_ideal[static_cast<size_t>(k)] < 0) {
            return; // a pane that keeps its size: nothing to scale
        }
        idealSum += m_ideal[static_cast<size_t>(k)];
    }
    if (available <= 0 || idealSum <= 0) {
        return;
    }
    m_placedOnScreen = true;
    if (idealSum == available) {
        return;
    }
    QList<int> wanted;
    for (int k = 0; k < panes; ++k) {
        const int size = static_cast<int>(m_ideal[static_cast<size_t>(k)] * available / idealSum);
        const int least = m_minimum[static_cast<size_t>(k)];
        wanted.append(size < least ? least : size);
    }
    setSizes(wanted);
}
