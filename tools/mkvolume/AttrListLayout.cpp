// The attrlist layout: fragmented files whose $DATA is then split by hand
// into extents in extension records, named by an attribute list in the
// base record; some sound, some damaged on purpose. The library never
// splits $DATA of files this small, so the records are edited in the image
// after the library has closed the volume.
#include "Layouts.h"

#include "Filler.h"
#include "RecordEditor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{
enum class Damage
{
    None,
    BackReference,  // the extension record names another base record
    Sequence,       // the extension record's sequence number moved on
    Unused,         // the extension record is not in use
    Beyond,         // the list names a record past the table's end
    Loop,           // the list names the $DATA extents twice over
};

struct SplitPlan
{
    const char* pszName;  // under /Lists, and the key after "attrlist."
    int nExtents;
    Damage damage;
    bool bNonResidentList;
    const char* pszOther;  // for BackReference: whose base record to name
};

const SplitPlan kPlans[] = {
    {"split2.bin", 2, Damage::None, false, nullptr},
    {"split3.bin", 3, Damage::None, false, nullptr},
    {"nonresident_list.bin", 3, Damage::None, true, nullptr},
    {"bad_backref.bin", 2, Damage::BackReference, false, "split2.bin"},
    {"bad_sequence.bin", 2, Damage::Sequence, false, nullptr},
    {"bad_unused.bin", 2, Damage::Unused, false, nullptr},
    {"bad_beyond.bin", 2, Damage::Beyond, false, nullptr},
    {"bad_loop.bin", 2, Damage::Loop, false, nullptr},
};

const int kChunks = 24;
// Files of 24 pieces of 16 KiB: several clusters each even at 64 KiB a cluster.
const size_t kChunk = 16384;
const uint64_t kBeyondTable = 1000;
// Attribute list entry.
const size_t kListLength = 0x04, kListNameLength = 0x06, kListNameOffset = 0x07, kListLowestVcn = 0x08,
             kListReference = 0x10, kListInstance = 0x18, kListEntryHeader = 0x1A;

std::string KeyOf(const char* pszName)
{
    std::string str = pszName;
    return "attrlist." + str.substr(0, str.find('.'));
}

uint64_t Reference(uint64_t n64Record, uint16_t wSequence)
{
    return n64Record | (static_cast<uint64_t>(wSequence) << 48);
}

struct ListEntry
{
    uint32_t dwType;
    uint64_t n64LowestVcn;
    uint64_t n64Reference;
    uint16_t wInstance;
    std::vector<uint8_t> name;  // UTF-16LE bytes
};

std::vector<uint8_t> ListBytes(const std::vector<ListEntry>& entries)
{
    std::vector<uint8_t> out;
    for (const ListEntry& e : entries)
    {
        size_t pos = out.size();
        size_t len = (kListEntryHeader + e.name.size() + 7) & ~static_cast<size_t>(7);
        out.resize(pos + len, 0);
        PutLE(out, pos, 4, e.dwType);
        PutLE(out, pos + kListLength, 2, len);
        out[pos + kListNameLength] = static_cast<uint8_t>(e.name.size() / 2);
        out[pos + kListNameOffset] = static_cast<uint8_t>(kListEntryHeader);
        PutLE(out, pos + kListLowestVcn, 8, e.n64LowestVcn);
        PutLE(out, pos + kListReference, 8, e.n64Reference);
        PutLE(out, pos + kListInstance, 2, e.wInstance);
        std::copy(e.name.begin(), e.name.end(), out.begin() + static_cast<long>(pos + kListEntryHeader));
    }
    return out;
}

// One file's $DATA, split: runs grouped into extents.
struct SplitData
{
    NonResidentFields first;               // as stored, in the base record
    std::vector<std::vector<DataRun>> groups;
    std::vector<uint64_t> firstVcns;     // of each group
    uint64_t n64LastVcn = 0;
};

