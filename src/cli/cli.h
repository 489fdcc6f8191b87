// quillnest-cli: the document engine on the command line.
#pragma once

#include "store/database.h"

#include <wx/string.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qn::cli {

// Exit codes.
enum Exit : int { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

// A failure that ends the command with a one-line message on standard error.
struct Failure {
    int code;
    wxString message;
};
[[noreturn]] void fail(const wxString& message);
[[noreturn]] void usageError(const wxString& message);

// The parsed arguments of one command.
struct Invocation {
    wxString command;
    std::vector<wxString> positional;
    std::map<std::string, wxString> options; // name without "--"; flags map to ""

    bool has(const char* name) const { return options.count(name) != 0; }
    wxString value(const char* name, const wxString& fallback = wxString()) const;
};

struct OptionDef {
    const char* name;
    bool takesValue;
};

struct CommandDef {
    const char* name;
    const char* synopsis; // arguments after the command name
    const char* help;     // what it does, and its options
    size_t minArgs, maxArgs;
    std::vector<OptionDef> options;
    int (*run)(const Invocation&);
};

const std::vector<CommandDef>& commands();

// Text from an argument or a file: the locale's code page, else UTF-8.
wxString argText(const char* arg);
// Bytes for standard output and error: UTF-8.
void printLine(const wxString& line);
void printError(const wxString& line);
void writeOut(const std::string& bytes);

// The password of a protected file: the first line of --password-file, or
// asked on the terminal without echo.  `prompt` is shown on the terminal.
wxString readPassword(const Invocation& inv, const char* fileOption, const wxString& prompt);
// Whole contents of a file ("-" reads standard input).
// False when the file cannot be read or holds more than `limit` bytes
// (`tooLarge` then says so, and nothing beyond the limit was read).
bool readFileBytes(const wxString& path, std::string& out, size_t limit = SIZE_MAX,
                   bool* tooLarge = nullptr);

// Opens a document for reading and writing; with `unlock`, a protected
// document's password is asked for and its cipher installed.  `index` says
// when the block index is read (a command that only searches lets the
// search read it).
void openDocument(Database& db, const wxString& path, const Invocation& inv, bool unlock,
                  Database::IndexMode index = Database::IndexMode::AtOpen,
                  wxString* password = nullptr);

// Takes the document's write lock for a command that is about to change it.
// When another program committed since the document was opened, the
// document is read again under the lock and unlocked again with `password`
// (the one it was opened with); fails with a message when the lock cannot
// be had or the other program changed the protection.
// A command that changes the protection itself (`protection`) also stops
// when the other program changed it: its change was asked of another state.
void beginWriting(Database& db, const wxString& path, const wxString& password,
                  bool protection = false);

// Why writing the file at `path` (about `bytes` long) failed, in words for
// a person: what SQLite reported last (or the lock `db` could not get),
// else what the folder shows.
wxString writeFailureReason(const wxString& path, unsigned long long bytes,
                            const Database* db = nullptr);

// A shipped or user configuration file: the application data directory
// first, then the configuration the program ships with; "" when neither
// has it.
wxString configFile(const wxString& name);
// A value from a configuration file ("" when the file or key is missing).
wxString configValue(const wxString& file, const wxString& key);

} // namespace qn::cli
