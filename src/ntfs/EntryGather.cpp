// Opening a record's data: where the bytes of its $DATA streams lie, from the
// base record and, through its attribute list, from the extension records,
// checked to fit together before anything is read.
#include "ntfs/EntryData.h"

#include "ntfs/AttributeList.h"
#include "ntfs/FieldOffsets.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace ntfs;

namespace
{

// One extent of a stream as one attribute holds it.
struct CPiece
{
    CAttribute m_attr;             // sizes and flags count in the piece at VCN 0
    ULONGLONG m_n64FirstVcn = 0;
    ULONGLONG m_n64EndVcn = 0;     // one past its last cluster
    std::vector<CExtent> m_vecExtents;
    std::vector<BYTE> m_vecValue;  // resident
};

struct CStreamBuild
{
    std::vector<WORD> m_vecName;
    std::vector<CPiece> m_vecPieces;
};

std::vector<WORD> NameUnits(const BYTE* pUnits, DWORD dwUnits)
{
    std::vector<WORD> vec(pUnits ? dwUnits : 0);
    for (size_t i = 0; i < vec.size(); ++i)
        vec[i] = ReadLE16(pUnits + 2 * i);
    return vec;
}

std::vector<WORD> AttributeNameUnits(const BYTE* pAttr, const CAttribute& attr)
{
    const BYTE* pUnits = nullptr;
    DWORD dwUnits = 0;
    AttributeName(pAttr, attr, pUnits, dwUnits);
    return NameUnits(pUnits, dwUnits);
}

}  // namespace

class CEntryGather
{
public:
    CEntryGather(CEntryData& data, IRecordSource& source, ULONGLONG n64Record, CEntryData::EStreams eStreams)
        : m_data(data), m_source(source), m_n64Record(n64Record), m_eStreams(eStreams),
          m_dwClusterSize(data.m_reader.ClusterSize())
    {
    }
    DWORD Run();

private:
    DWORD FromRecord();
    DWORD FromList(const BYTE* pAttr, const CAttribute& attr);
    DWORD AddListed(const CAttrListEntry& entry);
    DWORD RecordFor(ULONGLONG n64Reference, const BYTE*& pRecord, DWORD& dwFirstAttr);
    DWORD LoadExtension(ULONGLONG n64Record, WORD wSequence, DWORD& dwFirstAttr);
    bool FindPiece(const BYTE* pRecord, DWORD dwFirstAttr, const CAttrListEntry& entry,
                   const std::vector<WORD>& vecName, CAttribute& attr, const BYTE*& pAttr) const;
    DWORD TakePiece(const BYTE* pAttr, const CAttribute& attr, CPiece& piece);
    DWORD Join(CStreamBuild& build, CEntryStream& stream) const;
    DWORD JoinError() const { return m_bList ? ERROR_FILE_CORRUPT : ERROR_INVALID_PARAMETER; }
    // Named streams are passed over when only the file's own bytes are asked for.
    bool Wanted(const std::vector<WORD>& vecName) const
    {
        return vecName.empty() || m_eStreams == CEntryData::EStreams::eAll;
    }

    CEntryData& m_data;
    IRecordSource& m_source;
    const ULONGLONG m_n64Record;
    const CEntryData::EStreams m_eStreams;
    const DWORD m_dwClusterSize;
    DWORD m_dwRecordSize = 0;
    std::unique_ptr<BYTE[]> m_pBase;
    CRecordHeader m_base;
    std::unique_ptr<BYTE[]> m_pExtension;
    ULONGLONG m_n64Extension = ~0ull;  // the record m_pExtension holds
    bool m_bList = false;
    size_t m_nExtents = 0;
    size_t m_nResidentBytes = 0;
    std::vector<CStreamBuild> m_vecBuilds;
};

