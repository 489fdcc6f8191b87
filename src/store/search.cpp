// The global search: one ordered pass over the block table, matching on the
// stored UTF-8 bytes.  A text is widened only when its bytes cannot be
// matched directly (invalid UTF-8, or a folding that changes a character's
// length), so that the common case never converts a body.
#include "store/database.h"
#include "store/safe_file.h"
#include "store/utf8_text.h"

#include <wx/log.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qn {

namespace {

using SearchSink = Database::SearchSink;

const char* findBytes(std::string_view hay, size_t from, const Bytes& needle) {
    if (from >= hay.size() || needle.size() > hay.size() - from) return nullptr;
    return static_cast<const char*>(
        ::memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size()));
}

// ASCII letters to lower case, every other byte as it is.
constexpr std::array<unsigned char, 256> kAsciiLower = [] {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
    return t;
}();

// The characters beyond ASCII whose folding is all ASCII ("ß" to "ss",
// U+0130 to "i", the Kelvin sign to "k", the long "ſ" to "s" and the
// ligatures "ﬀ" to "ﬆ"), each with its folding.
const std::vector<std::pair<Bytes, Bytes>>& asciiFoldingOthers() {
    static const std::vector<std::pair<Bytes, Bytes>> list = [] {
        std::vector<std::pair<Bytes, Bytes>> out;
        for (char32_t c : foldExceptions()) {
            char32_t f[kMaxFold];
            const int n = foldFull(c, f);
            if (std::all_of(f, f + n, [](char32_t x) { return x < 0x80; }))
                out.emplace_back(toUtf8(wxString(wxUniChar(static_cast<wxUniChar::value_type>(c)))),
                                 Bytes(f, f + n));
        }
        return out;
    }();
    return list;
}

// A needle whose folded form is ASCII, found without decoding the text:
// every character that folds to ASCII is an ASCII letter in either case,
// apart from the few of asciiFoldingOthers(), so the bytes can be compared
// once ASCII letters are lowered.  Texts that hold one of those few whose
// folding the needle holds go the character way.
class AsciiFoldedNeedle {
public:
    explicit AsciiFoldedNeedle(const wxString& text) {
        Bytes folded = foldedUtf8(text);
        for (unsigned char c : folded)
            if (c >= 0x80) return;
        folded_ = std::move(folded);
        usable_ = !folded_.empty();
        for (const auto& [bytes, folding] : asciiFoldingOthers())
            if (folded_.find(folding) != Bytes::npos) others_.push_back(bytes);
    }
    bool usable() const { return usable_; }
    // Whether `text` can be searched on its bytes.
    bool suits(std::string_view text) const {
        for (const Bytes& o : others_)
            if (text.find(o) != std::string_view::npos) return false;
        return true;
    }
    // Whether every character the needle matches is ASCII.
    bool matchesAsciiOnly() const { return others_.empty(); }
    // The first match at or after `from`, npos when none.
    size_t find(std::string_view text, size_t from) const {
        const size_t m = folded_.size(), n = text.size();
        if (n < m || from > n - m) return std::string_view::npos;
        const auto* t = reinterpret_cast<const unsigned char*>(text.data());
        const auto first = static_cast<unsigned char>(folded_[0]);
        const auto last = static_cast<unsigned char>(folded_[m - 1]);
        size_t i = from;
#ifdef __SSE2__
        // Sixteen places at a time whose first and last bytes fit; a letter
        // is compared with the case bit set, which only ASCII letters match.
        auto caseBit = [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? 0x20 : 0); };
        const __m128i vFirst = _mm_set1_epi8(char(first)), vLast = _mm_set1_epi8(char(last));
        const __m128i bitFirst = _mm_set1_epi8(caseBit(first));
        const __m128i bitLast = _mm_set1_epi8(caseBit(last));
        for (; i + m - 1 + 16 <= n; i += 16) {
            const __m128i a =
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)), bitFirst);
            const __m128i b = _mm_or_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + m - 1)), bitLast);
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, vFirst), _mm_cmpeq_epi8(b, vLast))));
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (matchesAt(t + at)) return at;
                mask &= mask - 1;
            }
        }
#endif
        for (; i + m <= n; ++i)
            if (kAsciiLower[t[i]] == first && matchesAt(t + i)) return i;
        return std::string_view::npos;
    }
    size_t length() const {
        return folded_.size();
    }

private:
    bool matchesAt(const unsigned char* p) const {
        for (size_t k = 0; k < folded_.size(); ++k)
            if (kAsciiLower[p[k]] != static_cast<unsigned char>(folded_[k])) return false;
        return true;
    }

    Bytes folded_;
    bool usable_ = false;
    std::vector<Bytes> others_; // characters beyond ASCII the needle matches
};

