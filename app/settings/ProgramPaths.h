// Where the program keeps its files: the program folder (PX740_HOME, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/PX740), the settings store under
// ${XDG_CONFIG_HOME:-$HOME/.config}/PX740, and the installed data folder that seeds the language
// files and Format.ini. The sister build uses its own title in every name.
#pragma once

#include <string>

namespace px {

struct ProgramPaths {
    std::string title;        // "PX740" or "PX745"
    std::string folder;       // program folder, without a final "/"
    std::string settingsFile; // the settings store
    std::string dataDir;      // delivered data (Language/, Format.ini); may be empty

    static ProgramPaths Resolve(const std::string& title);

    // folder + "/" + relative
    std::string In(const std::string& relative) const { return folder + "/" + relative; }
    std::string RecordsDir() const { return folder + "/Records/"; }

    // Creates the program folder, Records/, Logfiles/ and Records/MailFile/ when missing.
    bool EnsureFolders(std::string* error) const;
    // Copies Language/ and Format.ini from the data folder when they are missing.
    void SeedData() const;
    // Removes what writes killed half-way left of the files the program replaces whole (info
    // file, terminal directory, time table, record counters, settings store, port map, link
    // registration); the temporary files of live writes stay.
    void RemoveStaleTemporaries() const;
};

} // namespace px
