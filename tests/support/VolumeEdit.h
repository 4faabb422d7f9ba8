// Edits the file records of a bare NTFS volume image in place, for cases no
// tool writes (names, flags, one damaged byte), through the volume tools'
// record access, which undoes and redoes each record's update sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace salvix_test
{

// Gets a record with its update sequence undone and the offsets of the
// values of its resident $FILE_NAME attributes; false when it cannot do its edit.
using RecordEdit = std::function<bool(std::vector<uint8_t>& vecRecord, const std::vector<size_t>& vecFileNames)>;

bool EditRecord(const std::string& strVolume, uint64_t n64Record, const RecordEdit& fnEdit);
// Edits the first record whose $FILE_NAME holds strName (Latin-1 bytes);
// its number goes to *pn64Record. An empty edit only finds the record.
bool EditRecordByName(const std::string& strVolume, const std::string& strName, const RecordEdit& fnEdit,
                      uint64_t* pn64Record = nullptr);

// Every $FILE_NAME gets these UTF-16 units as its name and the rest of the
// old name is cleared; a new name longer than the old one fails the edit.
RecordEdit RenameTo(const std::u16string& strNewName);
// Every $FILE_NAME gets these flags (FILE_ATTRIBUTE_* and the like).
RecordEdit SetNameFlags(uint32_t dwFlags);
// Sets the non-resident flag in the header of the first attribute of dwType,
// as one damaged byte on a disk would.
RecordEdit MarkNonResident(uint32_t dwType);

}  // namespace salvix_test