DWORD CEntryGather::Run()
{
    m_dwRecordSize = m_source.RecordSize();
    if (m_dwClusterSize == 0 || m_dwRecordSize < kRecordFullHeaderSize || m_dwRecordSize > (1u << 20))
        return ERROR_INVALID_PARAMETER;
    m_pBase.reset(AllocBytes(m_dwRecordSize));
    if (!m_pBase)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (DWORD dwError = m_source.ReadRecord(m_n64Record, m_pBase.get()))
        return dwError;
    if (DWORD dwError = ParseRecordHeader(m_pBase.get(), m_dwRecordSize, m_base))
        return dwError;

    CAttributeWalk walk(m_pBase.get(), m_dwRecordSize, m_base.m_dwFirstAttr);
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    while (walk.Next(attr, pAttr))
        if (attr.m_dwType == kTypeAttributeList)
        {
            m_bList = true;
            break;
        }
    DWORD dwError = m_bList ? FromList(pAttr, attr) : FromRecord();
    if (dwError != 0)
        return dwError;

    std::vector<CEntryStream>& vecStreams = m_data.m_vecStreams;
    vecStreams.resize(m_vecBuilds.size());
    ULONGLONG n64Start = 0;
    for (size_t i = 0; i < m_vecBuilds.size(); ++i)
    {
        if ((dwError = Join(m_vecBuilds[i], vecStreams[i])) != 0)
            return dwError;
        if (vecStreams[i].m_n64Size > ~0ull - n64Start)
            return ERROR_INVALID_PARAMETER;
        vecStreams[i].m_n64Start = n64Start;
        n64Start += vecStreams[i].m_n64Size;
    }
    m_data.m_n64Size = n64Start;
    return 0;
}

// Without a list: the record's own $DATA attributes, each a stream.
DWORD CEntryGather::FromRecord()
{
    CAttributeWalk walk(m_pBase.get(), m_dwRecordSize, m_base.m_dwFirstAttr);
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    while (walk.Next(attr, pAttr))
    {
        if (attr.m_dwType != kTypeData)
            continue;
        CStreamBuild build;
        build.m_vecName = AttributeNameUnits(pAttr, attr);
        if (!Wanted(build.m_vecName))
            continue;
        build.m_vecPieces.emplace_back();
        if (DWORD dwError = TakePiece(pAttr, attr, build.m_vecPieces.back()))
            return dwError;
        m_vecBuilds.push_back(std::move(build));
    }
    // A $DATA header cut off by damage hides data: never a file with a hole.
    return walk.DamagedType() == kTypeData ? ERROR_INVALID_PARAMETER : 0;
}

// With a list: the $DATA extents it names, streams in the order first named.
DWORD CEntryGather::FromList(const BYTE* pAttr, const CAttribute& attr)
{
    std::vector<BYTE> vecList;
    if (DWORD dwError = ReadAttributeListValue(pAttr, attr, m_data.m_reader, vecList))
        return dwError;
    std::vector<CAttrListEntry> vecEntries;
    if (DWORD dwError = ParseAttributeList(vecList.data(), vecList.size(), vecEntries))
        return dwError;
    // A piece named twice starts at a VCN already joined: Join refuses it.
    for (const CAttrListEntry& entry : vecEntries)
    {
        if (entry.m_dwType != kTypeData)
            continue;
        if (DWORD dwError = AddListed(entry))
            return dwError;
    }
    return 0;
}

DWORD CEntryGather::AddListed(const CAttrListEntry& entry)
{
    std::vector<WORD> vecName = NameUnits(entry.m_pName, entry.m_dwNameUnits);
    if (!Wanted(vecName))
        return 0;
    auto it = std::find_if(m_vecBuilds.begin(), m_vecBuilds.end(),
                           [&](const CStreamBuild& build) { return build.m_vecName == vecName; });
    if (it == m_vecBuilds.end())
    {
        m_vecBuilds.emplace_back();
        m_vecBuilds.back().m_vecName = vecName;
        it = m_vecBuilds.end() - 1;
    }
    const BYTE* pRecord = nullptr;
    DWORD dwFirstAttr = 0;
    if (DWORD dwError = RecordFor(entry.m_n64Reference, pRecord, dwFirstAttr))
        return dwError;
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    if (!FindPiece(pRecord, dwFirstAttr, entry, vecName, attr, pAttr))
        return ERROR_FILE_CORRUPT;
    it->m_vecPieces.emplace_back();
    return TakePiece(pAttr, attr, it->m_vecPieces.back());
}

