#include "ntfs/FileState.h"

#include "ntfs/FieldOffsets.h"

#include <algorithm>

namespace ntfs
{

namespace
{

// One unnamed $DATA attribute into the piece; false when it cannot be used.
bool ReadDataAttribute(const BYTE* pAttr, DWORD dwLeft, DWORD dwClusterSize, bool bTally, const CClusterBitmap* pMap,
                       std::vector<CExtent>& vecScratch, CDataPiece& piece)
{
    CAttribute attr;
    if (!ParseAttributeHeader(pAttr, dwLeft, attr) || !attr.m_bSound)
        return false;
    if (!attr.m_bNonResident)
    {
        piece.m_bStart = true;
        piece.m_bResident = true;
        piece.m_n64Size = attr.m_dwValueLength;
        return true;
    }
    if (attr.m_n64FirstVcn == 0)
    {
        piece.m_bStart = true;
        piece.m_n64Size = attr.m_n64RealSize;
        piece.m_n64Vcns = dwClusterSize ? attr.m_n64AllocatedSize / dwClusterSize : 0;
    }
    // An empty stream's last VCN is -1: it spans nothing.
    if (attr.m_n64LastVcn + 1 != attr.m_n64FirstVcn)
    {
        if (attr.m_n64LastVcn < attr.m_n64FirstVcn)
            return false;
        piece.m_n64Covered += attr.m_n64LastVcn - attr.m_n64FirstVcn + 1;
    }
    if (!bTally)
        return true;
    const BYTE* pList = nullptr;
    DWORD dwList = 0;
    if (!RunListBytes(pAttr, attr, pList, dwList) ||
        DecodeRunList(pList, dwList, attr.m_n64FirstVcn, vecScratch) != 0)
        return false;
    piece.m_tally.Add(TallyExtents(vecScratch, *pMap));
    return true;
}

BYTE FreePercent(const CClusterTally& tally)
{
    if (tally.m_n64Stored == 0 || tally.m_n64Free >= tally.m_n64Stored)
        return 100;
    if (tally.m_n64Free == 0)
        return 0;
    // Never 0 or 100 for a share between: the text would say what is not so.
    const double dShare = static_cast<double>(tally.m_n64Free) * 100.0 / static_cast<double>(tally.m_n64Stored);
    return static_cast<BYTE>(dShare < 1.0 ? 1 : dShare >= 99.0 ? 99 : static_cast<int>(dShare));
}

}  // namespace

void ReadDataPiece(const BYTE* pRecord, DWORD dwSize, const CRecordDescription& desc, DWORD dwClusterSize,
                   const CClusterBitmap* pMap, std::vector<CExtent>& vecScratch, CDataPiece& piece)
{
    piece = CDataPiece();
    piece.m_bFound = desc.m_nUnnamedData > 0;
    // Attributes past those the description kept cannot be seen.
    piece.m_bDamaged = desc.m_nUnnamedData > CRecordDescription::kMaxUnnamedData;
    const bool bTally = pMap && pMap->Usable() && !desc.m_header.m_bInUse;
    const size_t nKept = std::min(desc.m_nUnnamedData, CRecordDescription::kMaxUnnamedData);
    for (size_t i = 0; i < nKept; ++i)
    {
        const DWORD dwOffset = desc.m_adwUnnamedData[i];
        if (dwOffset >= dwSize ||
            !ReadDataAttribute(pRecord + dwOffset, dwSize - dwOffset, dwClusterSize, bTally, pMap, vecScratch, piece))
            piece.m_bDamaged = true;
    }
}

bool PieceIsWhole(const CDataPiece& piece)
{
    return piece.m_bStart && (piece.m_bResident || piece.m_n64Covered >= piece.m_n64Vcns);
}

CFileState TallyState(const CClusterTally& tally)
{
    CFileState state;
    state.m_byFreePercent = FreePercent(tally);
    state.m_eState = state.m_byFreePercent == 100 ? eRowStateRecoverable
                     : state.m_byFreePercent == 0 ? eRowStateOverwritten
                                                  : eRowStatePartial;
    return state;
}

CFileState FileStateOf(bool bInUse, bool bDirectory, const CDataPiece& data, bool bMapUsable)
{
    CFileState state;
    if (bInUse)
        state.m_eState = eRowStateLive;
    else if (bDirectory || !data.m_bFound || (data.m_bStart && data.m_n64Size == 0 && !data.m_bDamaged))
        state.m_eState = eRowStateNoData;
    else if (data.m_bDamaged || !data.m_bStart)
        state.m_eState = eRowStateUnknown;
    else if (data.m_bResident)
        state = TallyState(CClusterTally());  // nothing on the disk that could be taken
    else if (bMapUsable)
        state = TallyState(data.m_tally);     // all sparse: nothing to take either
    if (!bDirectory && data.m_bStart)
    {
        state.m_bHasSize = true;
        state.m_n64Size = data.m_n64Size;
    }
    return state;
}

void CSpreadFiles::Clear()
{
    m_mapWaiting.clear();
    m_mapLoose.clear();
}

bool CSpreadFiles::Belongs(const CRecordHeader& base, const CLoosePiece& piece)
{
    // Freed with its base, or in use with it; of the sequence it names.
    const bool bFreed = !base.m_bInUse;
    return piece.m_bInUse == base.m_bInUse && SequenceFits(piece.m_wBaseSequence, base.m_wSequence, bFreed);
}

void CSpreadFiles::Join(CDataPiece& whole, const CDataPiece& piece)
{
    whole.m_bFound = whole.m_bFound || piece.m_bFound;
    whole.m_bDamaged = whole.m_bDamaged || piece.m_bDamaged;
    if (piece.m_bStart)
    {
        // Two starts: the pieces do not fit together.
        whole.m_bDamaged = whole.m_bDamaged || whole.m_bStart;
        whole.m_bStart = true;
        whole.m_bResident = piece.m_bResident;
        whole.m_n64Size = piece.m_n64Size;
        whole.m_n64Vcns = piece.m_n64Vcns;
    }
    whole.m_n64Covered += piece.m_n64Covered;
    whole.m_tally.Add(piece.m_tally);
}

CFileState CSpreadFiles::AddBase(DWORD dwRecord, const CRecordHeader& header, const CDataPiece& own,
                                 bool bMayHaveMore)
{
    CDataPiece whole = own;
    // Pieces met before their base; those of another file of the same number
    // are dropped. Most volumes have none: the maps are asked only when they
    // hold anything, which spares two lookups a record on the walk.
    if (!m_mapLoose.empty())
    {
        const auto range = m_mapLoose.equal_range(dwRecord);
        for (auto it = range.first; it != range.second; ++it)
            if (Belongs(header, it->second))
                Join(whole, it->second.m_piece);
        m_mapLoose.erase(range.first, range.second);
    }
    if (header.m_bDirectory || !bMayHaveMore || PieceIsWhole(whole))
    {
        if (!m_mapWaiting.empty())
            m_mapWaiting.erase(dwRecord);
        return FileStateOf(header.m_bInUse, header.m_bDirectory, whole, m_bMapUsable);
    }
    m_mapWaiting[dwRecord] = CWaiting{header, whole};
    CFileState state = FileStateOf(header.m_bInUse, false, whole, m_bMapUsable);
    if (!header.m_bInUse)
    {
        state.m_eState = eRowStateUnknown;
        state.m_byFreePercent = 0;
    }
    state.m_bPending = true;
    return state;
}

bool CSpreadFiles::AddExtension(const CRecordHeader& header, const CDataPiece& piece, DWORD& dwBase,
                                CFileState& state)
{
    const ULONGLONG n64Base = RefRecord(header.m_n64BaseRef);
    if (!piece.m_bFound || n64Base > 0xFFFFFFFFull)
        return false;
    CLoosePiece loose;
    loose.m_wBaseSequence = RefSequence(header.m_n64BaseRef);
    loose.m_bInUse = header.m_bInUse;
    loose.m_piece = piece;
    const auto it = m_mapWaiting.find(n64Base);
    if (it == m_mapWaiting.end())
    {
        if (m_mapLoose.size() < kMaxLoosePieces)
            m_mapLoose.emplace(n64Base, loose);
        return false;
    }
    if (!Belongs(it->second.m_header, loose))
        return false;
    Join(it->second.m_whole, piece);
    if (!PieceIsWhole(it->second.m_whole))
        return false;
    dwBase = static_cast<DWORD>(n64Base);
    state = FileStateOf(it->second.m_header.m_bInUse, false, it->second.m_whole, m_bMapUsable);
    m_mapWaiting.erase(it);
    return true;
}

}  // namespace ntfs