bool PlanExtents(const RecordAttribute& data, int nExtents, SplitData& split)
{
    const std::vector<uint8_t>& a = data.bytes;
    std::vector<DataRun> runs;
    if (a.size() < kNonResHeader || a[kAttrNameLength] != 0 ||
        !DecodeRuns(a, GetLE(a, kNonResRunsOffset, 2), a.size(), runs))
        return false;
    NonResidentFields& s = split.first;
    s.dwType = kTypeData;
    s.wFlags = static_cast<uint16_t>(GetLE(a, kAttrFlags, 2));
    s.wInstance = data.wInstance;
    s.byCompressionUnit = a[kNonResCompressionUnit];
    s.n64Allocated = GetLE(a, kNonResAllocated, 8);
    s.n64DataSize = GetLE(a, kNonResDataSize, 8);
    s.n64Initialized = GetLE(a, kNonResInitialized, 8);
    s.n64Compressed = a.size() >= kNonResHeaderCompressed ? GetLE(a, kNonResCompressed, 8) : 0;
    split.n64LastVcn = GetLE(a, kNonResHighestVcn, 8);
    // Extents of about equal length, cut at whatever VCN that falls on:
    // a run may end one extent and go on in the next.
    uint64_t n64Total = 0;
    for (const DataRun& run : runs)
        n64Total += run.n64Length;
    if (n64Total < static_cast<uint64_t>(nExtents) || n64Total != split.n64LastVcn + 1)
        return false;
    const uint64_t n64Extents = static_cast<uint64_t>(nExtents);
    auto start = [&](uint64_t n64Group) { return n64Total * n64Group / n64Extents; };
    uint64_t n64Vcn = 0;
    for (DataRun run : runs)
    {
        while (run.n64Length > 0)
        {
            if (split.groups.size() < n64Extents && n64Vcn == start(split.groups.size()))
            {
                split.groups.emplace_back();
                split.firstVcns.push_back(n64Vcn);
            }
            uint64_t n64Take = std::min(run.n64Length, start(split.groups.size()) - n64Vcn);
            split.groups.back().push_back({n64Take, run.n64Lcn});
            n64Vcn += n64Take;
            run.n64Length -= n64Take;
            if (run.n64Lcn >= 0)
                run.n64Lcn += static_cast<int64_t>(n64Take);
        }
    }
    return true;
}

NonResidentFields ExtentFields(const SplitData& split, size_t i, uint16_t wInstance)
{
    NonResidentFields s = split.first;
    s.wInstance = wInstance;
    s.runs = split.groups[i];
    s.n64LowestVcn = split.firstVcns[i];
    s.n64HighestVcn = i + 1 < split.groups.size() ? split.firstVcns[i + 1] - 1 : split.n64LastVcn;
    if (i > 0)
        s.n64Allocated = s.n64DataSize = s.n64Initialized = s.n64Compressed = 0;
    return s;
}

class CSplitter
{
public:
    CSplitter(CVolumeImage& image, CManifest& manifest) : m_image(image), m_manifest(manifest) {}
    bool Split(const SplitPlan& plan);

private:
    bool TakeExtensions(const SplitPlan& plan, size_t nCount);
    bool WriteExtensions(const SplitPlan& plan, const SplitData& split, uint64_t n64BaseRef);
    bool ListEntries(const SplitPlan& plan, const std::vector<RecordAttribute>& attributes,
                     uint64_t n64BaseRef, const SplitData& split, std::vector<ListEntry>& entries);
    bool ListAttribute(const SplitPlan& plan, const std::vector<uint8_t>& list, uint16_t wInstance,
                       std::vector<uint8_t>& attribute);

    CVolumeImage& m_image;
    CManifest& m_manifest;
    std::vector<uint64_t> m_vecExtensions;
    std::vector<uint16_t> m_vecSequences;
};

bool CSplitter::TakeExtensions(const SplitPlan& plan, size_t nCount)
{
    m_vecExtensions.clear();
    m_vecSequences.clear();
    for (size_t i = 0; i < nCount; ++i)
    {
        uint64_t n64Record = 0;
        std::vector<uint8_t> old;
        if (plan.damage == Damage::Beyond)
            n64Record = m_image.RecordCount() + kBeyondTable;
        else if (!m_image.TakeFreeRecord(n64Record) || !m_image.ReadRecord(n64Record, old))
            return false;
        // A freed record keeps the sequence number its next user gets.
        uint16_t wSequence = 1;
        if (!old.empty() && memcmp(old.data(), "FILE", 4) == 0 && GetLE(old, kRecSequence, 2) != 0)
            wSequence = static_cast<uint16_t>(GetLE(old, kRecSequence, 2));
        m_vecExtensions.push_back(n64Record);
        m_vecSequences.push_back(wSequence);
        m_manifest.Add(KeyOf(plan.pszName) + ".ext" + std::to_string(i + 1), n64Record,
                       std::string("extension record of /Lists/") + plan.pszName);
    }
    return true;
}

