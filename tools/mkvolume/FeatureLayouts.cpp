// Volumes for single features of the reader: names in many scripts,
// compressed files, huge files, records that spill into extension records
// and a fragmented table. Each notes its interesting records in a manifest.
#include "Layouts.h"

#include "Content.h"
#include "Filler.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{
const uint32_t kAttributeCompressed = 0x800;
const uint64_t kMiB = 1ull << 20;
const uint64_t kGiB = 1ull << 30;

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Comma-separated rows, like an exported table.
std::vector<uint8_t> CsvBytes(uint64_t n64Seed, size_t cbSize)
{
    CPrng prng(n64Seed);
    std::string str = "id,date,account,amount,currency,comment\n";
    for (uint32_t i = 1; str.size() < cbSize; ++i)
    {
        char szRow[128];
        snprintf(szRow, sizeof(szRow), "%u,2024-%02u-%02u,ACC-%05u,%u.%02u,EUR,payment %u\n", i,
                 1 + prng.Below(12), 1 + prng.Below(28), prng.Below(800), prng.Below(20000),
                 prng.Below(100), prng.Below(50));
        str += szRow;
    }
    str.resize(cbSize);
    return std::vector<uint8_t>(str.begin(), str.end());
}

// The extension records of strPath, noted as KEY.ext1, KEY.ext2, ...
void NoteExtensions(CFiller& f, CManifest& manifest, const std::string& strKey, const std::string& strPath)
{
    std::vector<uint64_t> records;
    if (!f.Writer().ExtensionRecords(strPath, records))
    {
        f.Fail();
        return;
    }
    for (size_t i = 0; i < records.size(); ++i)
        manifest.Add(strKey + ".ext" + std::to_string(i + 1), records[i], "extension record of " + strPath);
}
// What the unicode layout notes in its manifest.
const char* const kUnicodeNotes[][2] = {
    {"unicode.dir_docs", "/文档"}, {"unicode.dir_2024", "/文档/2024年"},
    {"unicode.quarterly", "/文档/2024年/季度报告.txt"}, {"unicode.deleted_nested", "/文档/2024年/草稿.txt"},
    {"unicode.deleted_pdf", "/文档/合同扫描件.pdf"}, {"unicode.photo", "/Фото/отпуск.jpg"},
    {"unicode.deleted_photo", "/Фото/удалённое.jpg"}, {"unicode.resume", "/résumé_日本語.txt"},
    {"unicode.emoji", "/😀 smile.txt"}, {"unicode.emoji_dir_file", "/音乐 🎵/歌曲.mp3"},
    {"unicode.japanese", "/日本語/議事録_東京.txt"}, {"unicode.korean", "/한국어/회의록.txt"},
    {"unicode.dos_name", "/LongFileName_会议记录.txt"}, {"unicode.deleted_dir", "/旧项目"},
    {"unicode.deleted_dir_child", "/旧项目/说明.txt"}, {"unicode.deleted_subdir", "/旧项目/子文件夹"},
    {"unicode.deleted_subdir_child", "/旧项目/子文件夹/数据.bin"},
    {"unicode.orphan", "/临时文件夹/孤儿文件.txt"},
};
}  // namespace

bool FillUnicodeVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    // First of all, so that the folder holds the lowest user record when it
    // is freed (see the end).
    f.Dir("/临时文件夹");
    f.Text("/临时文件夹/孤儿文件.txt", 3000);
    f.Dir("/文档");
    f.Dir("/文档/2024年");
    f.Text("/文档/2024年/季度报告.txt", 5200);
    f.Text("/文档/2024年/草稿.txt", 900);
    std::vector<uint8_t> pdf = RandomBytes(f.Seed("pdf"), 240000);
    const char kPdfHead[] = "%PDF-1.4\n";
    std::copy(kPdfHead, kPdfHead + sizeof(kPdfHead) - 1, pdf.begin());
    f.Bytes("/文档/合同扫描件.pdf", pdf);
    f.Dir("/Фото");
    f.Photo("/Фото/отпуск.jpg", 150000);
    f.Photo("/Фото/удалённое.jpg", 60000);
    f.Text("/résumé_日本語.txt", 300);
    f.Text("/😀 smile.txt", 120);
    f.Dir("/音乐 🎵");
    f.Random("/音乐 🎵/歌曲.mp3", 90000);
    f.Dir("/日本語");
    f.Text("/日本語/議事録_東京.txt", 2000);
    f.Dir("/한국어");
    f.Text("/한국어/회의록.txt", 700);
    f.Text("/LongFileName_会议记录.txt", 1800);
    f.Check(writer.SetDosName("/LongFileName_会议记录.txt", "LONGFI~1.TXT"));
    // A folder deleted with everything in it; the children's records still
    // name it as their parent.
    f.Dir("/旧项目");
    f.Text("/旧项目/说明.txt", 400);
    f.Dir("/旧项目/子文件夹");
    f.Random("/旧项目/子文件夹/数据.bin", 30000);

    for (const auto& note : kUnicodeNotes)
        f.Note(note[0], note[1]);

    int64_t n64OldParent = writer.RecordOf("/临时文件夹");
    for (const char* pszPath : {"/文档/2024年/草稿.txt", "/文档/合同扫描件.pdf", "/Фото/удалённое.jpg",
                                "/旧项目/子文件夹/数据.bin", "/旧项目/子文件夹", "/旧项目/说明.txt", "/旧项目",
                                "/临时文件夹/孤儿文件.txt", "/临时文件夹"})
        f.Delete(pszPath);
    // A new file in the old folder's record, whose sequence number has moved
    // on: after a new mount the library takes the lowest free record.
    f.Check(writer.Remount());
    f.Text("/新文件.txt", 200);
    if (writer.RecordOf("/新文件.txt") != n64OldParent)
    {
        fprintf(stderr, "salvix_mkvolume: the folder's record %lld was not reused (%lld)\n",
                static_cast<long long>(n64OldParent), static_cast<long long>(writer.RecordOf("/新文件.txt")));
        f.Fail();
    }
    f.Note("unicode.reused_parent", "/新文件.txt");
    return f.Ok();
}