// The search text, prepared once for bytes and, where needed, for wide text.
struct Needle {
    Needle(const wxString& text, bool cs)
        : caseSensitive(cs), bytes(toUtf8(text)), wide(text), finder(text),
          ascii(cs ? wxString() : text) {
        asciiOnly = cs ? std::all_of(text.begin(), text.end(),
                                     [](wxUniChar c) { return c.IsAscii(); })
                       : ascii.usable() && ascii.matchesAsciiOnly();
        // A byte that is not part of valid UTF-8 is read as its Latin-1
        // character, which the needle may match: texts with such bytes must
        // then be searched as read even when their bytes hold no match.
        const std::u32string& folded = finder.folded();
        for (char32_t b = 0x80; b <= 0xFF && !latin1Reachable; ++b) {
            if (cs) {
                latin1Reachable = text.find(wxUniChar(static_cast<wxUniChar::value_type>(b))) !=
                                  wxString::npos;
            } else {
                char32_t f[kMaxFold];
                const int n = foldFull(b, f);
                latin1Reachable = folded.find(std::u32string(f, f + n)) != std::u32string::npos;
            }
        }
    }
    bool caseSensitive;
    // Whether every character the needle matches is ASCII (without case,
    // unless case-sensitive).  Such a needle never matches a byte that is
    // not part of valid UTF-8, so a text needs checking only as far as its
    // hits go.
    bool asciiOnly = false;
    bool latin1Reachable = false;
    Bytes bytes;   // UTF-8, as given
    wxString wide; // as given
    FoldedFinder finder;
    AsciiFoldedNeedle ascii;

    // Whether the bytes of `text` can be matched without decoding it.
    bool bytewise(std::string_view text) const {
        return !caseSensitive && ascii.usable() && ascii.suits(text);
    }
    // The next match in valid UTF-8 at or after `from`: its start, and its
    // end in `end`; npos when none.  `byBytes` is bytewise(text).
    size_t find(std::string_view text, size_t from, size_t& end, bool byBytes) const {
        if (byBytes) {
            const size_t pos = ascii.find(text, from);
            if (pos != std::string_view::npos) end = pos + ascii.length();
            return pos;
        }
        if (!caseSensitive) return finder.find(text, from, end);
        const char* at = findBytes(text, from, bytes);
        if (!at) return std::string_view::npos;
        const size_t pos = static_cast<size_t>(at - text.data());
        end = pos + bytes.size();
        return pos;
    }
    // The same in wide text; positions are characters.
    size_t find(const wxString& text, size_t from, size_t& end) const {
        if (!caseSensitive) return finder.find(text, from, end);
        const size_t pos = text.find(wide, from);
        if (pos != wxString::npos) end = pos + wide.length();
        return pos == wxString::npos ? std::string_view::npos : pos;
    }
};


// Snippet rule: up to 15 characters on either side of the match, stopping
// before a line feed and at either end of the text.
template <class Str, class Prev, class Next>
std::pair<size_t, size_t> snippetRange(const Str& text, size_t matchStart, size_t matchEnd,
                                       Prev prev, Next next) {
    size_t start = matchStart;
    for (int k = 0; k < 15 && start > 0 && text[start - 1] != '\n'; ++k)
        start = prev(start);
    size_t end = matchEnd;
    for (int k = 0; k < 15 && end < text.size() && text[end] != '\n'; ++k)
        end = next(end);
    return {start, end};
}

// Hits in wide text: the way for the texts the byte matcher hands back.
// `hit` comes with the node id and its caption; the scans fill in the rest
// for every hit (one object, so that its buffers are reused).
// The first `skip` hits were handed over already.
void scanWide(SearchHit& hit, const wxString& original, const Needle& n, const SearchSink& sink,
              size_t& count, size_t skip) {
    size_t pos = 0, end = 0, mine = 0;
    while (mine < kMaxHitsPerNode && (pos = n.find(original, pos, end)) != std::string_view::npos) {
        if (mine < skip) {
            ++mine;
            pos = end;
            continue;
        }
        auto [start, stop] = snippetRange(
            original, pos, end, [](size_t i) { return i - 1; }, [](size_t i) { return i + 1; });
        hit.pos = static_cast<int>(pos);
        hit.length = static_cast<int>(end - pos);
        hit.snippetUtf8 = toUtf8(original.substr(start, stop - start));
        sink(hit);
        ++count;
        ++mine;
        pos = end;
    }
}