DWORD CEntryGather::RecordFor(ULONGLONG n64Reference, const BYTE*& pRecord, DWORD& dwFirstAttr)
{
    const ULONGLONG n64Record = RefRecord(n64Reference);
    const WORD wSequence = RefSequence(n64Reference);
    if (n64Record == m_n64Record)
    {
        if (!SequenceFits(wSequence, m_base.m_wSequence, !m_base.m_bInUse))
            return ERROR_FILE_CORRUPT;
        pRecord = m_pBase.get();
        dwFirstAttr = m_base.m_dwFirstAttr;
        return 0;
    }
    if (DWORD dwError = LoadExtension(n64Record, wSequence, dwFirstAttr))
        return dwError;
    pRecord = m_pExtension.get();
    return 0;
}

DWORD CEntryGather::LoadExtension(ULONGLONG n64Record, WORD wSequence, DWORD& dwFirstAttr)
{
    if (n64Record != m_n64Extension)
    {
        if (!m_pExtension)
            m_pExtension.reset(AllocBytes(m_dwRecordSize));
        if (!m_pExtension)
            return ERROR_NOT_ENOUGH_MEMORY;
        m_n64Extension = ~0ull;
        DWORD dwError = m_source.ReadRecord(n64Record, m_pExtension.get());
        if (dwError == ERROR_NO_MORE_FILES)
            return ERROR_FILE_CORRUPT;  // named by the list, yet past the table
        if (dwError != 0)
            return dwError;
        m_n64Extension = n64Record;
    }
    CRecordHeader header;
    if (ParseRecordHeader(m_pExtension.get(), m_dwRecordSize, header) != 0 ||
        !ExtensionBelongs(m_n64Record, m_base, n64Record | (static_cast<ULONGLONG>(wSequence) << 48), header))
        return ERROR_FILE_CORRUPT;
    dwFirstAttr = header.m_dwFirstAttr;
    return 0;
}

bool CEntryGather::FindPiece(const BYTE* pRecord, DWORD dwFirstAttr, const CAttrListEntry& entry,
                             const std::vector<WORD>& vecName, CAttribute& attrFound,
                             const BYTE*& pFound) const
{
    CAttributeWalk walk(pRecord, m_dwRecordSize, dwFirstAttr);
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    bool bFound = false;
    while (walk.Next(attr, pAttr))
    {
        const ULONGLONG n64FirstVcn = attr.m_bNonResident ? attr.m_n64FirstVcn : 0;
        if (attr.m_dwType != kTypeData || n64FirstVcn != entry.m_n64FirstVcn ||
            AttributeNameUnits(pAttr, attr) != vecName)
            continue;
        // Type, name and VCN name the piece; the id settles a tie.
        if (!bFound || (attrFound.m_wId != entry.m_wAttrId && attr.m_wId == entry.m_wAttrId))
        {
            attrFound = attr;
            pFound = pAttr;
            bFound = true;
        }
    }
    return bFound;
}

DWORD CEntryGather::TakePiece(const BYTE* pAttr, const CAttribute& attr, CPiece& piece)
{
    if (!attr.m_bSound)
        return ERROR_INVALID_PARAMETER;
    piece.m_attr = attr;
    if (!attr.m_bNonResident)
    {
        const BYTE* pValue = nullptr;
        DWORD dwLength = 0;
        ResidentValue(pAttr, attr, pValue, dwLength);
        m_nResidentBytes += dwLength;
        if (m_nResidentBytes > CEntryData::kMaxResidentBytes)
            return ERROR_FILE_TOO_LARGE;
        piece.m_vecValue.assign(pValue, pValue + dwLength);
        return 0;
    }
    const BYTE* pList = nullptr;
    DWORD dwList = 0;
    if (!RunListBytes(pAttr, attr, pList, dwList) ||
        DecodeRunList(pList, dwList, attr.m_n64FirstVcn, piece.m_vecExtents) != 0)
        return ERROR_INVALID_PARAMETER;
    // Clusters past the volume's end are not this file's, whatever lies there.
    if (!m_data.m_reader.InsideVolume(piece.m_vecExtents))
        return ERROR_DISK_CORRUPT;
    piece.m_n64FirstVcn = attr.m_n64FirstVcn;
    piece.m_n64EndVcn = attr.m_n64FirstVcn;
    // The runs, not the header's last VCN, say where the extent ends: the
    // joins below then check what will actually be read.
    if (!piece.m_vecExtents.empty())
        piece.m_n64EndVcn = piece.m_vecExtents.back().m_n64Vcn + piece.m_vecExtents.back().m_n64Clusters;
    m_nExtents += piece.m_vecExtents.size();
    return m_nExtents > CEntryData::kMaxExtents ? ERROR_FILE_TOO_LARGE : 0;
}

