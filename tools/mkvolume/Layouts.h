// What goes onto the volumes that the tools make.
#pragma once

#include "Manifest.h"
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

// The layouts below note the records worth testing in the manifest (see
// Manifest.h for its format and the keys' prefix: the layout's name).

// Names as their owners wrote them: Chinese, Cyrillic, Japanese, Korean,
// accents and an emoji outside the 16-bit range, a DOS 8.3 name beside a
// long one, deleted files in nested folders, a deleted folder whose deleted
// children still name it as their parent, and a deleted file whose folder's
// record was taken by a new file afterwards.
bool FillUnicodeVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest);

// A folder flagged compressed, so the library compresses what is written in
// it: text, a deleted table, compressible and random units mixed, a unit of
// zeros, a resident file and a named stream. bBig: one 200 MiB log instead.
// Needs clusters of at most 4 KiB.
bool FillCompressedVolume(CNtfsWriter& writer, uint64_t n64Seed, bool bBig, CManifest& manifest);

// A 5 GiB sparse file with data at both ends and in the middle; bBig adds a
// 1 GiB file of random bytes. Needs a volume of at least 6 GiB.
bool FillLargeVolume(CNtfsWriter& writer, uint64_t n64Seed, bool bBig, CManifest& manifest);

// Records that overflow into extension records through the library: a file
// with forty 200-character names, one with forty named streams, and one in
// hundreds of runs.
bool FillHardLinkVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest);

// Deleted files whose clusters files written after them took in part or
// whole, others left alone; resident, empty, sparse and fragmented ones
// among them, the fragmented one's extents in extension records.
bool FillOverwrittenVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest);

// Thousands of small files in rounds, each round followed by a big file, so
// that the table grows in pieces spread over the volume.
bool FillFragmentedMftVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest);

// Fragmented files whose $DATA is split by hand into two or three extents in
// extension records, named by an attribute list (resident, or in a cluster of
// its own); and damaged lists: an extension record that names another base
// record, one whose sequence number moved on, one not in use, a record past
// the table's end, and $DATA extents named twice. FillAttrListVolume makes
// the files through the library; EditAttrListVolume, run on the closed
// image, rewrites their records.
bool FillAttrListVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest);
bool EditAttrListVolume(const std::string& strVolume, CManifest& manifest);
