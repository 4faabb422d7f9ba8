// Puts deterministic files on a volume through CNtfsWriter and remembers
// what went in: the first failure sticks (Ok() turns false), and when a
// manifest is attached every file's final bytes are summed so that Note()
// can record them.
#pragma once

#include "Manifest.h"
#include "NtfsWriter.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CFiller
{
public:
    CFiller(CNtfsWriter& writer, uint64_t n64Seed, CManifest* pManifest = nullptr)
        : m_writer(writer), m_n64Seed(n64Seed), m_pManifest(pManifest), m_bOk(true) {}

    void Dir(const std::string& strPath) { Check(m_writer.MakeDir(strPath)); }
    void Bytes(const std::string& strPath, const std::vector<uint8_t>& data);
    void Random(const std::string& strPath, size_t cb);
    void Text(const std::string& strPath, size_t cb);
    void Photo(const std::string& strPath, size_t cb);
    void Stream(const std::string& strPath, const std::string& strName, size_t cb);
    void StreamBytes(const std::string& strPath, const std::string& strName, const std::vector<uint8_t>& data);
    // A big file of random bytes written cbChunk at a time, so that it never
    // needs to be held whole in memory.
    void Chunked(const std::string& strPath, uint64_t n64Size, size_t cbChunk);
    // Two files that grow in turns, so that each ends up in several runs.
    void Interleaved(const std::string& strA, const std::string& strB, size_t cbChunk, int nChunks);
    // A file whose pieces are written from the last to the first into a
    // sparse file, each piece allocated on its own.
    void Backwards(const std::string& strPath, size_t cbPiece, int nPieces);
    // A file of n64Size bytes holding random pieces (offset, length) and
    // holes elsewhere.
    void Sparse(const std::string& strPath, uint64_t n64Size,
                const std::vector<std::pair<uint64_t, size_t>>& pieces);
    // The same with the pieces' bytes given; they must not overlap.
    void SparseBytes(const std::string& strPath, uint64_t n64Size,
                     const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& pieces);
    void Link(const std::string& strExisting, const std::string& strNew) { Check(m_writer.Link(strExisting, strNew)); }
    void Delete(const std::string& strPath) { Check(m_writer.Delete(strPath)); }
    void Fail() { m_bOk = false; }
    // Folds in the outcome of a step taken through the writer directly.
    void Check(bool bOk) { m_bOk = m_bOk && bOk; }

    // Records the path's record in the manifest under strKey, with the
    // checksum of its bytes when they are known. Call before deleting it.
    void Note(const std::string& strKey, const std::string& strPath);

    uint64_t Seed(const std::string& strKey) const;
    bool Ok() const { return m_bOk; }
    CNtfsWriter& Writer() { return m_writer; }

private:
    void Sum(const std::string& strPath, const std::vector<uint8_t>& data);

    CNtfsWriter& m_writer;
    uint64_t m_n64Seed;
    CManifest* m_pManifest;
    bool m_bOk;
    std::map<std::string, CCksum> m_mapSums;
};
