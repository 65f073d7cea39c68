#include "tests/xvfb/RealProgram.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/Globals.h"
#include "tests/xvfb/XdoTool.h"

namespace xvfbtest {

using namespace testenv;

RealProgram::RealProgram() {
    UseBuiltDrivers();
}

RealProgram::~RealProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool RealProgram::Install(const std::string& kind, int patients, bool cases) {
    const fs::path cached = CachedPractice(kind, patients, cases ? "--cases" : "");
    if (cached.empty()) return false;
    fs::copy(cached / "Database", practice_.path() / "Database", fs::copy_options::recursive);
    // Firebird through the embedded engine: the server prefix is the folder.
    WriteFile(practice_.path() / "Network.cfg",
              "Path=" + practice_.str() + "\nFBConnect=" + practice_.str() + "\n");
    RegisterVelunda(practice_.path());
    MakeProgramDir(program_.path());
    return true;
}

void RealProgram::Start(const std::vector<std::string>& environment) {
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(program_.str().c_str()) != 0) _exit(126);
        setenv("TAMARO_LOCK_DIR", locks_.str().c_str(), 1);
        // F8 proposes verlauf.rtf in the home folder.
        setenv("HOME", program_.str().c_str(), 1);
        for (const std::string& e : environment) putenv(strdup(e.c_str()));
        const std::string err = (program_.path() / "stderr.txt").string();
        if (!freopen(err.c_str(), "w", stderr)) _exit(126);
        const std::string program = (testenv::ProgramDir() / "tamaro").string();
        execl(program.c_str(), program.c_str(), "AID=2", static_cast<char*>(nullptr));
        _exit(127);
    }
}

std::string RealProgram::Window(const std::string& caption, bool wait) {
    std::string id;
    for (int i = 0; i < (wait ? 200 : 1) && id.empty(); ++i) {
        if (i > 0) Pause(100);
        xdo::Run("search --name '^" + caption + "$'", &id);
    }
    return id.substr(0, id.find('\n'));
}

bool RealProgram::LogIn() {
    const std::string login = Window("Tamaro - Login");
    if (login.empty()) return false;
    xdo::Run("windowfocus --sync " + login);
    xdo::Key("Tab");
    xdo::Type("geheim");
    xdo::Key("Return");
    for (int i = 0; i < 100 && !Window("Tamaro - Login", false).empty(); ++i) Pause(100);
    main_ = Window("Tamaro");
    return !main_.empty();
}

void RealProgram::Keys(const std::string& keys) {
    xdo::Run("windowfocus --sync " + main_);
    xdo::Key(keys);
}

std::vector<std::string> RealProgram::SavedLog() {
    const fs::path file = program_.path() / "verlauf.rtf";
    std::error_code ec;
    fs::remove(file, ec);
    Keys("F8");
    std::string dialog;
    for (int i = 0; i < 30 && dialog.empty(); ++i) {
        Pause(100);
        dialog = Window("Verlauf speichern unter...", false);
    }
    if (dialog.empty()) return {};
    // The dialog proposes verlauf.rtf in the home folder and does not ask
    // before replacing a file.
    xdo::Run("windowfocus --sync " + dialog);
    xdo::Key("Return");
    for (int i = 0; i < 100 && !fs::exists(file); ++i) Pause(100);
    // Keys sent next belong to the main window: the dialog must be gone.
    for (int i = 0; i < 100 && !Window("Verlauf speichern unter...", false).empty(); ++i)
        Pause(100);
    return RtfLines(ReadFile(file));
}

bool RealProgram::WaitStopped() {
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        const pid_t got = waitpid(pid_, &status, WUNTRACED | WNOHANG);
        if (got == pid_) {
            if (WIFSTOPPED(status)) return true;
            pid_ = -1;
            return false;
        }
        Pause(100);
    }
    return false;
}

int RealProgram::Ended() {
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        Pause(100);
    }
    return -1;
}

std::string RealProgram::Stderr() const {
    return ReadFile(program_.path() / "stderr.txt");
}

std::string RealProgram::SanitizerReport() const {
    const std::string err = Stderr();
    for (const char* mark : {"ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"}) {
        const size_t at = err.find(mark);
        if (at != std::string::npos) return err.substr(at, 4000);
    }
    return {};
}

bool RealProgram::Open(ArchiveDbPair& db) {
    DatabaseDir = ServerPath = (practice_.path() / "Database").string();
    return Connect(db);
}

bool RealProgram::Execute(const std::string& file, const std::string& sql) {
    ArchiveDbPair db{"x", file, ""};
    if (!Open(db)) return false;
    bool ok;
    {
        ODBCStmt stmt(db.Connection);
        ok = stmt.ExecDirect(sql);
    }
    db.Connection.Disconnect();
    return ok;
}

void RealProgram::Pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
    return n;
}

size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix, size_t from) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return lines.size();
}

std::vector<std::string> RtfLines(const std::string& rtf) {
    // The text begins after the header's last control word; "\par" ends a
    // line, "\'xx" is a byte, other control words switch colour or bold.
    const std::string start = "\\fs20 ";
    size_t i = rtf.find(start);
    if (i == std::string::npos) return {};
    i += start.size();
    std::vector<std::string> lines(1);
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '}') break;
        if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            lines.back() += c;
            ++i;
        } else if (i + 1 < rtf.size() &&
                   (rtf[i + 1] == '\\' || rtf[i + 1] == '{' || rtf[i + 1] == '}')) {
            lines.back() += rtf[i + 1];
            i += 2;
        } else if (i + 3 < rtf.size() && rtf[i + 1] == '\'') {
            lines.back() += char(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
            i += 4;
        } else {
            size_t end = i + 1;
            while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) ++end;
            const std::string word = rtf.substr(i + 1, end - i - 1);
            while (end < rtf.size() &&
                   (std::isdigit(static_cast<unsigned char>(rtf[end])) || rtf[end] == '-'))
                ++end;
            if (end < rtf.size() && rtf[end] == ' ') ++end;
            if (word == "par") lines.emplace_back();
            if (word == "tab") lines.back() += '\t';
            i = end;
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

}  // namespace xvfbtest
