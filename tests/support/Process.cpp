#include "support/Process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace salvix_test
{

namespace
{

std::string ReadAll(FILE* pFile)
{
    std::string str;
    rewind(pFile);
    char szBuffer[65536];
    size_t n;
    while ((n = fread(szBuffer, 1, sizeof(szBuffer), pFile)) > 0)
        str.append(szBuffer, n);
    return str;
}

// Only calls that are safe after a fork in a program with threads.
[[noreturn]] void RunChild(const char* pszProgram, char* const* ppArgv, int nInput, int nOutput, int nErrors)
{
    dup2(nInput, 0);
    dup2(nOutput, 1);
    dup2(nErrors, 2);
    execv(pszProgram, ppArgv);
    _exit(127);
}

}  // namespace

std::string FindProgram(const std::string& strName)
{
    if (strName.find('/') != std::string::npos)
        return access(strName.c_str(), X_OK) == 0 ? strName : std::string();
    const char* pszPath = getenv("PATH");
    std::stringstream dirs(std::string(pszPath ? pszPath : "") + ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin");
    std::string strDir;
    while (std::getline(dirs, strDir, ':'))
    {
        const std::string strCandidate = strDir + "/" + strName;
        if (!strDir.empty() && access(strCandidate.c_str(), X_OK) == 0)
            return strCandidate;
    }
    return std::string();
}

CProcessResult RunProcess(const std::vector<std::string>& vecArgs, const std::string& strInput)
{
    CProcessResult result;
    const std::string strProgram = vecArgs.empty() ? std::string() : FindProgram(vecArgs[0]);
    if (strProgram.empty())
    {
        result.m_strErrors = (vecArgs.empty() ? std::string("nothing") : vecArgs[0]) + ": not found";
        return result;
    }
    std::vector<char*> vecArgv;
    for (const std::string& strArg : vecArgs)
        vecArgv.push_back(const_cast<char*>(strArg.c_str()));
    vecArgv.push_back(nullptr);
    // Input and errors go through files, not pipes, so nothing can block:
    // the input is written before the program starts, the errors read after it ends.
    FILE* pInput = tmpfile();
    FILE* pErrors = tmpfile();
    int anPipe[2] = {-1, -1};
    const bool bReady = pInput && pErrors && pipe(anPipe) == 0 &&
                        fwrite(strInput.data(), 1, strInput.size(), pInput) == strInput.size() &&
                        fflush(pInput) == 0 && fseek(pInput, 0, SEEK_SET) == 0;
    const int nInput = bReady ? fileno(pInput) : -1, nErrors = bReady ? fileno(pErrors) : -1;
    const pid_t pid = bReady ? fork() : -1;
    if (pid == 0)
    {
        close(anPipe[0]);
        RunChild(strProgram.c_str(), vecArgv.data(), nInput, anPipe[1], nErrors);
    }
    if (anPipe[1] >= 0)
        close(anPipe[1]);
    if (pid > 0)
    {
        char szBuffer[65536];
        ssize_t n;
        while ((n = read(anPipe[0], szBuffer, sizeof(szBuffer))) != 0)
        {
            if (n > 0)
                result.m_strOutput.append(szBuffer, static_cast<size_t>(n));
            else if (errno != EINTR)
                break;
        }
        int nStatus = 0;
        pid_t nDone;
        do
            nDone = waitpid(pid, &nStatus, 0);
        while (nDone < 0 && errno == EINTR);
        if (nDone == pid && WIFEXITED(nStatus))
            result.m_nExitCode = WEXITSTATUS(nStatus);
        result.m_strErrors = ReadAll(pErrors);
    }
    if (anPipe[0] >= 0)
        close(anPipe[0]);
    if (pInput)
        fclose(pInput);
    if (pErrors)
        fclose(pErrors);
    return result;
}

}  // namespace salvix_test