// Hits in UTF-8 text, found on the bytes; character positions and snippets
// are worked out for the hits only.  Where the text turns out not to be
// valid UTF-8, it has to go the wide way: the number of hits handed over
// before that is returned in `handed`, and false.
bool scanUtf8(SearchHit& hit, std::string_view text, const Needle& n, const SearchSink& sink,
              size_t& count, size_t& handed) {
    const bool byBytes = n.bytewise(text);
    // text[0, checked) is known to be valid, ends between characters and
    // holds `chars` characters.  Matching invalid bytes would count
    // characters wrongly, so no hit is handed over beyond it; a needle that
    // is not all ASCII could match an invalid byte anywhere, so for it the
    // whole text is checked at the first hit.
    size_t checked = 0, chars = 0;
    auto extend = [&](size_t to) {
        if (to <= checked) return true;
        const size_t k = countValidUtf8(text.data() + checked, to - checked);
        if (k == kNotUtf8) return false;
        chars += k;
        checked = to;
        return true;
    };
    // Characters before `counted`, for a needle that checked the whole text.
    size_t counted = 0, before = 0;
    size_t from = 0, mine = 0;
    handed = 0;
    while (mine < kMaxHitsPerNode) {
        size_t end0 = 0;
        const size_t start0 = n.find(text, from, end0, byBytes);
        if (start0 == std::string_view::npos) break;
        from = end0;
        auto [start, end] = snippetRange(
            text, start0, end0, [&](size_t i) { return prevChar(text, i); },
            [&](size_t i) { return nextChar(text, i); });
        if (!extend(n.asciiOnly ? end : text.size())) {
            handed = mine;
            return false;
        }
        size_t pos; // characters before the hit
        if (n.asciiOnly) {
            pos = chars - countChars(text.data() + start0, checked - start0);
        } else {
            before += countChars(text.data() + counted, start0 - counted);
            counted = start0;
            pos = before;
        }
        hit.pos = static_cast<int>(pos);
        hit.length = static_cast<int>(countChars(text.data() + start0, end0 - start0));
        hit.snippetUtf8.assign(text.data() + start, end - start);
        sink(hit);
        ++count;
        ++mine;
    }
    if (n.latin1Reachable && !extend(text.size())) {
        handed = mine;
        return false;
    }
    return true;
}

void scanText(SearchHit& hit, std::string_view text, const Needle& n, const SearchSink& sink,
              size_t& count) {
    size_t handed = 0;
    if (!scanUtf8(hit, text, n, sink, count, handed))
        scanWide(hit, fromUtf8(text.data(), text.size()), n, sink, count, handed);
}

bool captionMatches(std::string_view cap, const Needle& n) {
    size_t end = 0;
    if (!isValidUtf8(cap.data(), cap.size()))
        return n.find(fromUtf8(cap.data(), cap.size()), 0, end) != std::string_view::npos;
    return n.find(cap, 0, end, n.bytewise(cap)) != std::string_view::npos;
}

} // namespace

std::vector<SearchHit> Database::search(const wxString& text, bool caseSensitive) {
    std::vector<SearchHit> hits;
    search(text, caseSensitive, [&](const SearchHit& h) { hits.push_back(h); });
    return hits;
}

void Database::search(const wxString& text, bool caseSensitive, const SearchSink& sink) {
    search(text, caseSensitive, sink, SearchProgress());
}

