// The file list's model: a thin adapter that shows the rows of a CRowStore.
// What each cell says is decided by the session's row texts; the model only
// hands them to the view, so hundreds of thousands of rows cost little more
// than their bytes. Rows arrive in batches.
#pragma once

#include "session/RowText.h"

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

    void Clear();
    void AppendRows(CRowBatch&& batch);
    const CRowStore& Store() const { return m_store; }
    // The record a row of the model lists.
    DWORD RecordOf(int nRow) const { return m_store.Row(static_cast<size_t>(nRow)).m_dwRecord; }

private:
    CRowStore m_store;
};
