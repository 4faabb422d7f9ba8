// The volume's label: the $VOLUME_NAME attribute of record 3 ($Volume),
// UTF-16LE as stored, resident, at most 32 characters as NTFS writes it.
#pragma once

#include "platform/Win32.h"

#include <string>

class CNTFSDrive;

// The label in the record image at pRecord (dwSize bytes, its update sequence
// applied), as UTF-8: 0 and the label, empty when the record holds no
// $VOLUME_NAME or an empty one; ERROR_FILE_CORRUPT for a record that is not
// one ("FILE" missing, its attributes do not fit) or a label that does not fit.
DWORD ParseVolumeName(const BYTE* pRecord, DWORD dwSize, std::string& strLabel);

// The label of the open volume, from its record 3; GetRecordImage's codes
// when the record cannot be had.
DWORD ReadVolumeLabel(CNTFSDrive& drive, std::string& strLabel);
