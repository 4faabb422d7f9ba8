// A file's size and whether its data can still come back whole, from its
// unnamed $DATA stream (the file's own bytes) and the volume's allocation
// map as it stands now:
// - in use: live;
// - deleted, its data resident in the record, or none of its clusters in
//   use now: recoverable;
// - deleted, some of its clusters in use now: partly overwritten;
// - deleted, every cluster in use now: overwritten;
// - deleted, no data (empty, no unnamed $DATA, a folder): no data.
// The share still free is the data's stored clusters the map marks free;
// sparse extents hold no clusters and count for nothing, an extent that
// leaves the volume counts as lost. The size is the stream's real size (a
// resident value's length, or the non-resident header's at VCN 0), never
// $FILE_NAME's copy.
//
// A file whose data continues in extension records (an attribute list names
// them) is put together as a walk over the table meets its records, in any
// order (CSpreadFiles): nothing is read from the disk for it.
#pragma once

#include "fs/Rows.h"
#include "ntfs/ClusterBitmap.h"
#include "ntfs/RecordDescription.h"
#include "platform/Win32.h"

#include <unordered_map>
#include <vector>

namespace ntfs
{

// What one record holds of a file's unnamed $DATA stream.
struct CDataPiece
{
    bool m_bFound = false;      // an unnamed $DATA attribute lies here
    bool m_bDamaged = false;    // one cannot be used as it stands
    bool m_bStart = false;      // it holds the stream's start: the size is known
    bool m_bResident = false;
    ULONGLONG m_n64Size = 0;    // the real size (with m_bStart)
    ULONGLONG m_n64Vcns = 0;    // clusters the whole stream spans (with m_bStart, non-resident)
    ULONGLONG m_n64Covered = 0; // clusters its extents here span
    CClusterTally m_tally;      // of its extents here, when tallied
};

struct CFileState
{
    bool m_bHasSize = false;
    ULONGLONG m_n64Size = 0;
    ERowState m_eState = eRowStateUnknown;
    BYTE m_byFreePercent = 0;  // the share of the data's clusters free now, 0 to 100
    bool m_bPending = false;   // the rest comes with extension records not met yet
};

// Reads the record's unnamed $DATA attributes at the places desc found.
// With pMap, deleted data's extents are decoded into vecScratch (the
// caller's, so a walk allocates nothing per record) and tallied against it.
void ReadDataPiece(const BYTE* pRecord, DWORD dwSize, const CRecordDescription& desc, DWORD dwClusterSize,
                   const CClusterBitmap* pMap, std::vector<CExtent>& vecScratch, CDataPiece& piece);

// The piece holds the whole stream: its start, and every cluster after it.
bool PieceIsWhole(const CDataPiece& piece);

// The state of a file from its whole data (bMapUsable: its tally can be trusted).
CFileState FileStateOf(bool bInUse, bool bDirectory, const CDataPiece& data, bool bMapUsable);

// The state from a tally alone: recoverable, partly overwritten or overwritten.
CFileState TallyState(const CClusterTally& tally);

class CSpreadFiles
{
public:
    void Clear();
    void SetMapUsable(bool bUsable) { m_bMapUsable = bUsable; }

    // A base record with its own piece; bMayHaveMore: its attribute list may
    // name pieces of its unnamed $DATA in other records. The file's state
    // now, with the pieces met before; m_bPending when more are to come.
    CFileState AddBase(DWORD dwRecord, const CRecordHeader& header, const CDataPiece& own, bool bMayHaveMore);
    // An extension record (header.m_n64BaseRef names its base) with its piece
    // of the base's unnamed $DATA. True when it completes a base met before
    // (in use or freed with it, of the sequence it names): dwBase and state.
    bool AddExtension(const CRecordHeader& header, const CDataPiece& piece, DWORD& dwBase, CFileState& state);

    size_t Waiting() const { return m_mapWaiting.size(); }
    // Pieces kept for bases not met yet; beyond this many, more are dropped.
    static const size_t kMaxLoosePieces = 1u << 20;

private:
    struct CWaiting
    {
        CRecordHeader m_header;
        CDataPiece m_whole;
    };
    struct CLoosePiece
    {
        WORD m_wBaseSequence = 0;  // as the extension record names its base
        bool m_bInUse = false;
        CDataPiece m_piece;
    };
    static bool Belongs(const CRecordHeader& base, const CLoosePiece& piece);
    static void Join(CDataPiece& whole, const CDataPiece& piece);

    std::unordered_map<ULONGLONG, CWaiting> m_mapWaiting;
    std::unordered_multimap<ULONGLONG, CLoosePiece> m_mapLoose;
    bool m_bMapUsable = false;
};

}  // namespace ntfs
