// Where the files of one save go under the chosen folder, and under which
// names: the folders of a save with folders made as they are first needed
// (their names made safe, "?\..." under "_unknown_folder"), and a name for
// each file that no earlier file or folder of the same save holds there:
// "report.txt", then "report (2).txt". A file that was in the folder before
// the save may be replaced under the entry's own name (unless read-only), as
// a single save would; a name made up here never replaces anything.
//
// Names are compared with their case folded, so a destination that ignores
// case never merges two files. Memory: a hash of each name given (16 bytes
// a file at most) and the folders made, whatever the size of the files.
#pragma once

#include "session/TargetPath.h"

#include <string>
#include <unordered_map>
#include <vector>

class CSaveTargets
{
public:
    CSaveTargets(std::string strChosen, size_t nNameMax, size_t nPathMax,
                 ETargetSystem eSystem = kThisTargetSystem);

    // The chosen folder.
    static const DWORD kChosen = 0;
    static const char* const kUnknownFolder;

    // The folder a folder text ("\文档\2024年", "?\x", "\") stands for under
    // the chosen folder, made with its parents as needed: 0 or the code of
    // the folder that could not be made.
    DWORD Folder(const std::string& strFolderText, DWORD& dwFolder);
    // A folder inside dwParent for a name of the volume (made safe here).
    DWORD ChildFolder(DWORD dwParent, const std::string& strName, DWORD& dwFolder);
    const std::string& FolderPath(DWORD dwFolder) const { return m_vecFolders[dwFolder].m_strPath; }

    // The path for a file named strName (any name of the volume; made safe
    // here, or "记录_<dwRecord>" without one) in dwFolder: strFinal is the
    // name it gets. bNeverReplace: a name whose file exists is not taken
    // either (the report). ERROR_FILENAME_EXCED_RANGE when not even a short
    // name fits the path.
    DWORD FileTarget(DWORD dwFolder, const std::string& strName, DWORD dwRecord, std::string& strTarget,
                     std::string& strFinal, bool bNeverReplace = false);

    static const unsigned kMaxNumber = 100000;

private:
    struct CFolder
    {
        std::string m_strPath;
    };
    // Room for a name in a folder: the system's name length, less what the
    // path already takes.
    size_t NameRoom(DWORD dwFolder) const;
    std::string Join(DWORD dwFolder, const std::string& strName) const;
    // Marks a name as given in a folder; false when it already was.
    bool Take(DWORD dwFolder, const std::string& strName);
    bool Taken(DWORD dwFolder, const std::string& strName) const;
    static unsigned long long Key(DWORD dwFolder, const std::string& strName);
    bool Insert(unsigned long long n64Key);
    bool Contains(unsigned long long n64Key) const;

    std::string m_strChosen;
    size_t m_nNameMax;
    size_t m_nPathMax;
    ETargetSystem m_eSystem;
    std::vector<CFolder> m_vecFolders;
    // A folder's child folders, by parent and folded name.
    std::unordered_map<std::string, DWORD> m_mapChildren;
    // The names given, as hashes of (folder, folded name) in an open table:
    // a rare false match only gives a file a number it did not need.
    std::vector<unsigned long long> m_vecTable;
    size_t m_nTaken = 0;
};
