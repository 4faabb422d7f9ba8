#include "ui/FileListModel.h"

#include <algorithm>

namespace
{

struct CAttributeLabel
{
    DWORD m_dwBit;
    const char* m_pszLabel;
};

// Tested in this order; 0x4000 sits between 0x20 and 0x80, and 0x10000000
// gives two labels.
const CAttributeLabel kAttributeLabels[] = {
    {0x1, "只读-"},    {0x2, "隐藏-"},          {0x4, "系统-"},        {0x10, "文件夹-"},
    {0x20, "归档-"},   {0x4000, "加密-"},       {0x80, "正常-"},       {0x100, "零时-"},
    {0x200, "稀疏-"},  {0x400, "ReSp-"},        {0x800, "压缩-"},      {0x1000, "O-"},
    {0x2000, "受损-"}, {0x10000000, "文件夹-"}, {0x10000000, "索引-"},
};

const char* const kColumnHeadings[eColumnCount] = {"文件名", "#", "文件属性", "是否删除", "簇"};

}  // namespace

QString AttributeLabels(DWORD dwFileFlags)
{
    QString strLabels;
    for (const CAttributeLabel& label : kAttributeLabels)
        if (dwFileFlags & label.m_dwBit)
            strLabels += QString::fromUtf8(label.m_pszLabel);
    return strLabels;
}

void CFileRowBatch::Add(const char* pszName, size_t nLength, DWORD dwFileFlags, DWORD dwClusters,
                        BYTE bNotInUse)
{
    // Names are at most 259 bytes; anything longer is cut rather than trusted.
    nLength = std::min<size_t>(nLength, 0xFFFF);
    CFileRow row;
    row.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    row.m_wNameLength = static_cast<WORD>(nLength);
    row.m_bNotInUse = bNotInUse;
    row.m_dwFileFlags = dwFileFlags;
    row.m_dwClusters = dwClusters;
    m_strNames.append(pszName, nLength);
    m_vecRows.push_back(row);
}

CFileListModel::CFileListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

std::string CFileListModel::NameBytes(int nRow) const
{
    const CFileRow& row = Row(nRow);
    return m_strNames.substr(row.m_dwNameOffset, row.m_wNameLength);
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_vecRows.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : eColumnCount;
}

QVariant CFileListModel::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const CFileRow& row = Row(index.row());
    if (nRole == Qt::TextAlignmentRole)
    {
        // Centred columns; the first column of a report list stays left-aligned.
        return index.column() == eColumnName ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                             : int(Qt::AlignCenter);
    }
    if (nRole != Qt::DisplayRole && nRole != Qt::EditRole)
        return QVariant();
    switch (index.column())
    {
    case eColumnName:
        // Each byte is the code of a UTF-16 unit below 256: Latin-1 restores it.
        return QString::fromLatin1(m_strNames.data() + row.m_dwNameOffset, row.m_wNameLength);
    case eColumnNumber:
        return QString::number(index.row());
    case eColumnAttributes:
        return AttributeLabels(row.m_dwFileFlags);
    case eColumnDeleted:
        return row.m_bNotInUse ? QStringLiteral("是") : QString();
    case eColumnClusters:
        return QString::number(row.m_dwClusters);
    default:
        return QVariant();
    }
}

QVariant CFileListModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation != Qt::Horizontal || nSection < 0 || nSection >= eColumnCount)
        return QVariant();
    if (nRole == Qt::DisplayRole)
        return QString::fromUtf8(kColumnHeadings[nSection]);
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
    if (m_vecRows.empty())
        return;
    beginResetModel();
    std::vector<CFileRow>().swap(m_vecRows);
    std::string().swap(m_strNames);
    endResetModel();
}

void CFileListModel::AppendRows(CFileRowBatch&& batch)
{
    if (batch.m_vecRows.empty())
        return;
    const int nFirst = rowCount();
    const DWORD dwBase = static_cast<DWORD>(m_strNames.size());
    beginInsertRows(QModelIndex(), nFirst, nFirst + static_cast<int>(batch.m_vecRows.size()) - 1);
    m_strNames += batch.m_strNames;
    const size_t nOld = m_vecRows.size();
    m_vecRows.insert(m_vecRows.end(), batch.m_vecRows.begin(), batch.m_vecRows.end());
    for (size_t i = nOld; i < m_vecRows.size(); ++i)
        m_vecRows[i].m_dwNameOffset += dwBase;
    endInsertRows();
}
