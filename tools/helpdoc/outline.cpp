#include "outline.h"

#include "store/database.h"

#include <wx/tokenzr.h>

namespace qn {

namespace {

wxString trimBlankLines(const std::vector<wxString>& lines) {
    size_t first = 0, last = lines.size();
    while (first < last && lines[first].Strip(wxString::both).empty())
        ++first;
    while (last > first && lines[last - 1].Strip(wxString::both).empty())
        --last;
    wxString out;
    for (size_t i = first; i < last; ++i) {
        if (i > first) out << wxS('\n');
        out << lines[i];
    }
    return out;
}

} // namespace

bool parseOutline(const wxString& text, std::vector<OutlineTopic>& topics, wxString& error) {
    topics.clear();
    std::vector<wxString> body;
    bool iconAllowed = false;
    int lineNo = 0;

    auto finish = [&]() {
        if (!topics.empty()) topics.back().body = trimBlankLines(body);
        body.clear();
    };

    wxStringTokenizer lines(text, wxS("\n"), wxTOKEN_RET_EMPTY_ALL);
    while (lines.HasMoreTokens()) {
        wxString line = lines.GetNextToken();
        ++lineNo;
        if (line.EndsWith(wxS("\r"))) line.RemoveLast();

        if (line.StartsWith(wxS("#"))) {
            size_t depth = 0;
            while (depth < line.length() && line[depth] == wxUniChar('#'))
                ++depth;
            if (depth >= line.length() || line[depth] != wxUniChar(' ')) {
                error.Printf(wxS("line %d: a heading needs a space after its \"#\""), lineNo);
                return false;
            }
            wxString title = line.Mid(depth + 1).Strip(wxString::both);
            if (title.empty()) {
                error.Printf(wxS("line %d: a heading without a title"), lineNo);
                return false;
            }
            int previous = topics.empty() ? 0 : topics.back().depth;
            if (topics.empty() && depth != 1) {
                error.Printf(wxS("line %d: the outline must start with a \"# \" heading"), lineNo);
                return false;
            }
            if (!topics.empty() && depth == 1) {
                error.Printf(wxS("line %d: only one top heading is allowed"), lineNo);
                return false;
            }
            if (static_cast<int>(depth) > previous + 1) {
                error.Printf(wxS("line %d: the heading skips a level"), lineNo);
                return false;
            }
            finish();
            OutlineTopic topic;
            topic.depth = static_cast<int>(depth);
            topic.title = title;
            topics.push_back(topic);
            iconAllowed = true;
            continue;
        }
        if (topics.empty()) {
            if (line.Strip(wxString::both).empty()) continue;
            error.Printf(wxS("line %d: text before the first heading"), lineNo);
            return false;
        }
        if (iconAllowed && line.StartsWith(wxS("@icon "))) {
            topics.back().icon = line.Mid(6).Strip(wxString::both);
            iconAllowed = false;
            continue;
        }
        iconAllowed = false;
        if (line.StartsWith(wxS("\\#"))) line.Remove(0, 1);
        body.push_back(line);
    }
    finish();
    if (topics.empty()) {
        error = wxS("the outline has no heading");
        return false;
    }
    return true;
}

bool writeOutlineDocument(const std::vector<OutlineTopic>& topics,
                          const std::vector<std::pair<wxString, wxString>>& settings,
                          const wxString& path, wxString& error) {
    if (topics.empty() || topics.front().depth != 1) {
        error = wxS("no top topic");
        return false;
    }
    Database db;
    Block* root = db.newDocument();
    for (const auto& [name, value] : settings) {
        int code = keyCodeOf(name);
        if (code <= 0) {
            error = wxS("unknown setting ") + name;
            return false;
        }
        db.setString(code, value);
    }

    // parents[d] is the id of the latest topic at depth d.
    std::vector<int> parents(2, 0);
    for (size_t i = 0; i < topics.size(); ++i) {
        const OutlineTopic& t = topics[i];
        Block* node = nullptr;
        if (i == 0) {
            node = root;
        } else {
            int parentId = parents[t.depth - 1];
            node = db.newNode(parentId);
            db.getBlock(parentId)->editChildren(node->id(), CH_APPEND);
        }
        node->setString(K_cap, t.title);
        if (!t.icon.empty()) node->setString(K_i, t.icon);
        node->setText(t.body);
        if (parents.size() <= static_cast<size_t>(t.depth)) parents.resize(t.depth + 1, 0);
        parents[t.depth] = node->id();
    }

    db.setPath(path);
    if (!db.save()) {
        error = wxS("cannot write ") + path;
        return false;
    }
    db.close();
    return true;
}

} // namespace qn
