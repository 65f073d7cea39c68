// The rights of the logged-in user. Velunda grants numbered tokens to groups
// and puts users into groups; a user holds a token when one of the user's
// groups is granted it. Token 154 admits a user to Tamaro. The rights are
// read once, at the login, from the main Velunda database.
#pragma once

#include <cstdint>
#include <vector>

class ODBCConnection;

// The token that admits a user to this program.
constexpr int32_t ProgramRightToken = 154;
// Token numbers come from the database; the flags never cover more than
// this many, so that a stray huge number cannot make them take gigabytes.
// Velunda's tokens stay far below it.
constexpr int32_t MaxTokenCount = 65536;

class UserRights {
  public:
    // Reads the tokens of user lid: the token count from the highest number
    // of "uac_token", then the tokens of the user's groups. Failures are not
    // reported; they leave fewer or no tokens.
    void Load(ODBCConnection& connection, int32_t lid);
    // True when the user holds token n; numbers outside the flags grant nothing.
    bool Holds(int32_t token) const;

    ODBCConnection* Connection() const { return connection_; }
    int32_t UserId() const { return lid_; }
    int32_t TokenCount() const { return int32_t(flags_.size()); }

  private:
    ODBCConnection* connection_ = nullptr;  // not owned
    int32_t lid_ = -1;
    std::vector<uint8_t> flags_;  // one per token number, 1 when held
};

// The process-wide rights record.
UserRights& TheUserRights();

// Loads the process-wide rights of the current user (CurrentLid) from connection.
void LoadRights(ODBCConnection& connection);
// True when the loaded rights hold ProgramRightToken; otherwise shows
// "Sie haben keine Berechtigung für diese Funktion." and returns false.
bool HasProgramRight();
