#include "Images.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace
{
// mkntfs and friends live in sbin, which a plain user's PATH may lack.
std::string FindTool(const std::string& strName)
{
    if (strName.find('/') != std::string::npos)
        return strName;
    const char* pszPath = getenv("PATH");
    std::string strPath = pszPath ? pszPath : "";
    strPath += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
    std::stringstream dirs(strPath);
    std::string strDir;
    while (std::getline(dirs, strDir, ':'))
    {
        if (strDir.empty())
            continue;
        std::string strCandidate = strDir + "/" + strName;
        if (access(strCandidate.c_str(), X_OK) == 0)
            return strCandidate;
    }
    return strName;
}

bool WriteAllFd(int fd, const char* p, size_t cb)
{
    while (cb > 0)
    {
        ssize_t n = write(fd, p, cb);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        cb -= static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

bool RunTool(const std::vector<std::string>& args, const std::string& strInput)
{
    // The tool's remarks are kept aside and shown only when it fails.
    FILE* pErrors = tmpfile();
    int fds[2];
    if (!pErrors || pipe(fds) != 0)
    {
        if (pErrors)
            fclose(pErrors);
        return false;
    }
    std::string strProgram = FindTool(args[0]);
    pid_t pid = fork();
    if (pid < 0)
    {
        close(fds[0]);
        close(fds[1]);
        fclose(pErrors);
        return false;
    }
    if (pid == 0)
    {
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        int fdNull = open("/dev/null", O_WRONLY);
        if (fdNull >= 0)
            dup2(fdNull, 1);
        dup2(fileno(pErrors), 2);
        std::vector<char*> argv;
        for (const std::string& s : args)
            argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        execv(strProgram.c_str(), argv.data());
        fprintf(stderr, "salvix_mkvolume: cannot run %s: %s\n", args[0].c_str(), strerror(errno));
        _exit(127);
    }
    close(fds[0]);
    WriteAllFd(fds[1], strInput.data(), strInput.size());
    close(fds[1]);
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR)
    {
    }
    bool bOk = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!bOk)
    {
        rewind(pErrors);
        char szLine[512];
        while (fgets(szLine, sizeof(szLine), pErrors))
            fputs(szLine, stderr);
        fprintf(stderr, "salvix_mkvolume: %s failed\n", args[0].c_str());
    }
    fclose(pErrors);
    return bOk;
}

bool MakeEmptyFile(const std::string& strPath, uint64_t n64Size)
{
    int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
    {
        fprintf(stderr, "salvix_mkvolume: cannot create %s: %s\n", strPath.c_str(), strerror(errno));
        return false;
    }
    bool bOk = ftruncate(fd, static_cast<off_t>(n64Size)) == 0;
    if (!bOk)
        fprintf(stderr, "salvix_mkvolume: cannot size %s: %s\n", strPath.c_str(), strerror(errno));
    return close(fd) == 0 && bOk;
}

bool FormatNtfs(const std::string& strPath, uint64_t n64Size, const NtfsFormat& format)
{
    if (!MakeEmptyFile(strPath, n64Size))
        return false;
    std::vector<std::string> args = {"mkntfs", "-F", "-q", "-f"};
    if (format.dwClusterSize)
        args.insert(args.end(), {"-c", std::to_string(format.dwClusterSize)});
    // A plain file reports no geometry: state it, so mkntfs need not guess aloud.
    uint32_t dwSector = format.dwSectorSize ? format.dwSectorSize : 512;
    args.insert(args.end(), {"-s", std::to_string(dwSector), "-H", "255", "-S", "63"});
    // mkntfs counts the start in its own sectors.
    args.insert(args.end(), {"-p", std::to_string(uint64_t(format.dwPartitionStart) * 512 / dwSector)});
    if (!format.strLabel.empty())
        args.insert(args.end(), {"-L", format.strLabel});
    args.push_back(strPath);
    return RunTool(args);
}

bool FormatFat32(const std::string& strPath, uint64_t n64Size, uint32_t dwPartitionStart,
                 const std::string& strLabel)
{
    if (!MakeEmptyFile(strPath, n64Size))
        return false;
    // One sector per cluster keeps a small volume above FAT32's cluster minimum.
    return RunTool({"mkfs.fat", "-F", "32", "-s", "1", "--invariant", "-h",
                    std::to_string(dwPartitionStart), "-n", strLabel, strPath});
}

bool MakePartitionedDisk(const std::string& strPath, uint64_t n64Size,
                         const std::vector<PartitionSpec>& partitions)
{
    if (!MakeEmptyFile(strPath, n64Size))
        return false;
    std::ostringstream script;
    script << "label: dos\nlabel-id: 0x5a1f0001\nunit: sectors\n\n";
    char szType[8];
    for (const PartitionSpec& p : partitions)
    {
        snprintf(szType, sizeof(szType), "%x", p.byType);
        script << "start=" << p.dwStart << ", size=" << p.dwSectors << ", type=" << szType << "\n";
    }
    return RunTool({"sfdisk", "--quiet", "--no-reread", "--no-tell-kernel", strPath}, script.str());
}

namespace
{
// Copies [n64From, n64To) of fdIn to fdOut at n64Offset further on, 4 KiB
// pieces that hold data only.
bool CopyRange(int fdIn, int fdOut, uint64_t n64From, uint64_t n64To, uint64_t n64Offset)
{
    std::vector<char> block(1 << 20);
    const std::vector<char> zeros(4096, 0);
    uint64_t n64Pos = n64From;
    while (n64Pos < n64To)
    {
        size_t cbWant = n64To - n64Pos < block.size() ? static_cast<size_t>(n64To - n64Pos) : block.size();
        ssize_t n = pread(fdIn, block.data(), cbWant, static_cast<off_t>(n64Pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t i = 0; i < n; i += 4096)
        {
            size_t cb = static_cast<size_t>(n - i < 4096 ? n - i : 4096);
            if (memcmp(block.data() + i, zeros.data(), cb) == 0)
                continue;
            const char* p = block.data() + i;
            off_t off = static_cast<off_t>(n64Offset + n64Pos + static_cast<uint64_t>(i));
            while (cb > 0)
            {
                ssize_t w = pwrite(fdOut, p, cb, off);
                if (w <= 0)
                    return false;
                p += w;
                cb -= static_cast<size_t>(w);
                off += w;
            }
        }
        n64Pos += static_cast<uint64_t>(n);
    }
    return true;
}
}  // namespace

bool PlaceImage(const std::string& strSource, const std::string& strDisk, uint64_t n64Offset)
{
    int fdIn = open(strSource.c_str(), O_RDONLY);
    int fdOut = open(strDisk.c_str(), O_WRONLY);
    bool bOk = fdIn >= 0 && fdOut >= 0;
    off_t end = bOk ? lseek(fdIn, 0, SEEK_END) : -1;
    bOk = bOk && end >= 0;
    // Only the source's data extents are read: a big sparse volume is
    // mostly holes, and reading them costs as much as reading data.
    off_t pos = 0;
    while (bOk && pos < end)
    {
        off_t data = lseek(fdIn, pos, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;  // holes up to the end
        off_t hole = data < 0 ? end : lseek(fdIn, data, SEEK_HOLE);
        if (data < 0)
            data = pos;  // no hole finding here: copy the rest
        if (hole < 0 || hole > end)
            hole = end;
        bOk = CopyRange(fdIn, fdOut, static_cast<uint64_t>(data), static_cast<uint64_t>(hole), n64Offset);
        pos = hole;
    }
    if (!bOk)
        fprintf(stderr, "salvix_mkvolume: cannot copy %s into %s: %s\n", strSource.c_str(),
                strDisk.c_str(), strerror(errno));
    if (fdIn >= 0)
        close(fdIn);
    if (fdOut >= 0 && close(fdOut) != 0)
        bOk = false;
    return bOk;
}

std::string TempPathNear(const std::string& strNear, const std::string& strTag)
{
    return strNear + "." + strTag + "." + std::to_string(getpid()) + ".tmp";
}
