// The plain-text export of a document's node tree: every node's icon name,
// outline number, title and article, in document order.  Window-free; the
// export command and the command-line tool both call it.
#pragma once

#include <wx/string.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace qn {

class Block;
class Database;

class TextExporter {
public:
    enum Encoding { ENC_SYSTEM = 0, ENC_UTF8 = 1 };
    // Written in place of a character the system code page cannot hold.
    static constexpr char kSubstitute = '?';

    TextExporter(Database& document, Encoding encoding);

    // Writes the whole tree, starting at the top node (id 1), into PATH.partial
    // and renames that over `path` when it is complete (a device or a pipe
    // is written in place). False when the file cannot be written; error()
    // says why, `path` keeps what it held and no temporary file is left.
    bool exportToFile(const wxString& path);
    // The temporary file of an export to `path`.
    static wxString exportTempPath(const wxString& path);

    // The bytes of one piece in the chosen encoding; characters that cannot
    // be represented become kSubstitute and are counted.
    std::string encode(const wxString& piece);
    // The same for text held as UTF-8.
    std::string encodeUtf8(const std::string& utf8);

    // Characters written as kSubstitute so far.
    std::size_t substituted() const { return substituted_; }
    std::size_t nodesWritten() const { return nodes_; }
    const wxString& error() const { return error_; }
    // The export failed because the document could not be read whole (not
    // because the file could not be written).
    bool documentUnreadable() const { return unreadable_; }

private:
    bool writeTree();
    bool writeNode(Block& node, const std::string& prefix);
    bool readFailed(const Block& node);
    bool readFailed(int id);
    void put(std::string_view bytes);
    // Text held as UTF-8, passed through when it needs no conversion.
    void putText(std::string_view utf8);
    void flush();
    void noteWriteError();

    Database& doc_;
    Encoding encoding_;
    bool systemUtf8_; // the system code page is UTF-8
    std::FILE* out_ = nullptr;
    std::string buffer_;
    bool writeFailed_ = false;
    int writeErrno_ = 0;
    std::size_t substituted_ = 0;
    std::size_t nodes_ = 0;
    wxString error_;
    bool unreadable_ = false;
};

} // namespace qn