void Database::search(const wxString& text, bool caseSensitive, const SearchSink& sink,
                      const SearchProgress& keepGoing) {
    clearError();
    if (text.empty()) return;
    ReadBatch batch(*this);
    const Needle needle(text, caseSensitive);
    const Bytes capName = toUtf8(keyNameOf(K_cap)), urlName = toUtf8(keyNameOf(K_url));
    Bytes hbuf, decoded, capHolder; // reused for every block
    SearchHit hit;

    // A read that fails ends the search with an error: a document that could
    // not be read is never reported as holding no hits.
    bool failed = false;
    auto fail = [&](const char* what, int rc) {
        wxLogMessage(wxS("Database::search %d"), rc);
        noteError("search", rc,
                  wxString::Format(wxS("the document could not be searched (%s): %s"),
                                   wxString::FromAscii(what), sqliteReason(rc)));
        failed = true;
    };
    // One ordered pass over the table instead of a lookup per block; headers
    // that are not loaded yet are read from the row without being kept.
    Stmt scan;
    if (db_ && scan.prepare(db_.get(), sql::kSelectSearchRows) != SQLITE_OK)
        fail("prepare", db_.errcode());
    sqlite3_int64 rowId = 0;
    bool rowValid = false;
    auto advance = [&] {
        rowValid = false;
        if (!scan || failed) return;
        int rc = scan.step();
        if (rc == SQLITE_ROW) {
            rowValid = true;
            rowId = scan.int64(0);
        } else if (rc != SQLITE_DONE) {
            fail("scan", rc);
        }
    };
    advance();

    size_t count = 0;
    // One node, its hits handed to `sink`; false ends the search.
    auto visit = [&](Block& b, bool inFile) {
        // The caption, as hits hand it over: valid while this block is scanned.
        std::string_view caption;
        bool external;
        if (b.attrs_ || !inFile) {
            if (!b.loadHeader()) {
                failed = true; // readHead noted why
                return false;
            }
            capHolder = b.getUtf8(K_cap);
            caption = capHolder;
            external = !b.getString(K_url).empty();
        } else {
            std::string_view hdr = scan.view(1);
            if (cipher_ && (cipher_->isSealed() || !hdr.empty())) {
                hbuf.assign(hdr.data(), hdr.size());
                if (!cipher_->open(hbuf, CipherPart::Header, {b.id_, b.type_})) {
                    // A damaged note is passed over, never searched as garbage.
                    wxLogMessage(wxS("Database::search: block %d does not open"), b.id_);
                    return true;
                }
                hdr = hbuf;
            }
            // One walk over the header for the two values the search needs.
            std::string_view capView, urlView;
            bool hasCap = false, hasUrl = false;
            forEachHeaderLine(hdr.data(), hdr.size(), [&](std::string_view k, std::string_view v) {
                if (k == capName) {
                    capView = v;
                    hasCap = true;
                } else if (k == urlName) {
                    urlView = v;
                    hasUrl = true;
                }
            });
            if (hasCap) {
                caption = capView;
            } else {
                capHolder = toUtf8(getString(K_cap));
                caption = capHolder;
            }
            external = hasUrl ? !urlView.empty() : !getString(K_url).empty();
        }
        if (captionMatches(caption, needle)) {
            sink(SearchHit{b.id(), -1, 0, Bytes(), Bytes(caption)});
            ++count;
        }
        hit.id = b.id();
        hit.captionUtf8.assign(caption.data(), caption.size());

        if (!b.body_ && !external && inFile) {
            // Straight from the row; decoded only when stored compressed or
            // enciphered.
            std::string_view plain = scan.view(2);
            if (plain.size() > articleLimit_) {
                // Read like the article window reads it: up to the limit.
                b.damaged_ = true;
                plain = (b.compressed_ || cipher_) ? std::string_view()
                                                   : plain.substr(0, articleLimit_);
            } else if (b.compressed_ || cipher_) {
                DecodedBody d =
                    decodeBody(Bytes(plain), b.compressed_, cipher_.get(), {b.id_, b.type_},
                               articleLimit_);
                if (d.damaged) b.damaged_ = true;
                decoded = std::move(d.plain);
                plain = decoded;
            }
            scanText(hit, plain, needle, sink, count);
        } else {
            const Body& body = b.body();
            if (b.bodyFailed_) {
                failed = true; // readBody noted why
                return false;
            }
            scanText(hit, body.bytes, needle, sink, count);
        }
        b.releaseBody();
        if (keepGoing && !keepGoing(count)) return false;
        return !(maxSearchCount_ > 0 && count >= static_cast<size_t>(maxSearchCount_));
    };

    if (indexPending_) {
        // The block index has not been read (nothing can be unsaved yet, so
        // every block is a row): a node not in memory is searched through a
        // stand-in made from its row, and the index stays unread.
        bool stopped = false;
        // Blocks in memory already (found by lookups), merged in id order.
        auto known = blocks_.begin();
        while (!stopped && rowValid) {
            if (rowId >= 1 && rowId <= INT32_MAX) {
                const int id = static_cast<int>(rowId), type = scan.integer(3),
                          attr = scan.integer(4);
                while (known != blocks_.end() && known->first < id)
                    ++known;
                if (known != blocks_.end() && known->first == id) {
                    Block& b = *known->second;
                    if (b.type_ == BT_NODE && !b.excluded_) stopped = !visit(b, true);
                } else if (type == BT_NODE && !(attr & ATTR_EXCLUDED)) {
                    Block probe(this, id, type);
                    probe.compressed_ = attr & ATTR_COMPRESSED;
                    probe.encrypted_ = attr & ATTR_ENCRYPTED;
                    stopped = !visit(probe, true);
                }
            }
            if (!stopped) advance();
        }
        return;
    }
    for (auto& [id, bp] : blocks_) {
        if (failed) break;
        Block& b = *bp;
        if (b.type_ != BT_NODE || b.excluded_) continue;
        while (rowValid && rowId < id)
            advance();
        if (failed) break;
        if (!visit(b, rowValid && rowId == id)) break;
    }
}

} // namespace qn
