// Runs the outside programs the tests compare with or make images with
// (The Sleuth Kit, mkntfs, sfdisk, ...): no shell, the arguments as given.
// POSIX only.
#pragma once

#include <string>
#include <vector>

namespace salvix_test
{

struct CProcessResult
{
    int m_nExitCode = -1;  // -1 when it could not start or did not exit by itself
    std::string m_strOutput;  // standard output
    std::string m_strErrors;  // standard error
    bool Ok() const { return m_nExitCode == 0; }
};

// Runs vecArgs[0] (looked for on PATH and in the system folders an ordinary
// user's PATH may lack) with strInput on its standard input.
CProcessResult RunProcess(const std::vector<std::string>& vecArgs, const std::string& strInput = std::string());

// The full path of a program found as RunProcess finds it; empty when missing.
std::string FindProgram(const std::string& strName);

}  // namespace salvix_test
