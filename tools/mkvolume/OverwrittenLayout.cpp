// Deleted files whose clusters later files took in part or whole: files of
// many sizes written, about half of them deleted, then new files written
// into the freed room, so that some deleted files lose none of their
// clusters, some a few and some all of them. Among the deleted: a resident
// file, an empty one, a sparse one, a fragmented one whose extents lie in
// extension records, and one in two runs around a kept file.
#include "Layouts.h"

#include "Content.h"
#include "Filler.h"

#include <string>

namespace
{

// Sizes of the first files, in KiB: mixed, so new files fit the holes badly.
const size_t kOldSizesKiB[] = {12, 260, 40, 96, 8, 180, 64, 24, 300, 52, 140, 16, 220, 36, 88, 120, 28, 200, 44, 72};
// Sizes of the files written after the deletions, in KiB.
const size_t kNewSizesKiB[] = {100, 30, 250, 60, 150, 20, 90, 200, 10, 70, 300, 120, 400, 200};

std::string OldPath(size_t i)
{
    return "/Old/file_" + std::to_string(i) + ".bin";
}

std::string NewPath(size_t i)
{
    return "/New/new_" + std::to_string(i) + ".bin";
}

}  // namespace

bool FillOverwrittenVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    f.Dir("/Old");
    f.Dir("/New");
    for (size_t i = 0; i < sizeof(kOldSizesKiB) / sizeof(kOldSizesKiB[0]); ++i)
        f.Random(OldPath(i), kOldSizesKiB[i] << 10);
    f.Text("/Old/resident.txt", 300);
    f.Bytes("/Old/empty.txt", {});
    f.Sparse("/Old/sparse.bin", 2u << 20, {{0, 8192}, {1u << 20, 16384}});
    // A cluster at a time from the last to the first: hundreds of runs,
    // more than the base record holds, so extension records hold them; and
    // a kept file in turns with it.
    f.Backwards("/Old/fragmented.bin", 4096, 300);
    f.Random("/Old/partner.bin", 4096);
    for (size_t i = 0; i < sizeof(kOldSizesKiB) / sizeof(kOldSizesKiB[0]); ++i)
        f.Note("overwritten.old_" + std::to_string(i), OldPath(i));
    for (const char* pszName : {"resident", "empty", "sparse", "fragmented", "partner"})
        f.Note(std::string("overwritten.") + pszName,
               std::string("/Old/") + pszName + (pszName[0] == 'r' || pszName[0] == 'e' ? ".txt" : ".bin"));
    // The new files' records are taken now, so that the deleted files'
    // records stay as they were left; their data comes after the deletions.
    const size_t nNew = sizeof(kNewSizesKiB) / sizeof(kNewSizesKiB[0]);
    for (size_t i = 0; i < nNew; ++i)
        f.Bytes(NewPath(i), {});
    // What room is left goes to a kept file, so that the new files can only
    // go where the deleted ones were (and a little room beside).
    uint64_t n64Free = 0;
    f.Check(writer.FreeOutsideTableZone(n64Free));
    const uint64_t n64Spare = 64u << 10;
    f.Check(writer.WriteFile("/ballast.bin", {}));
    const std::vector<uint8_t> vecZeros(1u << 20, 0);
    for (uint64_t n64Off = 0; n64Off + vecZeros.size() + n64Spare <= n64Free && f.Ok(); n64Off += vecZeros.size())
        f.Check(writer.WriteAt("/ballast.bin", n64Off, vecZeros));
    // Every other file goes, and the special ones but the partner.
    for (size_t i = 0; i < sizeof(kOldSizesKiB) / sizeof(kOldSizesKiB[0]); i += 2)
        f.Delete(OldPath(i));
    for (const char* pszPath : {"/Old/resident.txt", "/Old/empty.txt", "/Old/sparse.bin", "/Old/fragmented.bin"})
        f.Delete(pszPath);
    // After a new mount the library hands out the lowest free clusters again.
    f.Check(writer.Remount());
    for (size_t i = 0; i < nNew; ++i)
        f.Check(writer.WriteAt(NewPath(i), 0, RandomBytes(f.Seed(NewPath(i)), kNewSizesKiB[i] << 10)));
    return f.Ok();
}
