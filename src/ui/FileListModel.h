// The rows of the file list: one plain struct per listed record, held in a
// vector and shown through a table model, so that hundreds of thousands of
// rows cost little more than their bytes. Rows arrive in batches.
#pragma once

#include "platform/Win32.h"

#include <QAbstractTableModel>

#include <string>
#include <vector>

// One listed record. The name lives in the name pool of the model (or of
// the batch that carries the row there), so a row costs 16 bytes and no
// allocation of its own.
struct CFileRow
{
    DWORD m_dwNameOffset = 0;  // szName's bytes: one per UTF-16 unit below 256
    WORD m_wNameLength = 0;
    BYTE m_bNotInUse = 0;
    DWORD m_dwFileFlags = 0;
    DWORD m_dwClusters = 0;  // low 32 bits of the cluster count
};

// Rows on their way from the scan to the list, with their names.
struct CFileRowBatch
{
    std::string m_strNames;
    std::vector<CFileRow> m_vecRows;

    void Add(const char* pszName, size_t nLength, DWORD dwFileFlags, DWORD dwClusters,
             BYTE bNotInUse);
    bool Empty() const { return m_vecRows.empty(); }
};

// Column indices of the list, as created; the view shows them in the order 1, 0, 2, 3, 4.
enum EFileColumn
{
    eColumnName = 0,
    eColumnNumber = 1,
    eColumnAttributes = 2,
    eColumnDeleted = 3,
    eColumnClusters = 4,
    eColumnCount = 5
};

// The attribute labels of a flags value, in the fixed order of the bits.
QString AttributeLabels(DWORD dwFileFlags);

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
    void AppendRows(CFileRowBatch&& batch);
    const CFileRow& Row(int nRow) const { return m_vecRows[static_cast<size_t>(nRow)]; }
    // The row's name bytes, as the record gave them.
    std::string NameBytes(int nRow) const;

private:
    std::string m_strNames;
    std::vector<CFileRow> m_vecRows;
};
