// The file list's view: a table view that behaves like a report list, where
// whole rows are the items (Home and End go to the first and last row, and
// no single cell shows the focus frame).
#pragma once

#include <QTableView>

class CReportView : public QTableView
{
    Q_OBJECT
public:
    explicit CReportView(QWidget* pParent = nullptr);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
};