DWORD CEntryGather::Join(CStreamBuild& build, CEntryStream& stream) const
{
    std::vector<CPiece>& vecPieces = build.m_vecPieces;
    std::stable_sort(vecPieces.begin(), vecPieces.end(), [](const CPiece& a, const CPiece& b) {
        return a.m_n64FirstVcn < b.m_n64FirstVcn;
    });
    stream.m_vecName = std::move(build.m_vecName);
    CPiece& head = vecPieces.front();
    if (!head.m_attr.m_bNonResident)
    {
        if (vecPieces.size() > 1)
            return JoinError();
        stream.m_bResident = true;
        stream.m_vecValue = std::move(head.m_vecValue);
        stream.m_n64Size = stream.m_n64Initialized = stream.m_vecValue.size();
        return 0;
    }
    // An extension record read as it stands holds a later extent of a stream
    // whose sizes are in the base record: nothing of it is this record's data.
    if (head.m_n64FirstVcn != 0 && !m_bList && head.m_attr.m_n64RealSize == 0)
        return 0;
    ULONGLONG n64Vcn = 0;
    for (CPiece& piece : vecPieces)
    {
        if (!piece.m_attr.m_bNonResident || piece.m_n64FirstVcn != n64Vcn)
            return JoinError();  // a gap, an overlap or a piece at one VCN twice
        stream.m_vecExtents.insert(stream.m_vecExtents.end(), piece.m_vecExtents.begin(),
                                   piece.m_vecExtents.end());
        n64Vcn = piece.m_n64EndVcn;
    }
    const CAttribute& attr = head.m_attr;
    if (attr.m_n64RealSize > attr.m_n64AllocatedSize || n64Vcn > attr.m_n64AllocatedSize / m_dwClusterSize)
        return ERROR_INVALID_PARAMETER;
    if (n64Vcn * m_dwClusterSize < attr.m_n64RealSize)
        return JoinError();  // the runs stop short of the value
    if (attr.m_wFlags & kAttrFlagCompressed)
    {
        const WORD wLog = attr.m_wCompressionUnit;
        // Unit positions are counted in bytes: the last unit must end in 64 bits.
        if (wLog == 0 || wLog > kMaxCompressionUnitLog ||
            (static_cast<ULONGLONG>(m_dwClusterSize) << wLog) > CEntryData::kMaxUnitBytes ||
            n64Vcn > (~0ull - CEntryData::kMaxUnitBytes) / m_dwClusterSize)
            return ERROR_INVALID_PARAMETER;
        stream.m_dwUnitClusters = 1u << wLog;
    }
    stream.m_n64Vcns = n64Vcn;
    stream.m_n64Size = attr.m_n64RealSize;
    stream.m_n64Initialized = std::min(attr.m_n64InitializedSize, attr.m_n64RealSize);
    return 0;
}

DWORD CEntryData::Open(IRecordSource& source, const CExtentReader& reader, ULONGLONG n64Record, EStreams eStreams)
{
    Close();
    m_reader = reader;
    m_reader.SetStopFlag(m_pStop);
    CEntryGather gather(*this, source, n64Record, eStreams);
    const DWORD dwError = gather.Run();
    if (dwError != 0)
    {
        Close();
        return dwError;
    }
    BuildParts();
    m_bOpen = true;
    return 0;
}
