#include "Layouts.h"

#include "Content.h"
#include "Filler.h"

#include <cstdio>
#include <string>
#include <vector>

bool FillTestVolume(CNtfsWriter& writer, uint64_t n64Seed)
{
    CFiller f(writer, n64Seed);

    // Plain files of every size class.
    f.Text("/tiny.txt", 37);
    f.Random("/empty.dat", 0);
    f.Random("/small.bin", 700);
    f.Random("/one_k_and_a_bit.bin", 1500);
    f.Random("/five_k.bin", 5000);
    f.Random("/medium.bin", 300000);
    f.Random("/big.bin", 2600000);
    f.Interleaved("/frag_a.bin", "/frag_b.bin", 10000, 12);
    f.Backwards("/backwards.bin", 8192, 10);
    f.Backwards("/backwards_odd.bin", 5000, 7);
    f.Sparse("/sparse.bin", 1048576, {{0, 4096}, {700000, 5000}, {1048566, 10}});

    // Names: Latin-1, wider characters, nesting.
    f.Dir("/Documents");
    f.Text("/Documents/café_über_naïve.txt", 420);
    f.Text("/Documents/Ñandú größe.txt", 9000);
    f.Text("/Documents/résumé_日本語.txt", 300);
    f.Text("/Documents/Ελληνικά.txt", 250);
    f.Dir("/Documents/Nested");
    f.Dir("/Documents/Nested/Deeper");
    f.Text("/Documents/Nested/Deeper/deep.txt", 64);
    f.Random("/Documents/Nested/Deeper/deep.bin", 70000);

    // Names long enough to run past the record's first sector.
    f.Dir("/Long");
    f.Text("/Long/" + NameOfLength("long_resident_", 210, ".txt"), 90);
    f.Random("/Long/" + NameOfLength("long_nonresident_", 250, ".bin"), 20000);
    f.Text("/Long/" + NameOfLength("max_", 255, ".txt"), 12);
    f.Dir("/Long/" + NameOfLength("long_directory_", 230, ""));

    // Named streams.
    f.Dir("/Streams");
    f.Text("/Streams/streams.txt", 100);
    f.Stream("/Streams/streams.txt", "meta", 3000);
    f.Stream("/Streams/streams.txt", "tiny", 20);
    f.Stream("/Streams/streams.txt", "Zoë", 9000);
    f.Random("/Streams/only_stream.dat", 0);
    f.Stream("/Streams/only_stream.dat", "payload", 5000);
    // A download as Windows keeps it: where it came from, in a stream of its
    // own (resident, so that nothing else moves).
    const std::string strZone = "[ZoneTransfer]\r\nZoneId=3\r\n";
    f.StreamBytes("/Documents/Nested/Deeper/deep.bin", "Zone.Identifier",
                  std::vector<uint8_t>(strZone.begin(), strZone.end()));

    // Several names for one record; the later ones are shorter. The first
    // file's names overflow a 1 KiB record into an attribute list.
    f.Dir("/Links");
    f.Text("/Links/original_name_that_is_rather_long.txt", 500);
    f.Link("/Links/original_name_that_is_rather_long.txt", "/Links/hl.txt");
    f.Link("/Links/original_name_that_is_rather_long.txt", "/Documents/elsewhere.txt");
    // A name added later records the file's size at that time.
    f.Random("/Links/two_names_for_one_record.bin", 60000);
    f.Link("/Links/two_names_for_one_record.bin", "/Links/2n.bin");
    f.Random("/Links/grown.bin", 9000);
    f.Link("/Links/grown.bin", "/Links/grown_link.bin");

    // A directory big enough for an index outside its record.
    f.Dir("/Many");
    for (int i = 0; i < 120; ++i)
    {
        char szName[32];
        snprintf(szName, sizeof(szName), "/Many/f%03d.%s", i, i % 3 ? "txt" : "bin");
        if (i % 3)
            f.Text(szName, 20 + static_cast<size_t>(i) * 37);
        else
            f.Random(szName, 200 + static_cast<size_t>(i) * 311);
    }

    // What gets deleted, made before anything is deleted so no record is reused.
    f.Dir("/Trash");
    f.Text("/Trash/deleted_tiny.txt", 60);
    f.Random("/Trash/deleted_medium.bin", 200000);
    f.Backwards("/Trash/deleted_frag.bin", 6000, 6);
    f.Text("/Trash/" + NameOfLength("deleted_long_", 240, ".txt"), 3000);
    f.Text("/Trash/deleted_streams.txt", 40);
    f.Stream("/Trash/deleted_streams.txt", "hidden", 6000);
    f.Text("/Trash/deleted_é_ü.txt", 150);
    f.Sparse("/Trash/deleted_sparse.bin", 300000, {{8192, 3000}});
    f.Dir("/OldDir");
    f.Text("/OldDir/a.txt", 80);
    f.Random("/OldDir/b.bin", 40000);
    f.Dir("/OldDir/Sub");
    f.Text("/OldDir/Sub/c.txt", 1200);

    for (const char* pszPath : {"/Trash/deleted_tiny.txt", "/Trash/deleted_medium.bin",
                                "/Trash/deleted_frag.bin", "/Trash/deleted_streams.txt",
                                "/Trash/deleted_é_ü.txt", "/Trash/deleted_sparse.bin",
                                "/OldDir/Sub/c.txt", "/OldDir/Sub", "/OldDir/a.txt",
                                "/OldDir/b.bin", "/OldDir", "/Links/hl.txt"})
        f.Delete(pszPath);
    f.Delete("/Trash/" + NameOfLength("deleted_long_", 240, ".txt"));
    for (int i = 0; i < 120; i += 7)
    {
        char szName[32];
        snprintf(szName, sizeof(szName), "/Many/f%03d.%s", i, i % 3 ? "txt" : "bin");
        f.Delete(szName);
    }
    return f.Ok();
}