bool CSplitter::WriteExtensions(const SplitPlan& plan, const SplitData& split, uint64_t n64BaseRef)
{
    if (plan.damage == Damage::Beyond)
        return true;  // nothing is there to write
    if (plan.damage == Damage::BackReference)
    {
        std::vector<uint8_t> other;
        int64_t n64Other = m_manifest.RecordOf(KeyOf(plan.pszOther));
        if (n64Other < 0 || !m_image.ReadRecord(static_cast<uint64_t>(n64Other), other))
            return false;
        n64BaseRef = Reference(static_cast<uint64_t>(n64Other), static_cast<uint16_t>(GetLE(other, kRecSequence, 2)));
    }
    for (size_t i = 0; i < m_vecExtensions.size(); ++i)
    {
        uint16_t wSequence = m_vecSequences[i];
        if (plan.damage == Damage::Sequence)
            ++wSequence;
        std::vector<uint8_t> ext = NewRecord(m_image.RecordSize(), m_vecExtensions[i], wSequence, n64BaseRef);
        if (!PutAttributes(ext, {BuildNonResident(ExtentFields(split, i + 1, 0))}))
            return false;
        PutLE(ext, kRecNextInstance, 2, 1);
        if (plan.damage == Damage::Unused)
            PutLE(ext, kRecFlags, 2, 0);
        if (!m_image.WriteRecord(m_vecExtensions[i], ext) ||
            (plan.damage != Damage::Unused && !m_image.SetRecordBit(m_vecExtensions[i], true)))
            return false;
    }
    return true;
}

bool CSplitter::ListAttribute(const SplitPlan& plan, const std::vector<uint8_t>& list, uint16_t wInstance,
                              std::vector<uint8_t>& attribute)
{
    if (!plan.bNonResidentList)
    {
        attribute = BuildResident(kTypeAttributeList, wInstance, list);
        return true;
    }
    // In a cluster of its own that the volume's bitmap marks used.
    uint64_t n64Lcn = 0;
    if (list.size() > m_image.ClusterSize() || !m_image.AllocateCluster(n64Lcn) || !m_image.WriteCluster(n64Lcn, list))
        return false;
    NonResidentFields fields;
    fields.dwType = kTypeAttributeList;
    fields.wInstance = wInstance;
    fields.runs = {{1, static_cast<int64_t>(n64Lcn)}};
    fields.n64Allocated = m_image.ClusterSize();
    fields.n64DataSize = fields.n64Initialized = list.size();
    attribute = BuildNonResident(fields);
    m_manifest.Comment(KeyOf(plan.pszName) + ": attribute list in cluster " + std::to_string(n64Lcn));
    return true;
}

// Every attribute of the file, wherever it now lies, in type order.
bool CSplitter::ListEntries(const SplitPlan& plan, const std::vector<RecordAttribute>& attributes,
                            uint64_t n64BaseRef, const SplitData& split, std::vector<ListEntry>& entries)
{
    for (const RecordAttribute& a : attributes)
    {
        size_t nNameOff = GetLE(a.bytes, kAttrNameOffset, 2), cbName = 2 * static_cast<size_t>(a.bytes[kAttrNameLength]);
        if (nNameOff > a.bytes.size() || cbName > a.bytes.size() - nNameOff)
            return false;
        entries.push_back({a.dwType, a.n64LowestVcn, n64BaseRef, a.wInstance,
                           std::vector<uint8_t>(a.bytes.begin() + static_cast<long>(nNameOff),
                                                a.bytes.begin() + static_cast<long>(nNameOff + cbName))});
    }
    for (size_t i = 0; i < m_vecExtensions.size(); ++i)
        entries.push_back({kTypeData, split.firstVcns[i + 1], Reference(m_vecExtensions[i], m_vecSequences[i]), 0, {}});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ListEntry& a, const ListEntry& b) { return a.dwType < b.dwType; });
    if (plan.damage == Damage::Loop)
    {
        // The $DATA entries once more after the last one, from VCN 0 again.
        std::vector<ListEntry> again(entries.end() - static_cast<long>(split.groups.size()), entries.end());
        entries.insert(entries.end(), again.begin(), again.end());
    }
    return true;
}

