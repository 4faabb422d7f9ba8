// The file list's model: a thin adapter that shows the rows of a CRowStore
// through a CRowView (the user's order and filter). What each cell says is
// decided by the session's row texts; the model only hands them to the view,
// so hundreds of thousands of rows cost little more than their bytes. Rows
// arrive in batches.
#pragma once

#include "session/RowStore.h"
#include "session/RowView.h"

#include <functional>

#include <QAbstractTableModel>

class CFileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CFileListModel(QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // In-place edits of a name are offered but not kept.
    bool setData(const QModelIndex& index, const QVariant& value, int nRole) override;

    // Header clicks: by a column, or the scan's order for a column below 0.
    void sort(int nColumn, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Rows whose name or folder holds the text (case folded); deleted ones
    // only, or recoverable ones only, if asked.
    void SetFilter(const QString& strText, bool bDeletedOnly, bool bRecoverableOnly = false);
    // The tip of a record's row (its times), asked when a tip is shown.
    void SetTipSource(std::function<std::string(DWORD dwRecord)> fnTip) { m_fnTip = std::move(fnTip); }

    void Clear();
    void AppendRows(CRowBatch&& batch);
    const CRowStore& Store() const { return m_store; }
    const CRowView& View() const { return m_view; }
    // The record a row of the model lists, whatever the order and filter.
    DWORD RecordOf(int nRow) const { return m_store.Row(m_view.StoreRow(static_cast<size_t>(nRow))).m_dwRecord; }

private:
    // Changes the view and keeps the selection on the same records.
    void Relayout(const std::function<void()>& fnChange);

    CRowStore m_store;
    CRowView m_view;
    std::function<std::string(DWORD)> m_fnTip;
};
