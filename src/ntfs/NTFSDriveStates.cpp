// The allocation map and the states of the records a walk examines.
#include "ntfs/NTFSDrive.h"

#include "ntfs/AttributeList.h"
#include "ntfs/FieldOffsets.h"

#include <algorithm>

using namespace ntfs;

namespace
{

const DWORD kBitmapRecord = 6;
// The map is read in pieces of this size, straight into place.
const size_t kBitmapPiece = 4u << 20;

}  // namespace

DWORD CNTFSDrive::LoadClusterBitmap(const std::atomic<BYTE>* pStop)
{
    ForgetClusterBitmap();
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    MFTEntryInfo info;
    MFTEntryDetails details;
    if (DWORD dwError = GetEntryDetails(kBitmapRecord, info, details))
        return dwError;
    if (info.bNotInUse || details.strName != "$Bitmap")
        return ERROR_FILE_NOT_FOUND;
    CEntryData data;
    if (DWORD dwError = OpenFileStream(kBitmapRecord, data))
        return dwError;
    if (m_volume.Geometry().m_n64Clusters == 0)
        return ERROR_INVALID_DATA;  // the boot sector does not say how many clusters there are
    if (DWORD dwError = m_bitmap.Reset(m_volume.Geometry().m_n64Clusters))
        return dwError;
    if (data.Size() < m_bitmap.ByteCount())
    {
        m_bitmap.Clear();
        return ERROR_INVALID_DATA;
    }
    data.SetStopFlag(pStop);
    for (size_t nDone = 0; nDone < m_bitmap.ByteCount();)
    {
        const size_t nPiece = std::min(kBitmapPiece, m_bitmap.ByteCount() - nDone);
        if (DWORD dwError = data.Read(nDone, m_bitmap.Bytes() + nDone, nPiece))
        {
            m_bitmap.Clear();
            return dwError;
        }
        nDone += nPiece;
    }
    // The boot sector's cluster is always in use: a map that says otherwise
    // is not this volume's.
    if (!m_bitmap.InUse(0))
    {
        m_bitmap.Clear();
        return ERROR_INVALID_DATA;
    }
    m_bitmap.SetUsable(true);
    m_spread.SetMapUsable(true);
    return 0;
}

void CNTFSDrive::ForgetClusterBitmap()
{
    m_bitmap.Clear();
    m_spread.Clear();
    m_spread.SetMapUsable(false);
    std::vector<CExtent>().swap(m_vecScratch);
}

bool CNTFSDrive::MayHaveMoreData(DWORD dwIndex, const CRecordDescription& desc) const
{
    if (!desc.m_bHasList)
        return false;
    // A list on the disk is not read during a walk: it may name anything.
    if (!desc.m_pAttrList)
        return true;
    std::vector<CAttrListEntry> vecEntries;
    if (ParseAttributeList(desc.m_pAttrList, desc.m_dwAttrListLength, vecEntries) != 0)
        return true;
    for (const CAttrListEntry& entry : vecEntries)
        if (entry.m_dwType == kTypeData && entry.m_dwNameUnits == 0 && RefRecord(entry.m_n64Reference) != dwIndex)
            return true;
    return false;
}

void CNTFSDrive::FillFileState(DWORD dwIndex, const CRecordDescription& desc, MFTEntryDetails& details)
{
    CDataPiece piece;
    ReadDataPiece(m_pRecord.get(), m_dwRecordSize, desc, m_dwClusterSize, &m_bitmap, m_vecScratch, piece);
    details.dwCompletedRecord = 0;
    details.completedState = CFileState();
    if (desc.m_header.m_n64BaseRef == 0)
    {
        details.state = m_spread.AddBase(dwIndex, desc.m_header, piece, MayHaveMoreData(dwIndex, desc));
        return;
    }
    // An extension record: its own row says what its piece holds, without a size.
    details.state = CFileState();
    if (desc.m_header.m_bInUse)
        details.state.m_eState = eRowStateLive;
    else if (!piece.m_bFound)
        details.state.m_eState = eRowStateNoData;
    else if (m_bitmap.Usable() && !piece.m_bDamaged)
        details.state = TallyState(piece.m_tally);
    m_spread.AddExtension(desc.m_header, piece, details.dwCompletedRecord, details.completedState);
}