bool CSplitter::Split(const SplitPlan& plan)
{
    int64_t n64Base = m_manifest.RecordOf(KeyOf(plan.pszName));
    std::vector<uint8_t> record;
    std::vector<RecordAttribute> attributes;
    if (n64Base < 0 || !m_image.ReadRecord(static_cast<uint64_t>(n64Base), record) ||
        !ParseAttributes(record, attributes))
        return false;
    const uint64_t n64BaseRef = Reference(static_cast<uint64_t>(n64Base), static_cast<uint16_t>(GetLE(record, kRecSequence, 2)));
    auto itData = std::find_if(attributes.begin(), attributes.end(), [](const RecordAttribute& a) {
        return a.dwType == kTypeData && a.bNonResident && a.bytes[kAttrNameLength] == 0;
    });
    SplitData split;
    if (itData == attributes.end() || !PlanExtents(*itData, plan.nExtents, split) ||
        !TakeExtensions(plan, split.groups.size() - 1))
        return false;
    itData->bytes = BuildNonResident(ExtentFields(split, 0, itData->wInstance));

    std::vector<ListEntry> entries;
    if (!ListEntries(plan, attributes, n64BaseRef, split, entries))
        return false;
    uint16_t wListInstance = static_cast<uint16_t>(GetLE(record, kRecNextInstance, 2));
    std::vector<uint8_t> list;
    if (!ListAttribute(plan, ListBytes(entries), wListInstance, list))
        return false;
    // The list goes where its type puts it: after $STANDARD_INFORMATION.
    std::vector<std::vector<uint8_t>> laidOut;
    bool bPlaced = false;
    for (const RecordAttribute& a : attributes)
    {
        if (!bPlaced && a.dwType > kTypeAttributeList)
        {
            laidOut.push_back(list);
            bPlaced = true;
        }
        laidOut.push_back(a.bytes);
    }
    PutLE(record, kRecNextInstance, 2, wListInstance + 1u);
    return PutAttributes(record, laidOut) && m_image.WriteRecord(static_cast<uint64_t>(n64Base), record) &&
           WriteExtensions(plan, split, n64BaseRef);
}
}  // namespace

bool FillAttrListVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    f.Dir("/Lists");
    // In pairs, a chunk at a time in turns: runs of a few clusters each.
    for (size_t i = 0; i + 1 < sizeof(kPlans) / sizeof(kPlans[0]); i += 2)
        f.Interleaved(std::string("/Lists/") + kPlans[i].pszName, std::string("/Lists/") + kPlans[i + 1].pszName,
                      kChunk, kChunks);
    for (const SplitPlan& plan : kPlans)
    {
        std::string strPath = std::string("/Lists/") + plan.pszName;
        if (plan.damage == Damage::None)
            f.Note(KeyOf(plan.pszName), strPath);
        else if (writer.RecordOf(strPath) >= 0)
            manifest.Add(KeyOf(plan.pszName), static_cast<uint64_t>(writer.RecordOf(strPath)), strPath);
    }
    // Free records for the extension records: made and deleted again.
    f.Dir("/Spare");
    for (int i = 0; i < 16; ++i)
        f.Text("/Spare/spare_" + std::to_string(i) + ".txt", 20);
    for (int i = 0; i < 16; ++i)
        f.Delete("/Spare/spare_" + std::to_string(i) + ".txt");
    return f.Ok();
}

bool EditAttrListVolume(const std::string& strVolume, CManifest& manifest)
{
    CVolumeImage image;
    if (!image.Open(strVolume))
    {
        fprintf(stderr, "salvix_mkvolume: cannot read the records of %s\n", strVolume.c_str());
        return false;
    }
    CSplitter splitter(image, manifest);
    for (const SplitPlan& plan : kPlans)
        if (!splitter.Split(plan))
        {
            fprintf(stderr, "salvix_mkvolume: cannot split /Lists/%s\n", plan.pszName);
            return false;
        }
    return true;
}
