#include "ui/qt/FileListModel.h"

#include "session/RowText.h"

CFileListModel::CFileListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_view.Size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : eColumnCount;
}

QVariant CFileListModel::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (nRole == Qt::TextAlignmentRole)
    {
        return ColumnReadsFromLeft(index.column())    ? int(Qt::AlignLeft | Qt::AlignVCenter)
               : ColumnReadsFromRight(index.column()) ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                      : int(Qt::AlignCenter);
    }
    // The name and the time tell the row's times, read when the tip shows.
    if (nRole == Qt::ToolTipRole)
    {
        if (!m_fnTip || (index.column() != eColumnName && index.column() != eColumnModified))
            return QVariant();
        const std::string strTip = m_fnTip(RecordOf(index.row()));
        return strTip.empty() ? QVariant() : QVariant(QString::fromStdString(strTip));
    }
    if (nRole != Qt::DisplayRole && nRole != Qt::EditRole)
        return QVariant();
    return QString::fromStdString(m_store.Text(m_view.StoreRow(static_cast<size_t>(index.row())), index.column()));
}

QVariant CFileListModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation != Qt::Horizontal || nSection < 0 || nSection >= eColumnCount)
        return QVariant();
    if (nRole == Qt::DisplayRole)
        return QString::fromUtf8(ColumnHeading(nSection));
    if (nRole == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == eColumnName)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CFileListModel::setData(const QModelIndex&, const QVariant&, int)
{
    return false;
}

void CFileListModel::Clear()
{
    if (m_store.Size() == 0)
        return;
    beginResetModel();
    m_store.Clear();
    m_view.Clear();
    endResetModel();
}

void CFileListModel::AppendRows(CRowBatch&& batch)
{
    if (batch.Empty())
        return;
    const bool bUpdates = !batch.m_vecUpdates.empty();
    m_store.Append(std::move(batch));
    if (m_view.SortColumn() >= 0 || m_view.Descending() || m_view.StatesMoveRows(m_store))
    {
        Relayout([this] { m_view.Append(m_store); });
        return;
    }
    // Rows shown before may have learnt their size and state.
    if (bUpdates && rowCount() > 0)
        emit dataChanged(index(0, eColumnSize), index(rowCount() - 1, eColumnState));
    // In the scan's order new rows only ever go at the end.
    const size_t nOld = m_view.Size();
    const size_t nNew = m_view.CountNew(m_store);
    if (nNew == 0)
    {
        m_view.Append(m_store);
        return;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(nOld), static_cast<int>(nOld + nNew) - 1);
    m_view.Append(m_store);
    endInsertRows();
}

void CFileListModel::sort(int nColumn, Qt::SortOrder order)
{
    Relayout([&] {
        m_view.SetOrder(nColumn, order == Qt::DescendingOrder);
        m_view.Rebuild(m_store);
    });
}

void CFileListModel::SetFilter(const QString& strText, bool bDeletedOnly, bool bRecoverableOnly)
{
    Relayout([&] {
        m_view.SetFilter(strText.toStdString(), bDeletedOnly, bRecoverableOnly);
        m_view.Rebuild(m_store);
    });
}

void CFileListModel::Relayout(const std::function<void()>& fnChange)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList listOld = persistentIndexList();
    std::vector<size_t> vecStoreRows;
    vecStoreRows.reserve(static_cast<size_t>(listOld.size()));
    for (const QModelIndex& index : listOld)
        vecStoreRows.push_back(m_view.StoreRow(static_cast<size_t>(index.row())));
    fnChange();
    QModelIndexList listNew;
    if (!listOld.isEmpty())
    {
        std::vector<int> vecViewRow(m_store.Size(), -1);
        for (size_t i = 0; i < m_view.Size(); ++i)
            vecViewRow[m_view.StoreRow(i)] = static_cast<int>(i);
        for (int i = 0; i < listOld.size(); ++i)
        {
            const int nRow = vecViewRow[vecStoreRows[static_cast<size_t>(i)]];
            listNew.append(nRow < 0 ? QModelIndex() : index(nRow, listOld[i].column()));
        }
    }
    changePersistentIndexList(listOld, listNew);
    emit layoutChanged();
}
