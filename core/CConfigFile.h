// A small key=value settings file kept in memory line by line ("Tamaro.cfg",
// Velunda's "Network.cfg", the registry stand-in files). Lines that match no
// key, comments included, are written back unchanged and in their place.
// The path is code page 1252 text, as every path inside the program.
#pragma once

#include <string>
#include <vector>

class CConfigFile {
  public:
    CConfigFile() = default;
    virtual ~CConfigFile() = default;
    CConfigFile(const CConfigFile&) = delete;
    CConfigFile& operator=(const CConfigFile&) = delete;

    // Non-empty value as a base-10 integer (blanks and a sign allowed, stops at
    // the first non-digit, no digits give 0); a missing or empty value gives def.
    virtual int GetInt(const std::string& key, int def);
    virtual void SetInt(const std::string& key, int value);
    // Decoded value of the first matching line, or def.
    virtual std::string GetString(const std::string& key, const std::string& def = {});
    // Replaces the first matching line by key=value, or appends one.
    virtual void SetString(const std::string& key, const std::string& value);
    // Writes every line with CR LF; false when the file cannot be written.
    virtual bool Save();
    // Remembers path and reads its lines; false (and no lines) when it cannot be opened.
    virtual bool Load(const std::string& path);

    const std::string& Path() const { return path_; }
    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    // Index of the first line that matches key, or -1.
    int FindKey(const std::string& key) const;

    std::string path_;
    std::vector<std::string> lines_;
};
