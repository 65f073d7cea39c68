// Lets the driver manager find the project's two ODBC drivers without any
// setting. unixODBC looks a driver up by the name in the connection string,
// in the system's odbcinst.ini (in $ODBCSYSINI, else /etc) and the user's
// ~/.odbcinst.ini. When neither registers both names, the registration that
// lies beside the program is used instead: ODBCSYSINI is pointed at its
// folder. unixODBC reads ODBCSYSINI once, at its first lookup, so this must
// run before the first ODBC call of the process.
#pragma once

#include <string>
#include <vector>

class OdbcDriverLocator {
  public:
    // The driver names of the two connection strings.
    static const std::vector<std::string>& DriverNames();

    // True when the odbcinst.ini file has a section with a library (Driver=)
    // for every driver name; section names match without regard to case.
    static bool RegistersDrivers(const std::string& iniFile);

    // The folders beside a program (given by the folder of its executable)
    // where a registration may lie: the odbc folder of the installed program
    // folder, build/odbc beside build/tamaro and the build's tools, and the
    // program folder of an installation seen from its bin folder.
    static std::vector<std::string> CandidateFolders(const std::string& executableDir);

    // The folder whose odbcinst.ini is to be used, or empty when the system's
    // or the user's file already registers the drivers, or no registration
    // lies beside the program.
    static std::string RegistrationFolder(const std::string& executableDir,
                                          const std::string& systemIni, const std::string& userIni);

    // Decides for this process and points ODBCSYSINI at the folder found.
    // Nothing happens when ODBCSYSINI or ODBCINSTINI is set: those are an
    // explicit choice (the tests make it). Returns the folder, or empty.
    static std::string UseRegistrationBesideProgram();
};
