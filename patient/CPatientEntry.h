// The master record of one patient (table "patienten" of a Velunda or
// archive database), loaded by patient id.
#pragma once

#include <cstdint>
#include <string>

class ODBCConnection;

class CPatientEntry {
  public:
    // The connection is not owned; null makes SetPID refuse with a message.
    explicit CPatientEntry(ODBCConnection* connection);

    // Loads the patient; true when a row was found. Every field is reset
    // first, so nothing of an earlier patient remains.
    bool SetPID(int32_t pid);

    std::string GetNachname() const { return nachname_; }
    std::string GetVorname() const { return vorname_; }
    std::string GetNamenszusatz() const { return namenszusatz_; }
    std::string GetTitel() const { return titel_; }
    std::string GetGeburtsdatum() const { return geburtsdatum_; }
    std::string GetOrt() const { return ort_; }
    std::string GetPlz() const { return plz_; }
    std::string GetStrasse() const { return strasse_; }
    int32_t GetPid() const { return pid_; }
    int32_t GetAid() const { return aid_; }
    int32_t GetBereiche() const { return bereiche_; }
    int32_t GetGordnung() const { return gordnung_; }
    int32_t GetUnfall() const { return unfall_; }
    int32_t GetInaktiv() const { return inaktiv_; }

  private:
    void Reset();

    ODBCConnection* connection_;
    int32_t aid_, aufnahmedatum_, familienstand_;
    std::string geburtsdatum_;
    int32_t geschlecht_, kartengueltigkeit_, kid_;
    std::string land_;
    int32_t lvorlage_;
    std::string nachname_, namenszusatz_, ort_;
    int32_t pid_;
    std::string plz_, statuszusatz_, strasse_, hausnummer_, vorsatzwort_, anschriftzusatz_, titel_,
        versichertennummer_;
    int32_t versichertenstatus_, vknr_;
    std::string vorname_;
    int32_t privatpatient_;
    std::string kassenname_;
    int32_t bereiche_, entbindung_, ktab_, hinweise_, gordnung_, unfall_, lastchange_, inaktiv_,
        pkasse_, wartestart_;
    std::string bild_;
    int32_t doc_[5];
    std::string kuerzel_;
    int32_t bgid_;
    std::string bgname_;
    int32_t kat_[6];
    int32_t bericht_, gkvAnid_;
};