bool FillCompressedVolume(CNtfsWriter& writer, uint64_t n64Seed, bool bBig, CManifest& manifest)
{
    if (writer.ClusterSize() > 4096)
    {
        fprintf(stderr, "salvix_mkvolume: files are compressed only with clusters of 4 KiB at most\n");
        return false;
    }
    CFiller f(writer, n64Seed, &manifest);
    f.Dir("/Compressed");
    f.Check(writer.SetAttributes("/Compressed", kAttributeCompressed));
    if (bBig)
    {
        // Written a piece at a time through the library's compressor.
        f.Bytes("/Compressed/big.log", LogBytes(f.Seed("big.log"), static_cast<size_t>(200 * kMiB)));
        f.Note("compressed.big_log", "/Compressed/big.log");
        return f.Ok();
    }
    const size_t kUnit = 65536;  // 16 clusters of 4 KiB
    f.Bytes("/Compressed/text.log", LogBytes(f.Seed("text.log"), 5 * kUnit + 1234));
    f.Bytes("/Compressed/table.csv", CsvBytes(f.Seed("table.csv"), 3 * kUnit + 77));
    // Compressible and random units in turns: random ones are stored as is.
    f.Bytes("/Compressed/mixed.bin",
            Concat({TextBytes(f.Seed("m1"), kUnit), RandomBytes(f.Seed("m2"), kUnit),
                    TextBytes(f.Seed("m3"), kUnit), RandomBytes(f.Seed("m4"), kUnit / 2 + 100),
                    TextBytes(f.Seed("m5"), kUnit / 2 - 100), TextBytes(f.Seed("m6"), 5000)}));
    // A unit of zeros in the middle: the library stores it as a hole.
    f.Bytes("/Compressed/zero_unit.bin",
            Concat({TextBytes(f.Seed("z1"), kUnit), std::vector<uint8_t>(kUnit, 0),
                    TextBytes(f.Seed("z3"), kUnit + 300)}));
    f.Text("/Compressed/tiny.txt", 60);
    f.Text("/Compressed/with_stream.txt", 2 * kUnit + 10);
    f.StreamBytes("/Compressed/with_stream.txt", "summary", LogBytes(f.Seed("summary"), kUnit + 999));
    // Outside the folder: the same text, not compressed, to compare with.
    f.Bytes("/plain.log", LogBytes(f.Seed("text.log"), 5 * kUnit + 1234));

    const char* const kNotes[][2] = {
        {"compressed.dir", "/Compressed"}, {"compressed.text_log", "/Compressed/text.log"},
        {"compressed.deleted_csv", "/Compressed/table.csv"}, {"compressed.mixed", "/Compressed/mixed.bin"},
        {"compressed.zero_unit", "/Compressed/zero_unit.bin"}, {"compressed.tiny", "/Compressed/tiny.txt"},
        {"compressed.with_stream", "/Compressed/with_stream.txt"},
        {"compressed.stream", "/Compressed/with_stream.txt:summary"}, {"compressed.plain", "/plain.log"},
    };
    for (const auto& note : kNotes)
        f.Note(note[0], note[1]);
    f.Delete("/Compressed/table.csv");
    return f.Ok();
}

