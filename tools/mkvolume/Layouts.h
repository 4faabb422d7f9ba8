// What goes onto the volumes that the tools make.
#pragma once

#include "NtfsWriter.h"

#include <cstdint>

// Every kind of record the reader meets: resident, non-resident, fragmented
// and sparse data, named streams, Latin-1 and wider names, names long enough
// to cross the record's first sector end, hard links, nested directories,
// deleted files and deleted directories. Fits a 32 MiB volume.
bool FillTestVolume(CNtfsWriter& writer, uint64_t n64Seed);

// A small, ordinary-looking tree with a few deleted files worth recovering.
// nWhich 0 is the first disk's system-like volume, 1 the second's data volume.
bool FillSampleVolume(CNtfsWriter& writer, int nWhich);

// nFiles files spread over directories of 1000, every fifth one deleted
// afterwards. Reports progress on standard error when bProgress is set.
bool FillBigVolume(CNtfsWriter& writer, uint32_t nFiles, uint64_t n64Seed, bool bProgress);
