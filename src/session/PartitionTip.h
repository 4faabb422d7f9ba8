// What a partition's item in the tree tells when the pointer rests on it:
// its size, from the partition table, and its volume's label, read from the
// volume itself through its file system. The item's own text stays the
// type and number ("NTFS Drive 0").
#pragma once

#include "session/ScanSession.h"

#include <string>

// The partition's length in bytes: its sector count in the disk's sectors.
ULONGLONG PartitionBytes(const PartitionRecord& partition);

// The label of the volume on the partition, read through a handle of its own
// (a scan may be reading through the session's): a few small reads. 0 and
// the label, empty when the volume has none; ERROR_NOT_SUPPORTED where the
// partition's file system is not one whose label is read; else the code of
// the read or parse that failed.
DWORD ReadPartitionLabel(const CScanTarget& target, std::string& strLabel);

// The tip's text, UTF-8, from the size and what ReadPartitionLabel gave.
std::string PartitionTipText(ULONGLONG qwBytes, DWORD dwLabelCode, const std::string& strLabel);

// The tip of a partition, read now.
std::string PartitionTip(const CScanTarget& target);