bool FillLargeVolume(CNtfsWriter& writer, uint64_t n64Seed, bool bBig, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    // Data at both ends and in the middle of 5 GiB, holes between: whole
    // clusters, so that the allocated clusters hold exactly the pieces.
    const uint64_t n64Size = 5 * kGiB;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> pieces;
    CCksum allocated;
    for (uint64_t n64Off : {uint64_t(0), n64Size / 2, n64Size - kMiB})
    {
        pieces.emplace_back(n64Off, RandomBytes(f.Seed("piece" + std::to_string(n64Off)),
                                                static_cast<size_t>(n64Off == n64Size / 2 ? kMiB / 4 : kMiB)));
        allocated.Update(pieces.back().second);
    }
    f.SparseBytes("/sparse_5g.bin", n64Size, pieces);
    f.Note("large.sparse_5g", "/sparse_5g.bin");
    // The same record's allocated bytes alone: quicker to compare than 5 GiB.
    if (writer.RecordOf("/sparse_5g.bin") >= 0)
        manifest.Add("large.sparse_5g.allocated", static_cast<uint64_t>(writer.RecordOf("/sparse_5g.bin")),
                     "/sparse_5g.bin, its allocated clusters only", allocated);
    if (bBig)
    {
        f.Chunked("/random_1g.bin", kGiB, static_cast<size_t>(64 * kMiB));
        f.Note("large.random_1g", "/random_1g.bin");
    }
    return f.Ok();
}

bool FillHardLinkVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    f.Dir("/Links");
    f.Dir("/Links/Other");
    // Forty names of 200 characters: far more than one record holds.
    const std::string strBase = "/Links/" + NameOfLength("many_names_", 200, ".txt");
    f.Text(strBase, 3000);
    for (int i = 1; i < 40; ++i)
    {
        char szStem[32];
        snprintf(szStem, sizeof(szStem), "link_%02d_", i);
        f.Link(strBase, std::string(i % 2 ? "/Links/" : "/Links/Other/") + NameOfLength(szStem, 200, ".txt"));
    }
    f.Note("hardlinks.many_names", strBase);
    NoteExtensions(f, manifest, "hardlinks.many_names", strBase);

    f.Dir("/Streams");
    f.Text("/Streams/many_streams.txt", 500);
    for (int i = 0; i < 40; ++i)
        f.Stream("/Streams/many_streams.txt", "stream_" + std::to_string(i), 100 + 37 * i);
    f.Note("hardlinks.many_streams", "/Streams/many_streams.txt");
    f.Note("hardlinks.many_streams.stream_39", "/Streams/many_streams.txt:stream_39");
    NoteExtensions(f, manifest, "hardlinks.many_streams", "/Streams/many_streams.txt");

    // One cluster at a time in turns with a second file: a run per cluster,
    // more runs than the base record can hold.
    f.Dir("/Frag");
    f.Interleaved("/Frag/fragmented.bin", "/Frag/partner.bin", 4096, 400);
    f.Note("hardlinks.fragmented", "/Frag/fragmented.bin");
    f.Note("hardlinks.partner", "/Frag/partner.bin");
    NoteExtensions(f, manifest, "hardlinks.fragmented", "/Frag/fragmented.bin");
    return f.Ok();
}

bool FillFragmentedMftVolume(CNtfsWriter& writer, uint64_t n64Seed, CManifest& manifest)
{
    CFiller f(writer, n64Seed, &manifest);
    // The library keeps a zone after the table free for its growth, so the
    // table stays in one piece until the rest of the volume is full. Fill
    // the rest first; then a file written after each growth of the table
    // takes the clusters after its end, and the next growth lands further on.
    uint64_t n64Ballast = 0;
    f.Check(writer.FreeOutsideTableZone(n64Ballast));
    const size_t kChunk = static_cast<size_t>(4 * kMiB);
    const std::vector<uint8_t> zeros(kChunk, 0);
    f.Check(writer.WriteFile("/ballast.bin", {}));
    for (uint64_t n64Off = 0; n64Off + kChunk <= n64Ballast && f.Ok(); n64Off += kChunk)
        f.Check(writer.WriteAt("/ballast.bin", n64Off, zeros));
    for (int nRound = 0; nRound < 8 && f.Ok(); ++nRound)
    {
        std::string strDir = "/round" + std::to_string(nRound);
        f.Dir(strDir);
        for (int i = 0; i < 400 && f.Ok(); ++i)
            f.Text(strDir + "/note_" + std::to_string(i) + ".txt", 40 + static_cast<size_t>(i % 200));
        f.Random(strDir + "/filler.bin", 256 * 1024);
    }
    f.Note("fragmented_mft.first", "/round0/note_0.txt");
    f.Note("fragmented_mft.last", "/round7/note_399.txt");
    f.Note("fragmented_mft.filler", "/round7/filler.bin");
    f.Delete("/round3/note_7.txt");
    return f.Ok();
}
