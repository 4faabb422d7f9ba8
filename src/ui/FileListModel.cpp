#include "ui/FileListModel.h"

CFileListModel::CFileListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_store.Size());
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
        // Centred columns; the first column of a report list stays left-aligned.
        return index.column() == eColumnName ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                             : int(Qt::AlignCenter);
    }
    if (nRole != Qt::DisplayRole && nRole != Qt::EditRole)
        return QVariant();
    return QString::fromStdString(m_store.Text(static_cast<size_t>(index.row()), index.column()));
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
    endResetModel();
}

void CFileListModel::AppendRows(CRowBatch&& batch)
{
    if (batch.Empty())
        return;
    const int nFirst = rowCount();
    beginInsertRows(QModelIndex(), nFirst, nFirst + static_cast<int>(batch.Size()) - 1);
    m_store.Append(std::move(batch));
    endInsertRows();
}
