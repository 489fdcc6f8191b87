// The Markdown export of a document's node tree: the tree as nested
// headings, plain-text articles as text, HTML articles as HTML blocks, and
// the embedded images they show written beside the Markdown and linked.
// Window-free; the export command and the command-line tool both call it.
#pragma once

#include <wx/string.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace qn {

class Block;
class Database;

class MarkdownExporter {
public:
    enum Layout {
        ONE_FILE,     // one .md file, the tree as nested headings
        FILE_PER_NOTE // a folder: every note a .md file, its children in a folder beside it
    };

    MarkdownExporter(Database& document, Layout layout);

    // ONE_FILE: writes `path` (through PATH.partial, renamed when complete)
    // and the images into "<path without .md>.files/".  FILE_PER_NOTE:
    // `path` is a folder that must not exist or be empty; it is built as
    // PATH.partial and renamed when complete.  False when something could
    // not be read or written; error() says why, and no partial result is
    // left at `path`.
    bool exportTo(const wxString& path);

    std::size_t nodesWritten() const { return nodes_; }
    std::size_t imagesWritten() const { return images_; }
    const wxString& error() const { return error_; }
    // The export failed because the document could not be read whole (not
    // because a file could not be written).
    bool documentUnreadable() const { return unreadable_; }

    // Pieces of the output, for the tests.
    // A title as the text of a heading (one line, Markdown characters escaped).
    static std::string headingText(std::string_view utf8);
    // A plain-text article that renders as the text it is: Markdown
    // characters escaped, line breaks kept, leading blanks kept.
    static std::string plainText(std::string_view utf8);
    // An HTML article as one HTML block: the inside of its <body> when it
    // has one, without blank lines (which would end the block).
    static std::string htmlBlock(std::string_view html);
    // A file name for a note's title: no separators or control characters,
    // not empty, not too long.
    static wxString fileStem(const wxString& title);

private:
    struct Assets {
        Assets() = default;
        Assets(const Assets&) = delete;
        Assets& operator=(const Assets&) = delete;
        ~Assets();
        std::string folderPath;             // where the images go (file system, UTF-8)
        std::string linkPrefix;             // how the Markdown refers to that folder
        std::map<int, std::string> written; // object id -> file name
        int folderFd = -1;                  // the folder, once opened for the first image
        bool folderExisted = false;         // an earlier export's: files are replaced
    };
    bool writeOneFile(const wxString& path);
    bool writeFolder(const wxString& path);
    bool nodeText(Block& node, int level, Assets& assets, std::string& out);
    bool linkImages(std::string& html, Assets& assets);
    bool openAssetsFolder(Assets& assets);
    bool writeAsset(Assets& assets, const std::string& name, const std::string& bytes);
    // Writes a new file `name` in the folder `dirFd` (AT_FDCWD: `name` is a
    // path); `shown` names it in an error.  Never follows a link and never
    // writes into a file that is already there.
    bool writeNewFile(int dirFd, const std::string& name, const std::string& shown,
                      const std::string& bytes);
    bool writeBytes(const std::string& path, const std::string& bytes);
    bool readFailed(const Block& node);
    bool fail(const wxString& why);
    bool unreadable(const wxString& why); // fail() for what could not be read

    Database& doc_;
    Layout layout_;
    bool private_ = false; // files 0600 and folders 0700 (a protected document)
    std::string dbid_;
    std::size_t nodes_ = 0;
    std::size_t images_ = 0;
    wxString error_;
    bool unreadable_ = false;
};

} // namespace qn
