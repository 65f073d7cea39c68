// The decisions made once per synthetic patient, shared by every table that
// holds rows of the patient.
#pragma once

#include <cstdint>
#include <string>

struct PatientProfile {
    int pid = 0;
    int aid = 2;
    std::string nachname;
    std::string vorname;
    std::string titel;
    int geschlecht = 0;     // 1 male, 2 female
    int64_t birth = 0;      // seconds since 1970 (may be negative)
    int64_t admission = 0;  // aufnahmedatum
    int64_t firstVisit = 0;
    int64_t lastVisit = 0;    // latest billed service
    int privat = 0;           // 0 Kasse, 1 Privat, 2 BG, 3 Krankenhaus
    bool privatNull = false;  // privatpatient left null
    int quarters = 0;         // billing records (scheine); 0: no services at all
    // Open business that keeps the patient out of the archiving list.
    bool openService = false;    // unbilled service
    bool emptySchein = false;    // billing record without services
    bool openInvoice = false;    // private invoice not settled
    bool openReInvoice = false;  // invoice of re_rechnungen not settled
    bool openDmp = false;        // unbilled eDoku form
    bool cashBook = false;       // cash-book entry
    // An unbilled service of a chosen kind: sid -1 (none), 0, or 1 for the
    // patient's latest billing record; gordnung is its fee schedule. Some of
    // these keep the patient off the list, others not.
    struct Unbilled {
        int sid;
        int gordnung;
    };
    bool unbilled = false;
    Unbilled unbilledService{-1, 1};
    bool settledReInvoice = false;  // an invoice of re_rechnungen that is settled
    // Rows whose sid is null: a billing record, which no service can refer
    // to (open business), and a billed service, which refers to no record
    // (none).
    bool nullSidRecord = false;
    bool nullSidService = false;
    // Rows in every optional table, so that small practices cover all tables.
    bool full = false;
};
