#include "article/edit_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qn::EditHistory;

namespace {

wxString w(const char* s) {
    return wxString::FromUTF8(s);
}

// A text with its history, changed the way the editor changes it.
struct Doc {
    wxString text;
    EditHistory history;

    void type(long pos, const char* letters) {
        for (const char* p = letters; *p; ++p, ++pos) {
            const wxString c(wxUniChar(static_cast<unsigned>(*p)));
            text.insert(static_cast<size_t>(pos), c);
            history.record(pos, wxString(), c, true);
        }
    }
    void backspace(long caret, int times) {
        for (int i = 0; i < times; ++i, --caret) {
            const wxString gone = text.substr(static_cast<size_t>(caret - 1), 1);
            text.erase(static_cast<size_t>(caret - 1), 1);
            history.record(caret - 1, gone, wxString(), true);
        }
    }
    void replace(long pos, long len, const char* with) {
        const wxString gone = text.substr(static_cast<size_t>(pos), static_cast<size_t>(len));
        text.replace(static_cast<size_t>(pos), static_cast<size_t>(len), w(with));
        history.record(pos, gone, w(with), false);
    }
    void apply(const EditHistory::Change& c) {
        text.replace(static_cast<size_t>(c.pos), c.removed.length(), c.inserted);
    }
    bool undo() {
        if (!history.canUndo()) return false;
        apply(history.undo());
        return true;
    }
    bool redo() {
        if (!history.canRedo()) return false;
        apply(history.redo());
        return true;
    }
    // The texts seen while undoing everything.
    std::vector<std::string> undoAll() {
        std::vector<std::string> seen;
        while (undo())
            seen.push_back(text.utf8_string());
        return seen;
    }
};

} // namespace

TEST(EditHistory, TypingIsGroupedIntoWords) {
    struct Case {
        const char* name;
        std::function<void(Doc&)> edit;
        std::vector<std::string> undoSteps; // the text after each undo
    };
    const Case cases[] = {
        {"a word with the spaces after it",
         [](Doc& d) { d.type(0, "alpha beta  gamma"); },
         {"alpha beta  ", "alpha ", ""}},
        {"punctuation stays with its word", [](Doc& d) { d.type(0, "one, two."); }, {"one, ", ""}},
        {"a line break ends a step", [](Doc& d) { d.type(0, "ab\n\ncd"); }, {"ab\n\n", "ab\n", ""}},
        {"typing elsewhere starts a new step",
         [](Doc& d) {
             d.type(0, "abc");
             d.type(1, "x");
         },
         {"abc", ""}},
        {"a run of backspaces is one step",
         [](Doc& d) {
             d.type(0, "hello");
             d.history.closeStep();
             d.backspace(5, 3);
         },
         {"hello", ""}},
        {"a paste between words is a step of its own",
         [](Doc& d) {
             d.type(0, "ab");
             d.replace(2, 0, "PASTED");
             d.type(8, "cd");
         },
         {"abPASTED", "ab", ""}},
        {"non-ASCII letters are word letters",
         [](Doc& d) {
             d.type(0, "ab");
             d.text.insert(2, w("é"));
             d.history.record(2, wxString(), w("é"), true);
         },
         {""}},
    };
    for (const Case& c : cases) {
        Doc d;
        c.edit(d);
        EXPECT_EQ(d.undoAll(), c.undoSteps) << c.name;
        // Redo brings every step back.
        while (d.redo()) {
        }
        Doc again;
        c.edit(again);
        EXPECT_EQ(d.text, again.text) << c.name;
    }
}

TEST(EditHistory, CommittedTextAndRedoAfterAChange) {
    Doc d;
    d.type(0, "one ");
    d.history.markCommitted();
    EXPECT_TRUE(d.history.atCommitted());
    // Typing on after a commit never joins the step that led to it.
    d.type(4, "two");
    EXPECT_FALSE(d.history.atCommitted());
    ASSERT_TRUE(d.undo());
    EXPECT_EQ(d.text, w("one "));
    EXPECT_TRUE(d.history.atCommitted());
    ASSERT_TRUE(d.undo());
    EXPECT_FALSE(d.history.atCommitted());
    EXPECT_TRUE(d.redo());
    EXPECT_TRUE(d.history.atCommitted());

    // A change after undoing drops the redo steps; when the committed text
    // was among them, it cannot be reached again.
    ASSERT_TRUE(d.undo());
    d.type(0, "x");
    EXPECT_FALSE(d.history.canRedo());
    EXPECT_FALSE(d.history.atCommitted());
    while (d.undo()) {
    }
    EXPECT_FALSE(d.history.atCommitted());

    d.history.clear();
    EXPECT_FALSE(d.history.canUndo());
    EXPECT_TRUE(d.history.atCommitted());
}

TEST(EditHistory, OldestStepsGoBeyondTheLimit) {
    EditHistory h(3);
    for (int i = 0; i < 5; ++i)
        h.record(i, wxString(), wxS("x"), false);
    EXPECT_EQ(h.steps(), 3u);
    int undone = 0;
    while (h.canUndo()) {
        h.undo();
        ++undone;
    }
    EXPECT_EQ(undone, 3);
    EXPECT_FALSE(h.atCommitted()); // the empty text was dropped with them
}

TEST(EditHistory, DiffFindsTheOneChangedSpan) {
    const struct {
        const char* before;
        const char* after;
        long pos;
        const char* removed;
        const char* inserted;
    } cases[] = {
        {"abc", "abc", 3, "", ""},
        {"abc", "abXc", 2, "", "X"},
        {"aaa", "aaaa", 3, "", "a"}, // repeated letters: the end is not counted twice
        {"hello world", "hello", 5, " world", ""},
        {"one two three", "one 2 three", 4, "two", "2"},
        {"", "new", 0, "", "new"},
        {"日本語", "日本人語", 2, "", "人"},
    };
    for (const auto& c : cases) {
        const EditHistory::Change d = qn::diffTexts(w(c.before), w(c.after));
        EXPECT_EQ(d.pos, c.pos) << c.before << " -> " << c.after;
        EXPECT_EQ(d.removed, w(c.removed)) << c.before << " -> " << c.after;
        EXPECT_EQ(d.inserted, w(c.inserted)) << c.before << " -> " << c.after;
    }
}
