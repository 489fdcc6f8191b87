// The commands of quillnest-cli.
#include "cli/cli.h"

#include "app/ini_file.h"
#include "app/text_constants.h"
#include "frame/markdown_exporter.h"
#include "frame/text_exporter.h"
#include "store/database.h"
#include "store/legacy.h"
#include "store/safe_file.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <set>

namespace qn::cli {

namespace {

int parseId(const wxString& text, const char* what) {
    long v = 0;
    if (!text.ToLong(&v) || v < INT_MIN || v > INT_MAX)
        usageError(
            wxString::Format(wxS("%s must be a whole number, not '%s'"), wxASCII_STR(what), text));
    return static_cast<int>(v);
}

wxString absolute(const wxString& path) {
    wxFileName f(path);
    f.MakeAbsolute();
    return f.GetFullPath();
}

// Option letters end up in "arcfour,md5,<letters>": a comma would split them.
wxString checkedOptions(const wxString& letters) {
    if (letters.Find(',') != wxNOT_FOUND) usageError(wxS("--options must not contain a comma"));
    return letters;
}

// How a new protection is made: sealed unless --compatible asks for the
// legacy form; its option letters only mean something there.
Protection protectionFor(const Invocation& inv, const wxString& defaultOptions) {
    Protection how;
    how.compatible = inv.has("compatible");
    if (inv.has("options") && !how.compatible)
        usageError(wxS("--options gives the letters of the weak compatible protection: use it "
                       "with --compatible"));
    if (how.compatible)
        how.options = checkedOptions(inv.has("options") ? inv.value("options") : defaultOptions);
    // The cost of deriving the key: the "cryptlimits" setting, else moderate.
    const wxString limits = configValue(configFile(wxS("settings.ini")), wxS("cryptlimits"));
    if (!limits.empty() && !KdfLimits::parse(limits, how.limits))
        fail(wxS("settings.ini: cryptlimits must be interactive, moderate, sensitive or "
                 "PASSES,BYTES, not \"") +
             limits + wxS("\""));
    return how;
}

Database::Defaults documentDefaults() {
    Database::Defaults defaults;
    const wxString file = configFile(wxS("project.ini"));
    if (file.empty()) return defaults;
    IniFile ini(file);
    for (const auto& [key, value] : ini.entries())
        defaults.emplace_back(key, value);
    return defaults;
}

wxString newPassword(const Invocation& inv) {
    const bool fromFile = inv.has("new-password-file");
    wxString pw = readPassword(inv, "new-password-file", wxS("New password: "));
    if (!fromFile) {
        wxString again = readPassword(inv, "new-password-file", wxS("Repeat the new password: "));
        if (again != pw) fail(wxS("the passwords do not match"));
    }
    if (pw.length() < 3) fail(wxS("a password needs at least 3 characters"));
    return pw;
}

// --- info ------------------------------------------------------------------

int runInfo(const Invocation& inv) {
    const wxString path = inv.positional[0];
    Database db;
    openDocument(db, path, inv, false); // settings and the block index are never enciphered
    size_t nodes = 0, objects = 0, other = 0;
    for (const auto& [id, block] : db.blocks()) {
        if (block->isNode())
            ++nodes;
        else if (block->isObject())
            ++objects;
        else
            ++other;
    }
    printLine(wxS("file: ") + absolute(path));
    printLine(wxS("protected: ") + (db.isProtected()
                                        ? wxS("yes (") + db.getString(K_c_algo) + wxS(")")
                                        : wxString(wxS("no"))));
    printLine(wxString(wxS("compression: ")) + (db.getInt(K_comp) != 0 ? wxS("on") : wxS("off")));
    printLine(wxString::Format(wxS("nodes: %zu"), nodes));
    printLine(wxString::Format(wxS("objects: %zu"), objects));
    if (other) printLine(wxString::Format(wxS("other blocks: %zu"), other));
    printLine(wxS("settings:"));
    for (const auto& [code, value] : db.project()) {
        if (code == K_pwd) continue; // the verifier is a password hash
        printLine(wxS("  ") + keyNameOf(code) + wxS("=") + value);
    }
    for (const auto& [name, value] : db.unknownSettings())
        printLine(wxS("  ") + name + wxS("=") + value);
    return EXIT_OK;
}

// --- tree ------------------------------------------------------------------

int runTree(const Invocation& inv) {
    Database db;
    openDocument(db, inv.positional[0], inv, true);
    ReadBatch batch(db);
    Block* root = db.getBlock(1);
    if (root && root->headerFailed()) fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    if (!root || !root->isNode()) fail(inv.positional[0] + wxS(": the document has no top node"));
    // Iterative, and every node once: deep trees and child lists that loop
    // back cannot hang or overflow.
    std::set<int> shown;
    std::vector<std::pair<int, int>> todo{{1, 0}}; // id, depth
    while (!todo.empty()) {
        auto [id, depth] = todo.back();
        todo.pop_back();
        if (!shown.insert(id).second) continue;
        Block* b = db.findBlock(id);
        if (!b || !b->isNode()) continue;
        // A node that cannot be read would print as a leaf without a title.
        if (!b->loadHeader()) fail(inv.positional[0] + wxS(": ") + db.lastError().message);
        printLine(wxString(wxS(' '), 2 * depth) + wxString::Format(wxS("%d\t"), id) +
                  b->getString(K_i) + wxS("\t") + b->getString(K_cap));
        std::vector<int> ch = b->getIntList(K_ch);
        b->freeHeader();
        for (auto it = ch.rbegin(); it != ch.rend(); ++it)
            if (!shown.count(*it)) todo.emplace_back(*it, depth + 1);
    }
    return EXIT_OK;
}

// --- cat -------------------------------------------------------------------

int runCat(const Invocation& inv) {
    const int id = parseId(inv.positional[1], "ID");
    Database db;
    openDocument(db, inv.positional[0], inv, true);
    Block* b = db.getBlock(id);
    if (!b) fail(wxString::Format(wxS("%s: no node or object with id %d"), inv.positional[0], id));
    const Body& body = b->body();
    if (b->bodyFailed()) fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    writeOut(body.bytes); // text is UTF-8 already
    if (b->isDamaged())
        fail(body.bytes.empty()
                 ? wxString::Format(wxS("block %d: the stored body is damaged (it does not open "
                                        "or inflate); nothing of it was written"),
                                    id)
                 : wxString::Format(wxS("block %d: the stored body is damaged; only part of it "
                                        "was written"),
                                    id));
    return EXIT_OK;
}

// --- search ----------------------------------------------------------------

void appendNumber(std::string& out, int n) {
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

int runSearch(const Invocation& inv) {
    int max = 0;
    if (inv.has("max")) {
        max = parseId(inv.value("max"), "--max");
        if (max < 1) usageError(wxS("--max must be at least 1"));
    }
    const wxString text = inv.positional[1];
    if (text.empty()) usageError(wxS("the search text is empty"));
    Database db;
    // The search's pass over the file reads the block index as well.
    openDocument(db, inv.positional[0], inv, true, Database::IndexMode::OnDemand);
    db.setMaxSearchCount(max);
    // One read transaction for the search and the titles of its hits.
    ReadBatch batch(db);
    // Titles and snippets go out as the document stores them (UTF-8).
    std::string out;
    db.search(text, inv.has("case"), [&](const SearchHit& hit) {
        appendNumber(out, hit.id);
        out += '\t';
        appendNumber(out, hit.pos);
        out += '\t';
        const Bytes& cap = hit.captionUtf8;
        out += isValidUtf8(cap.data(), cap.size()) ? cap : toUtf8(fromUtf8(cap));
        out += '\t';
        out += hit.snippetUtf8;
        out += '\n';
        if (out.size() > (1 << 16)) {
            writeOut(out);
            out.clear();
        }
    });
    writeOut(out);
    // The hits above are those found before the failure.
    if (db.lastError()) fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    return EXIT_OK;
}

// --- export ----------------------------------------------------------------

int runExport(const Invocation& inv) {
    const wxString format = inv.value("format", wxS("text"));
    if (format == wxS("markdown")) {
        if (inv.has("encoding")) usageError(wxS("Markdown is always UTF-8: --encoding is for text"));
        Database db;
        openDocument(db, inv.positional[0], inv, true);
        MarkdownExporter exporter(db, inv.has("split") ? MarkdownExporter::FILE_PER_NOTE
                                                       : MarkdownExporter::ONE_FILE);
        if (!exporter.exportTo(inv.positional[1]))
            fail(inv.positional[0] + wxS(": ") + exporter.error());
        return EXIT_OK;
    }
    if (format != wxS("text")) usageError(wxS("--format must be text or markdown"));
    if (inv.has("split")) usageError(wxS("--split is for --format markdown"));
    const wxString encoding = inv.value("encoding", wxS("utf8"));
    TextExporter::Encoding enc;
    if (encoding == wxS("utf8"))
        enc = TextExporter::ENC_UTF8;
    else if (encoding == wxS("system"))
        enc = TextExporter::ENC_SYSTEM;
    else
        usageError(wxS("--encoding must be utf8 or system"));
    Database db;
    // The walk looks each node up by itself: no pass over the whole file first.
    openDocument(db, inv.positional[0], inv, true, Database::IndexMode::OnDemand);
    TextExporter exporter(db, enc);
    if (!exporter.exportToFile(inv.positional[1]))
        fail(inv.positional[0] + wxS(": ") + exporter.error());
    if (exporter.substituted() > 0)
        printError(wxString::Format(wxS("warning: %zu characters could not be written in the "
                                        "system code page and were replaced by '%c'"),
                                    exporter.substituted(), TextExporter::kSubstitute));
    return EXIT_OK;
}

// --- convert ---------------------------------------------------------------

// The converter's option letters: the text "cipherOption" of its texts file
// in the system language, else of the default one.
wxString converterOptions() {
    const wxString lang = systemLanguageCode();
    wxString file;
    if (!lang.empty()) file = configFile(wxS("DBConv_const_") + lang + wxS(".ini"));
    if (file.empty()) file = configFile(wxS("DBConv_const.ini"));
    return configValue(file, wxS("cipherOption"));
}

int runConvert(const Invocation& inv) {
    const wxString source = inv.positional[0], dest = inv.positional[1];
    const Protection how = protectionFor(inv, converterOptions());
    if (!wxFileExists(source)) fail(source + wxS(": no such file"));
    if (absolute(source) == absolute(dest) ||
        (wxFileExists(dest) && wxFileName(source).SameAs(wxFileName(dest))))
        fail(wxS("the source and the destination are the same file"));
    if (wxFileExists(dest) && !inv.has("force"))
        fail(dest + wxS(": the file exists (use --force to replace it)"));

    LegacyReader reader;
    switch (reader.open(source)) {
    case LegacyReader::LEGACY_OK:
        break;
    case LegacyReader::LEGACY_VERSION:
        fail(wxString::Format(wxS("%s: legacy format %s is newer than this program"), source,
                              reader.version()));
    case LegacyReader::LEGACY_CORRUPT:
        fail(source + wxS(": a record is corrupt"));
    case LegacyReader::LEGACY_NOT_LEGACY:
        fail(source + wxS(": not a legacy Quillnest document"));
    default:
        fail(source + wxS(": cannot read the file"));
    }
    if (!reader.getBlock(0)) fail(source + wxS(": the document settings are missing"));
    if (reader.isProtected()) {
        if (!reader.algorithmsSupported())
            fail(source + wxS(": protected with an unsupported algorithm"));
        const int tries = inv.has("password-file") ? 1 : 3;
        for (int i = 0;; ++i) {
            const wxString pw = readPassword(inv, "password-file", wxS("Password: "));
            if (pw.empty()) fail(wxS("no password given"));
            if (reader.checkPassword(pw)) {
                if (how.compatible)
                    reader.unlock(pw, how.options);
                else if (!reader.unlockSealed(pw, how.limits))
                    fail(unlockProblem(Unlock::NoMemory));
                break;
            }
            if (i + 1 >= tries) fail(source + wxS(": wrong password"));
            printError(wxS("wrong password"));
        }
    }
    resetSqliteFailure();
    if (reader.convert(dest) != LegacyReader::CONVERT_OK) {
        wxString why;
        if (const int rc = lastSqliteFailure()) why = sqliteReason(rc);
        for (const wxString& m : reader.messages())
            why += (why.empty() ? wxS("") : wxS("; ")) + m;
        fail(wxS("the conversion failed") + (why.empty() ? wxString() : wxS(": ") + why));
    }
    if (reader.damagedBodies() > 0)
        printError(wxString::Format(wxS("warning: %d bodies hold damaged compressed data; they "
                                        "were copied as stored"),
                                    reader.damagedBodies()));
    return EXIT_OK;
}

// --- new, add ----------------------------------------------------------------

int runNew(const Invocation& inv) {
    const wxString path = inv.positional[0];
    if (wxFileExists(path) || wxDirExists(path)) fail(path + wxS(": the file exists"));
    Database db(documentDefaults());
    db.newDocument();
    db.setPath(absolute(path));
    resetSqliteFailure();
    if (!db.save()) {
        const wxString why = writeFailureReason(path, 0, &db);
        // A file whose tables were made but not its settings is no document.
        db.close();
        removeWithJournal(absolute(path));
        fail(path + wxS(": cannot create the document: ") + why);
    }
    db.close();
    return EXIT_OK;
}

int runAdd(const Invocation& inv) {
    if (!inv.has("parent")) usageError(wxS("add needs --parent ID"));
    if (inv.has("body") && inv.has("body-file"))
        usageError(wxS("give either --body or --body-file, not both"));
    const int parentId = parseId(inv.value("parent"), "--parent");
    // The article as UTF-8: a file in UTF-8 is taken byte for byte.
    Bytes body = toUtf8(inv.value("body"));
    if (inv.has("body-file")) {
        std::string bytes;
        bool tooLarge = false;
        if (!readFileBytes(inv.value("body-file"), bytes, kMaxArticleBytes, &tooLarge))
            fail(tooLarge ? wxString::Format(wxS("%s is larger than %lu MB, the most one note "
                                                 "can hold; nothing was added"),
                                             inv.value("body-file"),
                                             static_cast<unsigned long>(kMaxArticleBytes >> 20))
                          : wxS("cannot read ") + inv.value("body-file"));
        body = isValidUtf8(bytes.data(), bytes.size())
                   ? std::move(bytes)
                   : toUtf8(decodeLocalBytes(bytes.data(), bytes.size()));
    }
    Database db;
    wxString password;
    openDocument(db, inv.positional[0], inv, true, Database::IndexMode::AtOpen, &password);
    // The lock before anything is read for the change or the new id is
    // chosen: a second add waits for this one and then numbers its node
    // after it, and a change another program committed meanwhile is read.
    beginWriting(db, inv.positional[0], password);
    Block* parent = db.getBlock(parentId);
    if (parent && parent->headerFailed())
        fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    if (!parent || !parent->isNode())
        fail(wxString::Format(wxS("%s: no node with id %d"), inv.positional[0], parentId));
    Block* node = db.newNode(parentId);
    if (!node) fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    if (inv.has("title")) node->setString(K_cap, inv.value("title"));
    if (inv.has("html")) node->setMime(wxS("text/html"));
    node->setTextUtf8(std::move(body));
    // Nothing is saved unless the new node is in its parent's list.
    if (parent->editChildren(node->id(), CH_APPEND) < 0)
        fail(inv.positional[0] + wxS(": ") + db.lastError().message);
    if (!db.save())
        fail(inv.positional[0] + wxS(": cannot save the document: ") +
             writeFailureReason(inv.positional[0], 0, &db));
    printLine(wxString::Format(wxS("%d"), node->id()));
    return EXIT_OK;
}

// --- passwd ------------------------------------------------------------------

int runPasswd(const Invocation& inv) {
    const wxString path = inv.positional[0];
    const Protection how =
        inv.has("remove") ? Protection()
                          : protectionFor(inv, configValue(configFile(wxS("settings.ini")),
                                                           wxS("cryptopt")));
    Database db;
    wxString current;
    openDocument(db, path, inv, true, Database::IndexMode::AtOpen, &current);
    if (inv.has("remove") && !db.isProtected()) fail(path + wxS(": the document is not protected"));
    // Asked before the lock is taken: nobody waits while a person types.
    const wxString pw = inv.has("remove") ? wxString() : newPassword(inv);
    beginWriting(db, path, current, true);
    if (inv.has("remove") && !db.isProtected())
        fail(path + wxS(": another program removed the protection meanwhile"));
    // Made under the lock, from the settings as they are now.
    std::unique_ptr<BlockCipher> cipher;
    if (!inv.has("remove")) {
        cipher = makeProtection(db, pw, how);
        if (!cipher) fail(path + wxS(": ") + unlockProblem(Unlock::NoMemory));
    }
    resetSqliteFailure();
    if (!db.changeCipher(std::move(cipher), pw))
        fail(path + wxS(": the document could not be rewritten: ") +
             writeFailureReason(path, 0, &db) + wxS("; it is unchanged"));
    if (db.isModified() && !db.save())
        fail(path + wxS(": cannot save the document: ") + writeFailureReason(path, 0, &db));
    db.close();
    return EXIT_OK;
}

// --- optimize ----------------------------------------------------------------

int runOptimize(const Invocation& inv) {
    const wxString path = absolute(inv.positional[0]);
    Database db;
    openDocument(db, path, inv, false); // stored blobs are copied as they are
    const wxULongLong before = wxFileName::GetSize(path);
    resetSqliteFailure();
    wxString why;
    switch (db.compact(inv.has("keep-backup"), why)) {
    case Database::Compact::Done:
        break;
    case Database::Compact::CannotReplace:
        fail(path + wxS(": cannot be replaced: ") + why);
    case Database::Compact::CopyFailed:
        fail(path + wxS(": the optimized copy could not be written (") +
             writeFailureReason(optimizeCopyPath(path), before.GetValue(), &db) +
             wxS("); the document is unchanged"));
    case Database::Compact::InstallFailed:
        fail(path + wxS(": ") + why + wxS("; the document is unchanged"));
    }
    db.close();
    const wxULongLong after = wxFileName::GetSize(path);
    printLine(
        wxString::Format(wxS("%s: %s -> %s bytes"), path, before.ToString(), after.ToString()));
    return EXIT_OK;
}

} // namespace

const std::vector<CommandDef>& commands() {
    static const std::vector<CommandDef> table = {
        {"info",
         "DOC",
         "Shows the document's settings (without the password verifier), the numbers of\n"
         "nodes and objects, protection and compression.\n",
         1,
         1,
         {},
         runInfo},
        {"tree",
         "DOC",
         "Lists the node outline in document order, one node a line, indented two spaces\n"
         "per level: id, tab, icon name, tab, title.\n\n",
         1,
         1,
         {{"password-file", true}},
         runTree},
        {"cat",
         "DOC ID",
         "Writes one node's article (UTF-8 text, or RTF as stored) or one object's bytes\n"
         "to standard output.\n\n",
         2,
         2,
         {{"password-file", true}},
         runCat},
        {"search",
         "DOC TEXT [--case] [--max N]",
         "Searches every node's title and article. One line a hit: node id, tab, position\n"
         "in the article (-1 for the title), tab, title, tab, snippet.\n\n"
         "  --case              match upper and lower case exactly; without it case is\n"
         "                      folded fully (a sharp s matches \"ss\", a final sigma\n"
         "                      matches a sigma)\n"
         "  --max N             stop after the node that brings the hits to N\n",
         2,
         2,
         {{"case", false}, {"max", true}, {"password-file", true}},
         runSearch},
        {"export",
         "DOC OUT [--format text|markdown] [--split] [--encoding utf8|system]",
         "Writes the whole node tree to OUT.\n\n"
         "  --format text       (the default) a text file: icon line, outline number and\n"
         "                      title, a separator line, the article, an empty line, for\n"
         "                      every node\n"
         "  --format markdown   a Markdown file: the tree as nested headings, plain-text\n"
         "                      articles as text, HTML articles as HTML blocks; embedded\n"
         "                      images go into the folder OUT.files beside it (OUT\n"
         "                      without .md) and are linked\n"
         "  --split             Markdown: one file per note, in folders that follow the\n"
         "                      tree; OUT is a folder that must not exist or be empty\n"
         "  --encoding utf8     text: UTF-8 without byte-order mark (the default)\n"
         "  --encoding system   text: the locale's code page; characters it cannot hold\n"
         "                      become '?' and are counted in a warning\n",
         2,
         2,
         {{"format", true}, {"split", false}, {"encoding", true}, {"password-file", true}},
         runExport},
        {"convert",
         "LEGACY.qudb OUT.q2db [--compatible [--options LETTERS]] [--force]",
         "Converts a document of the older format. A protected one asks for its password\n"
         "and is protected again in the new file, sealed with a key derived from the\n"
         "password (Argon2id, XChaCha20-Poly1305).\n\n"
         "  --compatible        protect the new file the old, weak way instead, for\n"
         "                      programs older than this one\n"
         "  --options LETTERS   with --compatible: reversal letters (default: the\n"
         "                      converter's \"cipherOption\" text)\n"
         "  --force             replace OUT when it exists\n",
         2,
         2,
         {{"options", true}, {"compatible", false}, {"force", false}, {"password-file", true}},
         runConvert},
        {"new",
         "DOC",
         "Creates an empty document with the configured defaults.\n",
         1,
         1,
         {},
         runNew},
        {"add",
         "DOC --parent ID [--title T] [--body-file F | --body TEXT] [--html]",
         "Appends a node under the node ID and prints the new node's id.\n\n"
         "  --title T           the node's title\n"
         "  --body TEXT         the article\n"
         "  --body-file F       the article from the file F (UTF-8; - reads standard input)\n"
         "  --html              the article is HTML\n",
         1,
         1,
         {{"parent", true},
          {"title", true},
          {"body", true},
          {"body-file", true},
          {"html", false},
          {"password-file", true}},
         runAdd},
        {"passwd",
         "DOC [--compatible [--options LETTERS]] [--remove]",
         "Protects a document with a password, changes its password, or removes the\n"
         "protection. Every block is rewritten, sealed with a key derived from the\n"
         "password (Argon2id, XChaCha20-Poly1305; the \"cryptlimits\" setting names the\n"
         "cost: interactive, moderate (the default) or sensitive).\n\n"
         "  --compatible        protect the old, weak way instead, for programs older\n"
         "                      than this one\n"
         "  --options LETTERS   with --compatible: reversal letters (default: the\n"
         "                      \"cryptopt\" setting)\n"
         "  --remove            remove the protection\n"
         "  --new-password-file F  read the new password from the first line of F\n"
         "                      (otherwise it is asked twice on the terminal)\n",
         1,
         1,
         {{"options", true},
          {"compatible", false},
          {"remove", false},
          {"password-file", true},
          {"new-password-file", true}},
         runPasswd},
        {"optimize",
         "DOC [--keep-backup]",
         "Compacts the document file in place, in one transaction: other programs that\n"
         "have it open go on with it, and its mode and owner stay.\n\n"
         "  --keep-backup       keep the old file as DOC.bak\n",
         1,
         1,
         {{"keep-backup", false}},
         runOptimize},
    };
    return table;
}

} // namespace qn::cli
