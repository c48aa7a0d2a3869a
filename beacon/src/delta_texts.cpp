#include "delta_texts.h"

#include <algorithm>
#include <cstring>

namespace dp {

namespace {

// Models looked at for a new text, the newest first: a fleet has a few
// outlines, and a text shares most of itself with one of them or with none.
constexpr std::size_t models_tried = 8;
// Shared runs shorter than this between two of a text's own are kept as
// its own bytes.
constexpr std::uint32_t short_run = 24;

// memcmp's call costs more than the compare of the short runs most are.
bool same_bytes(const char* a, const char* b, std::size_t length) {
    if (length > 16) {
        return std::memcmp(a, b, length) == 0;
    }
    if (length >= 8) {
        std::uint64_t x[2], y[2];
        std::memcpy(&x[0], a, 8);
        std::memcpy(&y[0], b, 8);
        std::memcpy(&x[1], a + length - 8, 8);
        std::memcpy(&y[1], b + length - 8, 8);
        return ((x[0] ^ y[0]) | (x[1] ^ y[1])) == 0;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// The two pieces as one text, read in place.
struct joined {
    std::string_view before;
    std::string_view after;

    std::size_t size() const { return before.size() + after.size(); }
    // Whether [at, at + length) of the joined text equals the bytes at `with`.
    bool equal(std::size_t at, const char* with, std::size_t length) const {
        if (at < before.size()) {
            const std::size_t first = std::min(length, before.size() - at);
            if (!same_bytes(before.data() + at, with, first)) {
                return false;
            }
            if (first == length) {
                return true;
            }
            at += first;
            with += first;
            length -= first;
        }
        return same_bytes(after.data() + (at - before.size()), with, length);
    }
};

}  // namespace

std::vector<std::uint32_t> delta_texts::cuts_of(std::string_view text) {
    std::vector<std::uint32_t> cuts;
    for (std::size_t at = text.find('"'); at != std::string_view::npos;
         at = text.find('"', at + 1)) {
        cuts.push_back(static_cast<std::uint32_t>(at + 1));
    }
    cuts.push_back(static_cast<std::uint32_t>(text.size()));
    return cuts;
}

bool delta_texts::same_piece(const model& with, std::string_view whole,
                             const std::vector<std::uint32_t>& cuts, std::size_t i,
                             std::size_t start, std::size_t model_start) {
    const std::size_t length = cuts[i] - start;
    return with.cuts[i] - model_start == length &&
           std::memcmp(whole.data() + start, with.text.data() + model_start, length) == 0;
}

delta_texts::header delta_texts::header_of(const text& kept) {
    header h;
    std::memcpy(&h, kept.block.get(), sizeof h);
    return h;
}

std::uint64_t delta_texts::tag_of(const text& kept) {
    return header_of(kept).tag;
}

delta_texts::text delta_texts::keep(std::string_view before, std::string_view after,
                                    std::uint64_t tag) {
    std::string whole;
    whole.reserve(before.size() + after.size());
    whole.append(before).append(after);
    const std::vector<std::uint32_t> cuts = cuts_of(whole);

    // The model sharing most bytes piece by piece.
    std::size_t best = models_.size();
    std::size_t best_shared = 0;
    for (std::size_t m = models_.size(), tried = 0; m-- > 0 && tried < models_tried;) {
        const model& candidate = models_[m];
        if (candidate.cuts.size() != cuts.size()) {
            continue;
        }
        ++tried;
        std::size_t shared = 0;
        for (std::size_t i = 0, start = 0, model_start = 0; i < cuts.size(); ++i) {
            if (same_piece(candidate, whole, cuts, i, start, model_start)) {
                shared += cuts[i] - start;
            }
            start = cuts[i];
            model_start = candidate.cuts[i];
        }
        if (shared > best_shared) {
            best = m;
            best_shared = shared;
        }
    }

    // The text's pieces as runs of the model's bytes or of its own.
    struct span {
        bool own;
        std::uint32_t from;
        std::uint32_t at;
        std::uint32_t length;
    };
    std::vector<span> spans;
    std::uint16_t model_index = 0;
    if (best == models_.size() || best_shared * 2 < whole.size()) {
        const auto all = static_cast<std::uint32_t>(whole.size());
        if (models_.size() < most_models) {
            // A new outline: the text is the model, and its one run the whole.
            model_index = static_cast<std::uint16_t>(models_.size());
            models_.push_back({whole, cuts});
            spans.push_back({false, 0, 0, all});
        } else {
            spans.push_back({true, 0, 0, all});
        }
    } else {
        model_index = static_cast<std::uint16_t>(best);
        const model& with = models_[best];
        for (std::size_t i = 0, start = 0, model_start = 0; i < cuts.size(); ++i) {
            const std::uint32_t length = cuts[i] - static_cast<std::uint32_t>(start);
            spans.push_back({!same_piece(with, whole, cuts, i, start, model_start),
                             static_cast<std::uint32_t>(model_start),
                             static_cast<std::uint32_t>(start), length});
            start = cuts[i];
            model_start = with.cuts[i];
        }
        // A few shared bytes between two of the text's own (the quotes and
        // the member name between two values) cost more as a run of their
        // own than as bytes of the text's.
        for (std::size_t i = 1; i + 1 < spans.size(); ++i) {
            if (!spans[i].own && spans[i].length < short_run && spans[i - 1].own &&
                spans[i + 1].own) {
                spans[i].own = true;
            }
        }
    }

    std::vector<run> runs;
    std::string own;
    for (const span& piece : spans) {
        if (piece.length == 0) {
            continue;
        }
        const std::uint32_t from = piece.own ? run::own : piece.from;
        if (piece.own) {
            own.append(whole, piece.at, piece.length);
        }
        if (!runs.empty()) {
            run& last = runs.back();
            if ((piece.own && last.from == run::own) ||
                (!piece.own && last.from != run::own && last.from + last.length == from)) {
                last.length += piece.length;
                continue;
            }
        }
        runs.push_back({from, piece.length});
    }
    if (runs.size() > UINT16_MAX) {
        runs.assign(1, {run::own, static_cast<std::uint32_t>(whole.size())});
        own = whole;
    }

    header h;
    h.tag = tag;
    h.size = static_cast<std::uint32_t>(whole.size());
    h.runs = static_cast<std::uint16_t>(runs.size());
    h.model = model_index;
    const std::size_t run_bytes = runs.size() * sizeof(run);
    text kept;
    kept.block = std::make_unique<char[]>(sizeof h + run_bytes + own.size());
    std::memcpy(kept.block.get(), &h, sizeof h);
    std::memcpy(kept.block.get() + sizeof h, runs.data(), run_bytes);
    std::memcpy(kept.block.get() + sizeof h + run_bytes, own.data(), own.size());
    return kept;
}

bool delta_texts::equals(const text& kept, std::string_view before, std::string_view after) const {
    const joined key{before, after};
    const header h = header_of(kept);
    if (key.size() != h.size) {
        return false;
    }
    const char* runs = kept.block.get() + sizeof h;
    const char* own = runs + h.runs * sizeof(run);
    std::size_t at = 0;
    for (std::uint16_t i = 0; i < h.runs; ++i) {
        run r;
        std::memcpy(&r, runs + i * sizeof(run), sizeof r);
        const char* with = r.from == run::own ? own : models_[h.model].text.data() + r.from;
        if (!key.equal(at, with, r.length)) {
            return false;
        }
        if (r.from == run::own) {
            own += r.length;
        }
        at += r.length;
    }
    return true;
}

std::string delta_texts::whole(const text& kept) const {
    const header h = header_of(kept);
    std::string out;
    out.reserve(h.size);
    const char* runs = kept.block.get() + sizeof h;
    const char* own = runs + h.runs * sizeof(run);
    for (std::uint16_t i = 0; i < h.runs; ++i) {
        run r;
        std::memcpy(&r, runs + i * sizeof(run), sizeof r);
        if (r.from == run::own) {
            out.append(own, r.length);
            own += r.length;
        } else {
            out.append(models_[h.model].text, r.from, r.length);
        }
    }
    return out;
}

void delta_texts::clear() {
    models_.clear();
}

}  // namespace dp
