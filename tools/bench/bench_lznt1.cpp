// Measures how fast the LZNT1 decompressor expands compression units, on
// made-up data packed by the tests' simple compressor, unit by unit, as a
// compressed file's units would be read from disk. Prints output MB/s (best
// of ten passes) and checks every unit against the original bytes.
//
//   salvix_bench_lznt1 [MIB]      (default 100; build with CMAKE_BUILD_TYPE=Release)
#include "Lznt1Pack.h"
#include "Measure.h"

#include "ntfs/Lznt1.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

const size_t kUnit = 65536;

class CRandom
{
public:
    explicit CRandom(uint64_t n64Seed) : m_n64State(n64Seed) {}
    uint32_t Next()
    {
        m_n64State = m_n64State * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(m_n64State >> 32);
    }

private:
    uint64_t m_n64State;
};

// Prose-like text: words of a made-up language, the frequent ones far more
// frequent (as in real text), with punctuation, numbers and line breaks.
void AppendText(std::vector<BYTE>& vec, size_t n, CRandom& random)
{
    static std::vector<std::string> s_vecWords;
    static std::vector<double> s_vecCumulative;
    if (s_vecWords.empty())
    {
        CRandom wordRandom(7);
        double dSum = 0;
        for (int i = 1; i <= 3000; ++i)
        {
            std::string strWord;
            for (uint32_t nLen = 2 + wordRandom.Next() % 9; nLen > 0; --nLen)
                strWord += static_cast<char>('a' + wordRandom.Next() % 26);
            s_vecWords.push_back(strWord);
            dSum += 1.0 / i;
            s_vecCumulative.push_back(dSum);
        }
    }
    const size_t nEnd = vec.size() + n;
    while (vec.size() < nEnd)
    {
        const double dPick = (random.Next() / 4294967296.0) * s_vecCumulative.back();
        const size_t i = std::lower_bound(s_vecCumulative.begin(), s_vecCumulative.end(), dPick) -
                         s_vecCumulative.begin();
        std::string strToken = s_vecWords[i];
        const uint32_t nRoll = random.Next() % 100;
        if (nRoll < 3)
            strToken = std::to_string(random.Next() % 100000);
        strToken += nRoll < 8 ? ", " : nRoll < 13 ? ".\r\n" : " ";
        vec.insert(vec.end(), strToken.begin(), strToken.end());
    }
    vec.resize(nEnd);
}

// Units of text, of random bytes (stored chunks), of zeros and of
// fixed-size binary records, in a mix.
std::vector<BYTE> MakeMixed(size_t n, CRandom& random)
{
    std::vector<BYTE> vec;
    vec.reserve(n);
    while (vec.size() < n)
    {
        const uint32_t nKind = random.Next() % 10;
        if (nKind < 6)
            AppendText(vec, kUnit, random);
        else if (nKind < 8)
            for (size_t i = 0; i < kUnit; ++i)
                vec.push_back(static_cast<BYTE>(random.Next()));
        else if (nKind < 9)
            vec.resize(vec.size() + kUnit, 0);
        else
            for (uint32_t nRecord = 0; nRecord < kUnit / 32; ++nRecord)
                for (int i = 0; i < 32; ++i)
                    vec.push_back(static_cast<BYTE>(i < 4 ? nRecord >> (8 * i) : i < 12 ? random.Next() % 4 : i));
    }
    vec.resize(n);
    return vec;
}

struct CPacked
{
    std::vector<BYTE> m_vecStream;   // the units' streams, each padded to whole 4 KiB clusters
    std::vector<size_t> m_vecStart;  // where each unit's stream starts; one more at the end
};

CPacked PackUnits(const std::vector<BYTE>& vecPlain)
{
    CPacked packed;
    for (size_t nDone = 0; nDone < vecPlain.size(); nDone += kUnit)
    {
        packed.m_vecStart.push_back(packed.m_vecStream.size());
        std::vector<BYTE> vecUnit = lznt1pack::Pack(vecPlain.data() + nDone, kUnit);
        vecUnit.resize((vecUnit.size() + 4095) / 4096 * 4096, 0);
        packed.m_vecStream.insert(packed.m_vecStream.end(), vecUnit.begin(), vecUnit.end());
    }
    packed.m_vecStart.push_back(packed.m_vecStream.size());
    return packed;
}

// Expands every unit; returns the seconds taken, or a negative value when a
// unit failed or came out different.
double ExpandAll(const CPacked& packed, const std::vector<BYTE>& vecPlain, bool bCheck)
{
    static BYTE s_byUnit[kUnit];
    const auto tStart = Clock::now();
    for (size_t u = 0; u + 1 < packed.m_vecStart.size(); ++u)
    {
        const size_t nFrom = packed.m_vecStart[u];
        if (ntfs::Lznt1DecompressUnit(packed.m_vecStream.data() + nFrom, packed.m_vecStart[u + 1] - nFrom,
                                      s_byUnit, kUnit) != 0)
            return -1;
        if (bCheck && memcmp(s_byUnit, vecPlain.data() + u * kUnit, kUnit) != 0)
            return -1;
    }
    return Seconds(Clock::now() - tStart);
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t nMiB = argc > 1 ? strtoul(argv[1], nullptr, 10) : 100;
    if (nMiB == 0 || nMiB > 4096)
    {
        fprintf(stderr, "usage: %s [MIB]   (1 to 4096, default 100)\n", argv[0]);
        return 2;
    }
    const size_t nBytes = nMiB << 20;
    CRandom random(2024);
    struct Input
    {
        const char* pszName;
        std::vector<BYTE> vecPlain;
    };
    std::vector<Input> inputs;
    inputs.push_back({"text", {}});
    AppendText(inputs.back().vecPlain, nBytes, random);
    inputs.push_back({"mixed", MakeMixed(nBytes, random)});
    inputs.push_back({"one letter", std::vector<BYTE>(nBytes, 'A')});

    printf("%-12s %10s %10s %12s\n", "data", "MiB", "stored %", "MB/s");
    int nFailed = 0;
    for (const Input& input : inputs)
    {
        const CPacked packed = PackUnits(input.vecPlain);
        double dBest = 1e30;
        for (int nPass = 0; nPass < 10; ++nPass)
        {
            const double dSeconds = ExpandAll(packed, input.vecPlain, false);
            dBest = dSeconds >= 0 && dSeconds < dBest ? dSeconds : dBest;
        }
        const bool bSame = ExpandAll(packed, input.vecPlain, true) >= 0;
        nFailed += !bSame;
        printf("%-12s %10zu %9.1f%% %12.0f%s\n", input.pszName, nMiB,
               100.0 * packed.m_vecStream.size() / input.vecPlain.size(), nBytes / dBest / 1e6,
               bSame ? "" : "   WRONG OUTPUT");
    }
    return nFailed == 0 ? 0 : 1;
}
