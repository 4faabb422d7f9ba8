// salvix-cli: lists and saves the files of NTFS, FAT and exFAT partitions without a window.
// The arguments are parsed here; the commands live in Commands.cpp.
#include "SalvixVersion.h"
#include "cli/Commands.h"
#include "platform/Platform.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace
{

// The arguments as UTF-8, whatever the system's code page.
std::vector<std::string> Arguments(int argc, char** argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::vector<std::string> vecArgs;
    int nArgs = 0;
    LPWSTR* ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    for (int i = 0; ppszArgs && i < nArgs; ++i)
        vecArgs.push_back(Utf8FromWide(ppszArgs[i]));
    if (ppszArgs)
        LocalFree(ppszArgs);
    return vecArgs;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

void AddSourceOptions(CLI::App& command, CSourceOptions& source)
{
    command.add_option("IMAGE", source.m_vecImages,
                       "Disk images or devices to read (default: the disks the window lists)");
    command.add_option("-p,--partition", source.m_strPartition,
                       "The partition, as `disks` names it (\"NTFS Drive 2\") or by its number (2)")
        ->required();
    command.add_option("--disk", source.m_nDisk, "The disk the partition is on, by its number in `disks`")
        ->check(CLI::NonNegativeNumber);
}

void AddFilterOptions(CLI::App& command, CRowChoice& choice)
{
    command.add_flag("--deleted", choice.m_bDeletedOnly, "Deleted files and folders only");
    command.add_flag("--recoverable", choice.m_bRecoverableOnly,
                     "Deleted files none of whose clusters another file holds now (state recoverable)");
    command.add_option("--match", choice.m_strMatch,
                       "Only rows whose name or folder holds TEXT (case does not matter)");
}

struct CParsed
{
    CSourceOptions m_source;
    CRowChoice m_choice;
    CSaveOptions m_save;
    bool m_bJson = false;
    std::string m_strFormat = "tsv";
    bool m_bForce = false;
    CLI::App* m_pDisks = nullptr;
    CLI::App* m_pList = nullptr;
    CLI::App* m_pSave = nullptr;
};

// The three commands and their options, parsed into p.
void DefineCommands(CLI::App& app, CParsed& p)
{
    app.set_version_flag("--version", std::string("salvix-cli ") + SALVIX_VERSION);
    app.require_subcommand(1);
    app.footer(kExitCodesHelp);

    p.m_pDisks = app.add_subcommand("disks", "The disks and their partitions, as the window's tree shows them");
    p.m_pDisks->add_option("IMAGE", p.m_source.m_vecImages, "Disk images or devices to read");
    p.m_pDisks->add_flag("--json", p.m_bJson, "One JSON document instead of the tree as text");

    p.m_pList = app.add_subcommand("list", "One line per file or folder of a partition, deleted ones included");
    AddSourceOptions(*p.m_pList, p.m_source);
    AddFilterOptions(*p.m_pList, p.m_choice);
    p.m_pList->add_option("--format", p.m_strFormat, "tsv (a header line, then tab-separated lines) or json (JSON lines)")
        ->check(CLI::IsMember({"tsv", "json"}));

    p.m_pSave = app.add_subcommand("save", "Saves chosen rows' files into a folder");
    AddSourceOptions(*p.m_pSave, p.m_source);
    AddFilterOptions(*p.m_pSave, p.m_choice);
    p.m_pSave->add_option("--record", p.m_choice.m_vecRecords, "The rows to save, by the number `list` gives them")
        ->delimiter(',')
        ->excludes("--deleted")
        ->excludes("--recoverable")
        ->excludes("--match");
    p.m_pSave->add_flag("--folders", p.m_save.m_bFolders,
                        "Keep the folders: each file under its folder path; a folder saves its whole tree");
    p.m_pSave->add_option("-o,--output", p.m_save.m_strOutput, "The folder to save into (made when missing)")
        ->required();
    p.m_pSave->add_flag("--force", p.m_bForce, "Save even into a folder on the disk being read");
    for (CLI::App* pCommand : {p.m_pDisks, p.m_pList, p.m_pSave})
        pCommand->footer(kExitCodesHelp);
}

// Parses the arguments and runs the command given.
int Run(const std::vector<std::string>& vecArgs)
{
    CLI::App app("salvix-cli: lists and saves the files of NTFS, FAT and exFAT partitions, deleted ones included,\n"
                 "reading disks and disk images directly and never writing to them.",
                 "salvix-cli");
    CParsed p;
    DefineCommands(app, p);
    // CLI11 takes the words after the program's name last first.
    std::vector<std::string> vecWords(vecArgs.rbegin(), vecArgs.rend() - (vecArgs.empty() ? 0 : 1));
    try
    {
        app.parse(vecWords);
        if (*p.m_pSave && p.m_choice.m_vecRecords.empty() && !p.m_choice.m_bDeletedOnly &&
            !p.m_choice.m_bRecoverableOnly && p.m_choice.m_strMatch.empty())
            throw CLI::ValidationError("say which rows to save: --record N, --deleted, --recoverable or --match TEXT");
    }
    catch (const CLI::ParseError& e)
    {
        if (e.get_exit_code() == 0)
            return app.exit(e);  // --help, --version
        PrintError(std::string(e.what()) + " (salvix-cli --help explains the usage).");
        return eExitUsage;
    }
    UseImages(p.m_source.m_vecImages);
    if (*p.m_pDisks)
        return PrintDisks(stdout, p.m_bJson);
    if (*p.m_pList)
        return RunList(p.m_source, p.m_choice, p.m_strFormat == "json", stdout);
    return RunSave(p.m_source, p.m_choice, p.m_save, p.m_bForce);
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Bytes out as they are: UTF-8, "\n" line ends, on a console too.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return Run(Arguments(argc, argv));
}
