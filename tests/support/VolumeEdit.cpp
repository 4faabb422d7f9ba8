#include "support/VolumeEdit.h"

#include "RecordEditor.h"

namespace salvix_test
{

namespace
{

const uint32_t kTypeFileName = 0x30;
const size_t kNameLength = 0x40, kName = 0x42, kNameFlags = 0x38;

// The resident $FILE_NAME values of a record, by offset.
bool FileNameValues(const std::vector<uint8_t>& vecRecord, std::vector<size_t>& vecValues)
{
    std::vector<RecordAttribute> vecAttributes;
    if (vecRecord.size() < 4 || vecRecord[0] != 'F' || !ParseAttributes(vecRecord, vecAttributes))
        return false;
    vecValues.clear();
    for (const RecordAttribute& attr : vecAttributes)
    {
        if (attr.dwType != kTypeFileName || attr.bNonResident || attr.bytes.size() < kResHeader)
            continue;
        const size_t nValue = GetLE(attr.bytes, kResValueOffset, 2);
        const size_t nLength = GetLE(attr.bytes, kResValueLength, 4);
        if (nValue <= attr.bytes.size() && nLength <= attr.bytes.size() - nValue && nLength >= kName)
            vecValues.push_back(attr.offset + nValue);
    }
    return true;
}

bool NameIs(const std::vector<uint8_t>& vecRecord, size_t nValue, const std::string& strName)
{
    const size_t nUnits = vecRecord[nValue + kNameLength];
    if (nUnits != strName.size() || kName + 2 * nUnits > vecRecord.size() - nValue)
        return false;
    for (size_t i = 0; i < nUnits; ++i)
        if (GetLE(vecRecord, nValue + kName + 2 * i, 2) != static_cast<unsigned char>(strName[i]))
            return false;
    return true;
}

}  // namespace

bool EditRecord(const std::string& strVolume, uint64_t n64Record, const RecordEdit& fnEdit)
{
    CVolumeImage volume;
    std::vector<uint8_t> vecRecord;
    std::vector<size_t> vecValues;
    return volume.Open(strVolume) && volume.ReadRecord(n64Record, vecRecord) &&
           FileNameValues(vecRecord, vecValues) && fnEdit(vecRecord, vecValues) &&
           volume.WriteRecord(n64Record, vecRecord);
}

bool EditRecordByName(const std::string& strVolume, const std::string& strName, const RecordEdit& fnEdit,
                      uint64_t* pn64Record)
{
    CVolumeImage volume;
    if (!volume.Open(strVolume))
        return false;
    std::vector<uint8_t> vecRecord;
    std::vector<size_t> vecValues;
    for (uint64_t n64Record = 0; n64Record < volume.RecordCount(); ++n64Record)
    {
        if (!volume.ReadRecord(n64Record, vecRecord) || !FileNameValues(vecRecord, vecValues))
            continue;
        bool bMatch = false;
        for (size_t nValue : vecValues)
            bMatch = bMatch || NameIs(vecRecord, nValue, strName);
        if (!bMatch)
            continue;
        if (pn64Record)
            *pn64Record = n64Record;
        return !fnEdit || (fnEdit(vecRecord, vecValues) && volume.WriteRecord(n64Record, vecRecord));
    }
    return false;
}

RecordEdit RenameTo(const std::u16string& strNewName)
{
    return [strNewName](std::vector<uint8_t>& vecRecord, const std::vector<size_t>& vecValues) {
        for (size_t nValue : vecValues)
        {
            const size_t nOldUnits = vecRecord[nValue + kNameLength];
            if (strNewName.size() > nOldUnits)
                return false;
            for (size_t i = 0; i < nOldUnits; ++i)
                PutLE(vecRecord, nValue + kName + 2 * i, 2, i < strNewName.size() ? strNewName[i] : 0);
            vecRecord[nValue + kNameLength] = static_cast<uint8_t>(strNewName.size());
        }
        return true;
    };
}

RecordEdit SetNameFlags(uint32_t dwFlags)
{
    return [dwFlags](std::vector<uint8_t>& vecRecord, const std::vector<size_t>& vecValues) {
        for (size_t nValue : vecValues)
            PutLE(vecRecord, nValue + kNameFlags, 4, dwFlags);
        return !vecValues.empty();
    };
}

RecordEdit MarkNonResident(uint32_t dwType)
{
    return [dwType](std::vector<uint8_t>& vecRecord, const std::vector<size_t>&) {
        std::vector<RecordAttribute> vecAttributes;
        if (!ParseAttributes(vecRecord, vecAttributes))
            return false;
        for (const RecordAttribute& attr : vecAttributes)
            if (attr.dwType == dwType)
            {
                vecRecord[attr.offset + kAttrNonResident] = 1;
                return true;
            }
        return false;
    };
}

}  // namespace salvix_test