bool FillSampleVolume(CNtfsWriter& writer, int nWhich)
{
    CFiller f(writer, 0x5A1F00 + static_cast<uint64_t>(nWhich));
    if (nWhich == 0)
    {
        f.Dir("/Documents");
        f.Text("/Documents/Report 2023.txt", 18000);
        f.Text("/Documents/Lettre à Hélène.txt", 2400);
        f.Text("/Documents/Budget prévisionnel.csv", 6100);
        f.Text("/Documents/readme.txt", 310);
        f.Dir("/Documents/Projets");
        f.Text("/Documents/Projets/plan.txt", 4200);
        f.Text("/Documents/Projets/notes de réunion.txt", 700);
        f.Dir("/Photos");
        f.Photo("/Photos/IMG_0001.jpg", 412000);
        f.Photo("/Photos/IMG_0002.jpg", 388000);
        f.Photo("/Photos/IMG_0003.jpg", 520000);
        f.Dir("/Photos/Vacances été");
        f.Photo("/Photos/Vacances été/plage.jpg", 640000);
        f.Photo("/Photos/Vacances été/montagne.jpg", 455000);
        f.Dir("/Music");
        f.Random("/Music/Café del Mar.mp3", 1200000);
        f.Dir("/Programs");
        f.Random("/Programs/setup.exe", 900000);
        f.Text("/Programs/config.ini", 380);
        // Names as people write them, in any script.
        f.Dir("/文档");
        f.Dir("/文档/2024年");
        f.Text("/文档/2024年/季度报告.txt", 5200);
        f.Dir("/Фото");
        f.Photo("/Фото/отпуск.jpg", 150000);
        f.Text("/résumé_日本語.txt", 300);

        // Deleted afterwards: worth recovering.
        f.Random("/文档/合同扫描件.pdf", 240000);
        f.Text("/Documents/Contrat signé.txt", 520);
        f.Text("/Documents/Mot de passe.txt", 90);
        f.Text("/Documents/Thèse chapitre 1.txt", 52000);
        f.Photo("/Photos/IMG_0042.jpg", 350000);
        f.Photo("/Photos/Vacances été/coucher de soleil.jpg", 610000);
        f.Dir("/Old Projects");
        f.Text("/Old Projects/idées.txt", 1900);
        f.Random("/Old Projects/archive.zip", 260000);
        for (const char* pszPath : {"/文档/合同扫描件.pdf", "/Documents/Contrat signé.txt", "/Documents/Mot de passe.txt",
                                    "/Documents/Thèse chapitre 1.txt", "/Photos/IMG_0042.jpg",
                                    "/Photos/Vacances été/coucher de soleil.jpg",
                                    "/Old Projects/idées.txt", "/Old Projects/archive.zip",
                                    "/Old Projects"})
            f.Delete(pszPath);
    }
    else
    {
        f.Dir("/Share");
        f.Text("/Share/inventaire.txt", 3300);
        f.Text("/Share/Übersicht.txt", 850);
        f.Photo("/Share/scan_001.jpg", 230000);
        f.Dir("/Share/Backup");
        f.Random("/Share/Backup/database.bak", 1500000);
        f.Text("/Share/Backup/journal.log", 27000);
        f.Text("/todo.txt", 140);

        f.Text("/Share/facture_0815.txt", 1300);
        f.Photo("/Share/scan_002.jpg", 198000);
        f.Text("/brouillon.txt", 75);
        for (const char* pszPath : {"/Share/facture_0815.txt", "/Share/scan_002.jpg", "/brouillon.txt"})
            f.Delete(pszPath);
    }
    return f.Ok();
}

bool FillBigVolume(CNtfsWriter& writer, uint32_t nFiles, uint64_t n64Seed, bool bProgress)
{
    CFiller f(writer, n64Seed);
    const uint32_t kPerDir = 1000;
    std::vector<std::string> paths;
    paths.reserve(nFiles);
    std::string strDir;
    for (uint32_t i = 0; i < nFiles && f.Ok(); ++i)
    {
        if (i % kPerDir == 0)
        {
            char szDir[32];
            snprintf(szDir, sizeof(szDir), "/dir%04u", i / kPerDir);
            strDir = szDir;
            f.Dir(strDir);
            if (bProgress && i % 50000 == 0)
                fprintf(stderr, "  %u files\n", i);
        }
        char szName[48];
        snprintf(szName, sizeof(szName), "/file_%06u.%s", i, i % 50 == 0 ? "bin" : "txt");
        std::string strPath = strDir + szName;
        // Mostly small resident files, with some that need clusters.
        if (i % 50 == 0)
            f.Random(strPath, 3000 + i % 7000);
        else
            f.Text(strPath, 10 + i % 300);
        if (i % 5 == 4)
            paths.push_back(strPath);
    }
    if (bProgress)
        fprintf(stderr, "  deleting %zu files\n", paths.size());
    for (const std::string& strPath : paths)
    {
        if (!f.Ok())
            break;
        f.Delete(strPath);
    }
    return f.Ok();
}
