// CSplitterWnd: a static splitter of panes in one row or one column. Each pane
// holds one widget; the columns (or rows) have an ideal size the panes start
// with and a minimum they are never dragged below. The user moves the bars
// between the panes; the current sizes are read back for the profile and for
// drawing the panes into one rectangle in the same proportions.
#pragma once

#include "platform/geometry.h"
#include "platform/wintypes.h"

#include <QSplitter>

#include <vector>

class CSplitterWnd : public QSplitter {
public:
    // The id of the first splitter of a frame.
    static constexpr UINT kFirstPaneId = 0xE900;

    explicit CSplitterWnd(QWidget* parent = nullptr);

    // One row of cols panes or one column of rows panes; FALSE for any other
    // shape (the splitter is then unchanged). The panes are empty until
    // SetPane fills them.
    BOOL CreateStatic(QWidget* parent, int rows, int cols, UINT id = kFirstPaneId);
    int GetRowCount() const { return m_rows; }
    int GetColumnCount() const { return m_cols; }

    // Puts widget into pane (row, col) with its initial size (the width counts
    // in a row of panes, the height in a column). FALSE for a pane outside the
    // shape or one already filled.
    BOOL SetPane(int row, int col, QWidget* widget, SIZE initial);
    QWidget* GetPane(int row, int col) const;

    // Ideal size (the size the pane is given on the next layout) and minimum
    // of a column or row. A negative ideal keeps the current size.
    void SetColumnInfo(int col, int ideal, int minimum);
    void SetRowInfo(int row, int ideal, int minimum);
    // Current size and minimum; FALSE outside the shape.
    BOOL GetColumnInfo(int col, int* current, int* minimum) const;
    BOOL GetRowInfo(int row, int* current, int* minimum) const;
    // Lays the panes out again with the ideal sizes.
    void RecalcLayout();

protected:
    // The first time the splitter is laid out on screen, the ideal sizes are
    // taken as proportions of the length it really has: a window's panes are
    // made before the window has its size, and the ideals were computed from
    // that size.
    void resizeEvent(QResizeEvent* event) override;

private:
    int paneIndex(int row, int col) const;
    BOOL getInfo(int k, bool alongSplit, int* current, int* minimum) const;
    void setInfo(int k, int ideal, int minimum);

    int m_rows = 0;
    int m_cols = 0;
    std::vector<int> m_ideal;
    std::vector<int> m_minimum;
    bool m_placedOnScreen = false;
};
