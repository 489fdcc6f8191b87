// quillnest-cli COMMAND ...: argument handling and dispatch.
#include "cli/cli.h"

#include "store/safe_file.h"

#include <wx/init.h>
#include <wx/log.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace qn;
using namespace qn::cli;

namespace {

const char kProgram[] = "quillnest-cli";

// The engine logs every failed statement ("Database::saveOneBlock update
// 13"); a command that fails says why in one line of its own, so those
// lines go to standard error only with QUILLNEST_DEBUG set.  Warnings and
// errors of the toolkit always do.
class CliLog : public wxLog {
public:
    explicit CliLog(bool debug) : debug_(debug) {}

protected:
    void DoLogTextAtLevel(wxLogLevel level, const wxString& msg) override {
        if (level > wxLOG_Warning && !debug_) return;
        wxScopedCharBuffer b = msg.utf8_str();
        std::fwrite(b.data(), 1, b.length(), stderr);
        std::fputc('\n', stderr);
    }

private:
    bool debug_;
};

void printOverview(std::FILE* to) {
    std::fprintf(to, "usage: %s COMMAND [ARGUMENTS] [OPTIONS]\n\ncommands:\n", kProgram);
    for (const CommandDef& c : commands())
        std::fprintf(to, "  %-9s %s\n", c.name, c.synopsis);
    std::fprintf(to,
                 "\n'%s COMMAND --help' describes a command; --version shows the version.\n"
                 "Exit status: 0 success, 1 the operation failed, 2 bad usage.\n"
                 "QUILLNEST_DEBUG=1 shows the engine's log lines on standard error.\n",
                 kProgram);
}

void printCommandHelp(const CommandDef& c) {
    std::printf("usage: %s %s %s\n\n%s", kProgram, c.name, c.synopsis, c.help);
    for (const OptionDef& o : c.options)
        if (std::strcmp(o.name, "password-file") == 0)
            std::printf("  --password-file F   the document's password is the first line of F\n"
                        "                      (otherwise it is asked on the terminal)\n");
}

const CommandDef* findCommand(const char* name) {
    for (const CommandDef& c : commands())
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

// Options may stand anywhere after the command; "--" ends them.
Invocation parse(const CommandDef& def, int argc, char** argv, bool& wantsHelp) {
    Invocation inv;
    inv.command = wxString::FromAscii(def.name);
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            inv.positional.push_back(argText(arg));
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            wantsHelp = true;
            return inv;
        }
        if (std::strncmp(arg, "--", 2) != 0)
            usageError(wxString::Format(wxS("unknown option %s (see '%s %s --help')"), argText(arg),
                                        wxASCII_STR(kProgram), wxASCII_STR(def.name)));
        std::string name(arg + 2);
        const char* inlineValue = nullptr;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            inlineValue = arg + 2 + eq + 1;
            name.resize(eq);
        }
        const OptionDef* opt = nullptr;
        for (const OptionDef& o : def.options)
            if (name == o.name) opt = &o;
        if (!opt)
            usageError(wxString::Format(wxS("unknown option --%s for '%s' (see '%s %s --help')"),
                                        wxString::FromUTF8(name.c_str()), wxASCII_STR(def.name),
                                        wxASCII_STR(kProgram), wxASCII_STR(def.name)));
        if (opt->takesValue) {
            if (inlineValue) {
                inv.options[name] = argText(inlineValue);
            } else if (i + 1 < argc) {
                inv.options[name] = argText(argv[++i]);
            } else {
                usageError(wxString::Format(wxS("option --%s needs a value"),
                                            wxString::FromUTF8(name.c_str())));
            }
        } else {
            if (inlineValue)
                usageError(wxString::Format(wxS("option --%s takes no value"),
                                            wxString::FromUTF8(name.c_str())));
            inv.options[name] = wxString();
        }
    }
    if (inv.positional.size() < def.minArgs || inv.positional.size() > def.maxArgs)
        usageError(wxString::Format(wxS("usage: %s %s %s"), wxASCII_STR(kProgram),
                                    wxASCII_STR(def.name), wxASCII_STR(def.synopsis)));
    return inv;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    installSqliteFailureWatch(); // before SQLite is first used
    wxInitializer init;
    if (!init.IsOk()) {
        std::fprintf(stderr, "%s: cannot initialise\n", kProgram);
        return EXIT_FAILED;
    }
    const char* debug = std::getenv("QUILLNEST_DEBUG");
    delete wxLog::SetActiveTarget(new CliLog(debug && *debug && std::strcmp(debug, "0") != 0));
    wxLog::DisableTimestamp();

    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", kProgram, QN_VERSION);
        return EXIT_OK;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        if (argc >= 3 && std::strcmp(argv[1], "help") == 0) {
            if (const CommandDef* c = findCommand(argv[2])) {
                printCommandHelp(*c);
                return EXIT_OK;
            }
        }
        printOverview(argc < 2 ? stderr : stdout);
        return argc < 2 ? EXIT_USAGE : EXIT_OK;
    }
    const CommandDef* def = findCommand(argv[1]);
    if (!def) {
        std::fprintf(stderr, "%s: unknown command '%s' (see '%s --help')\n", kProgram, argv[1],
                     kProgram);
        return EXIT_USAGE;
    }
    try {
        bool wantsHelp = false;
        Invocation inv = parse(*def, argc - 2, argv + 2, wantsHelp);
        if (wantsHelp) {
            printCommandHelp(*def);
            return EXIT_OK;
        }
        int rc = def->run(inv);
        std::fflush(stdout);
        if (std::ferror(stdout)) fail(wxS("cannot write to standard output"));
        return rc;
    } catch (const Failure& f) {
        std::fflush(stdout);
        printError(wxString::FromAscii(kProgram) + wxS(": ") + f.message);
        return f.code;
    }
}
