// The folders and data files of the product suite: the program's own folder with its data
// subfolder and suite databases, the user's suite and product folders, the geodata folder
// and the user data folder with its subfolders. Every folder ends with "/".
//
// Entries under the program's folder are filled by Setup. Entries under the user's
// folders are resolved on first use, so that a run never fails over a user folder it does
// not need; the home folder comes from $HOME, else from the password database. Only a
// getter of a user folder raises "No user home dir", and only when no home is known.
#pragma once

#include <string>
#include <string_view>

#include "sysutils.h"

namespace zqt_dirs {

class TZQS_Dirs {
public:
    // Fills the program entries (once; getters fill them with the defaults when Setup was
    // never called), then replaces the two antennas databases by the non-empty arguments.
    // DataSubfolder is the data folder's name under the program's folder ("Data").
    static void Setup(const std::string& AntennasDb, const std::string& AntennasExtDb,
                      const std::string& DataSubfolder = "Data");
    // Forgets every entry (the next use fills the table again).
    static void Reset();

    // ---- under the program's folder --------------------------------------------------
    static std::string ProgramPath();  // the program file
    static std::string ProgramDir();   // P
    static std::string DataDir();      // D = P + "Data/"
    static std::string AntennasDbName();
    static std::string AntennasExtDbName();
    static std::string ContoursDir();  // D + "Contours"
    static std::string DefaultsDbName();
    static std::string FtpDbName();
    static std::string StationsDbName();

    // ---- under the user's folders (resolved on first use) ------------------------------
    static std::string SuiteDir();    // application-data folder + "Tervan GNSS/"
    static std::string ProductDir();  // SuiteDir + "Haldor/"
    static std::string GeoDataDir();  // G
    static std::string CoordinateSystemDbName();
    static std::string UserDataDir();  // U = documents folder + "Haldor/"
    static std::string CatalogDbName();
    static std::string ReferencePointsDir();
    static std::string ReferencePointsParamFile();
    static std::string CamerasDir();
    static std::string CamerasParamFile();
    static std::string CoordinateSystemsDir();
    static std::string CoordinateSystemsParamFile();
    static std::string LogsDir();
    static std::string ImportTemplateFile();
    static std::string UserAntennasDbName();
    static std::string ProjectTemplatesDir();

    // ---- the user's folders ----------------------------------------------------------
    // $HOME, else the home folder of the password database; "" when neither is known.
    static std::string HomeDir();
    // $XDG_DOCUMENTS_DIR, else home + "Documents/"; raises "No user home dir".
    static std::string DocumentsDir();
    // $XDG_DATA_HOME, else home + ".local/share/"; raises "No user home dir".
    static std::string AppDataDir();
};

namespace detail {
// The documents folder from its two sources (either may be empty); raises
// "No user home dir" when both are.
std::string DocumentsDirFrom(std::string_view XdgDocuments, std::string_view Home);
// The geodata folder: the suite folder's "GeoData/" when CoordinateSystemDB.db3 is there,
// else the program folder's when it is there, else the first "GeoData" folder found in
// the program folder's parents, else the program folder's "GeoData/". SuiteDir may be "".
std::string FindGeoDataDir(const std::string& SuiteDir, const std::string& ProgramDir);
}  // namespace detail

}  // namespace zqt_dirs
