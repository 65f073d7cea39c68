// The program's help text and its answers to --help and --version, which need
// neither a display nor a database. Every option of the program is listed
// here, and in the manual page tamaro(1) (packaging/tamaro.1).
#pragma once

class Usage {
  public:
    // The help text, code page 1252 like all text of the engine.
    static const char* Text();

    // When the arguments ask for --help or --version, prints the help text or
    // the version text (UTF-8) to standard output and returns true with the
    // exit status 0; otherwise returns false.
    static bool Answer(int argc, char** argv, int& status);
};
