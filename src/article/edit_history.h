// The undo and redo history of the plain-text editor.  Every change to the
// text is one replacement: at `pos`, `removed` made way for `inserted`.
// Typing is gathered into word-sized steps (a word with the spaces and
// punctuation typed after it; a line break ends a step), runs of Backspace
// or Delete into one step, and everything else (cut, paste, a dropped file,
// a replacement, a whole replace-all) is a step of its own.
#pragma once

#include <wx/string.h>

#include <cstddef>
#include <vector>

namespace qn {

class EditHistory {
public:
    struct Change {
        long pos = 0;
        wxString removed;
        wxString inserted;
    };

    explicit EditHistory(size_t limit = 1000) : limit_(limit) {}

    // Records a change made to the text.  `typed`: it came from the
    // keyboard and may join the step being typed.
    void record(long pos, const wxString& removed, const wxString& inserted, bool typed);
    // The next change starts a step of its own (the caret moved, another
    // kind of edit).
    void closeStep();

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < steps_.size(); }
    // The change that takes the last step back (or does the next step
    // again), to be applied to the text; the history moves with it.
    Change undo();
    Change redo();

    // Forgets everything; the text as it is counts as committed.
    void clear();
    // The text as it is now is the committed one.
    void markCommitted();
    // The text is the committed one (reached again by undo or redo).
    bool atCommitted() const { return committed_ == static_cast<long>(index_); }

    size_t steps() const { return steps_.size(); }

private:
    enum Kind { TYPING, DELETING, OTHER };
    struct Step {
        Change change;
        Kind kind;
        bool open;
    };
    bool joinTyping(Step& last, long pos, const wxString& removed, const wxString& inserted) const;
    bool joinDeleting(Step& last, long pos, const wxString& removed) const;

    std::vector<Step> steps_;
    size_t index_ = 0;   // steps applied to the text
    long committed_ = 0; // value of index_ at the committed text; -1 when it cannot come back
    size_t limit_;
};

// The single change that turns `before` into `after`: the common start and
// end are left out.  An empty change (both texts empty) when they are equal.
EditHistory::Change diffTexts(const wxString& before, const wxString& after);

} // namespace qn
