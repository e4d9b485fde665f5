#include "views/model_history.h"

namespace veltrane::views {

void ModelHistory::record(const ModelState& before) {
    future_.clear();
    if (!past_.empty() && past_.back() == before) {
        return;
    }
    if (past_.size() == depth) {
        past_.erase(past_.begin());
    }
    past_.push_back(before);
}

std::optional<ModelState> ModelHistory::undo(const ModelState& current) {
    if (past_.empty()) {
        return std::nullopt;
    }
    const ModelState back = past_.back();
    past_.pop_back();
    future_.push_back(current);
    return back;
}

std::optional<ModelState> ModelHistory::redo(const ModelState& current) {
    if (future_.empty()) {
        return std::nullopt;
    }
    const ModelState forward = future_.back();
    future_.pop_back();
    past_.push_back(current);
    return forward;
}

void ModelHistory::clear() {
    past_.clear();
    future_.clear();
}

std::optional<std::size_t> shown_candidate(std::span<const rf::Candidate> candidates,
                                           const ModelState& shown) {
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const rf::Candidate& c = candidates[k];
        if (ModelState{{c.f1_ghz, c.f2_ghz}, c.rl_ohm, c.choice} == shown) {
            return k;
        }
    }
    return std::nullopt;
}

} // namespace veltrane::views
