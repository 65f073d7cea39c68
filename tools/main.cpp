// tamaro-mkpractice: writes a synthetic Velunda practice installation, or an
// empty archive template, through the project's ODBC drivers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/OldSchemas.h"
#include "platform/OdbcDriverLocator.h"
#include "tools/PracticeGenerator.h"
#include "tools/SchemaScript.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: tamaro-mkpractice DIR [--kind fdb|mdb] [--patients N] [--seed N]\n"
                 "                         [--network] [--fbconnect PREFIX] [--now SECONDS]\n"
                 "                         [--register] [--force] [--cases]\n"
                 "       tamaro-mkpractice --template OUT.fdb|OUT.mdb\n"
                 "       tamaro-mkpractice --print-schema NAME [--kind fdb|mdb]\n"
                 "       tamaro-mkpractice --old-archive OUT.fdb|OUT.mdb --version N\n"
                 "       tamaro-mkpractice --apply NAME DATABASE.fdb|DATABASE.mdb\n");
}

bool ParseNumber(const char* text, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end && *end == 0 && end != text;
}

// The per-user key file that stands in for the registry value Velunda\path.
bool Register(const std::string& dir) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path base = xdg && *xdg ? std::filesystem::path(xdg)
                                 : home      ? std::filesystem::path(home) / ".config"
                                             : std::filesystem::path();
    if (base.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(base / "Kvarn", ec);
    std::ofstream out(base / "Kvarn" / "Velunda.conf", std::ios::trunc);
    out << "path=" << dir << "\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    // Before the first ODBC call: the driver manager reads its registration once.
    OdbcDriverLocator::UseRegistrationBesideProgram();
    PracticeOptions opt;
    std::string templateFile;
    std::string printSchema;
    std::string oldArchive;
    long long oldVersion = -1;
    std::string applyScript;
    bool doRegister = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tamaro-mkpractice: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        long long n = 0;
        if (a == "--kind") {
            std::string k = value("--kind");
            if (k == "fdb")
                opt.kind = PracticeKind::Firebird;
            else if (k == "mdb")
                opt.kind = PracticeKind::Access;
            else {
                Usage();
                return 2;
            }
        } else if (a == "--patients") {
            if (!ParseNumber(value("--patients"), n) || n < 0 || n > 1000000) {
                std::fprintf(stderr, "tamaro-mkpractice: --patients takes 0 to 1000000\n");
                return 2;
            }
            opt.patients = static_cast<int>(n);
        } else if (a == "--seed") {
            if (!ParseNumber(value("--seed"), n)) {
                Usage();
                return 2;
            }
            opt.seed = static_cast<uint64_t>(n);
        } else if (a == "--now") {
            if (!ParseNumber(value("--now"), n)) {
                Usage();
                return 2;
            }
            opt.now = n;
        } else if (a == "--network") {
            opt.network = true;
        } else if (a == "--fbconnect") {
            opt.network = true;
            opt.fbConnect = value("--fbconnect");
        } else if (a == "--register") {
            doRegister = true;
        } else if (a == "--force") {
            opt.force = true;
        } else if (a == "--cases") {
            opt.cases = true;
        } else if (a == "--template") {
            templateFile = value("--template");
        } else if (a == "--print-schema") {
            printSchema = value("--print-schema");
        } else if (a == "--old-archive") {
            oldArchive = value("--old-archive");
        } else if (a == "--version") {
            if (!ParseNumber(value("--version"), oldVersion)) {
                Usage();
                return 2;
            }
        } else if (a == "--apply") {
            applyScript = value("--apply");
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (!a.empty() && a[0] != '-' && opt.dir.empty()) {
            opt.dir = a;
        } else {
            Usage();
            return 2;
        }
    }

    if (!printSchema.empty()) {
        // The translated script, for isql-fb or for reading.
        std::vector<std::string> statements;
        if (!SchemaScript::Statements(printSchema, opt.kind, statements)) {
            std::fprintf(stderr, "tamaro-mkpractice: no schema %s\n", printSchema.c_str());
            return 1;
        }
        for (const std::string& sql : statements) std::printf("%s;\n\n", sql.c_str());
        return 0;
    }
    if (!oldArchive.empty() || !applyScript.empty()) {
        std::string error;
        const bool ok =
            !oldArchive.empty()
                ? oldVersion >= 0 &&
                      WriteOldArchive(oldArchive, int(std::min(oldVersion, 1000LL)), error)
                : !opt.dir.empty() && ApplySchemaScript(applyScript, opt.dir, error);
        if (!ok) {
            if (error.empty())
                Usage();
            else
                std::fprintf(stderr, "tamaro-mkpractice: %s\n", error.c_str());
            return error.empty() ? 2 : 1;
        }
        return 0;
    }
    if (!templateFile.empty()) {
        std::string error;
        if (!PracticeGenerator::WriteTemplate(templateFile, error)) {
            std::fprintf(stderr, "tamaro-mkpractice: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (opt.dir.empty()) {
        Usage();
        return 2;
    }

    auto start = std::chrono::steady_clock::now();
    PracticeGenerator gen(opt);
    if (!gen.Generate()) {
        std::fprintf(stderr, "tamaro-mkpractice: %s\n", gen.Error().c_str());
        return 1;
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    long total = 0;
    for (const auto& [table, rows] : gen.RowCounts()) total += rows;
    for (const auto& [file, seconds] : gen.Timings())
        std::printf("%-16s %7.2f s\n", file.c_str(), seconds);
    std::printf("%d patients, %ld rows in %.2f s\n", opt.patients, total, took.count());
    std::printf("users (login/password): ");
    for (const auto& u : PracticeGenerator::Users()) {
        std::printf("%s/%s%s ", u.login, u.password,
                    u.deleted        ? " (deleted)"
                    : u.mayUseTamaro ? ""
                                     : " (no Tamaro right)");
    }
    std::printf("\n");
    std::string dir = std::filesystem::absolute(opt.dir).lexically_normal().string();
    if (!dir.empty() && dir.back() == '/') dir.pop_back();
    if (doRegister && !Register(dir)) {
        std::fprintf(stderr, "tamaro-mkpractice: cannot write Kvarn/Velunda.conf\n");
        return 1;
    }
    if (opt.kind == PracticeKind::Firebird && !opt.network)
        std::printf(
            "without Network.cfg Tamaro reaches the .fdb files through a Firebird server "
            "at 127.0.0.1 (--network: directly)\n");
    // The line for $XDG_CONFIG_HOME/Kvarn/Velunda.conf that points Tamaro here.
    std::printf("path=%s\n", dir.c_str());
    return 0;
}
