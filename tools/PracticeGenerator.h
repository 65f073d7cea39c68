// Writes a synthetic practice installation (the eight Velunda databases of
// one kind, id files, optionally Network.cfg) and empty archive templates.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/BatchWriter.h"
#include "tools/InsertBuilder.h"
#include "tools/OdbcSession.h"
#include "tools/PatientProfile.h"
#include "tools/PracticeOptions.h"

class PracticeGenerator {
  public:
    explicit PracticeGenerator(PracticeOptions options);

    bool Generate();
    // An empty archive database at schema version 68; the kind follows the
    // file's extension (.fdb or .mdb).
    static bool WriteTemplate(const std::string& file, std::string& error);

    const std::string& Error() const { return error_; }
    // Rows written per table, and seconds spent per database file.
    const std::map<std::string, long>& RowCounts() const { return rows_; }
    const std::vector<std::pair<std::string, double>>& Timings() const { return timings_; }

    // Users and passwords written to passwd (plain text, for the report).
    struct User {
        int lid;
        const char* login;
        const char* password;
        int aid;
        int deleted;
        bool mayUseTamaro;
    };
    static const std::vector<User>& Users();
    // Stored form of a password: every byte lowered by 10, modulo 256.
    static std::string StoredPassword(const std::string& plain);

  private:
    // Why a path whose name code page 1252 cannot hold is refused.
    static std::string UnrepresentablePath(const std::string& path);
    static bool CreateDatabase(PracticeKind kind, const std::string& file,
                               const std::string& script, OdbcSession& session, std::string& error);
    bool Put(BatchWriter& writer, const InsertBuilder& row);
    bool WriteDatabases();
    bool WriteDatabase(const std::string& name);
    void BuildProfiles();
    void AddCaseProfiles();

    void WriteMain(BatchWriter& s);
    void WritePatient(BatchWriter& s, const PatientProfile& p);
    void WriteServices(BatchWriter& s, const PatientProfile& p);
    void WriteMainExtras(BatchWriter& s, const PatientProfile& p);
    void WriteIfap(BatchWriter& s, const PatientProfile& p);
    void WriteForm(BatchWriter& s, const PatientProfile& p);
    void WriteLdt(BatchWriter& s, const PatientProfile& p);
    void WriteMed(BatchWriter& s, const PatientProfile& p);
    void WriteRechnung(BatchWriter& s, const PatientProfile& p);
    void WriteKassenbuch(BatchWriter& s, const PatientProfile& p);
    void WriteKartei(BatchWriter& s, const PatientProfile& p);
    bool WriteSideFiles();

    PracticeOptions opt_;
    std::string databaseDir_;
    std::vector<PatientProfile> patients_;
    std::map<std::string, long> rows_;
    std::vector<std::pair<std::string, double>> timings_;
    std::string error_;
    bool failed_ = false;
};
