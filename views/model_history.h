#pragma once

// Undo and redo over the model a front end shows: the two points, RL and the choice. No Qt.

#include "model/choice.h"
#include "rf/best_fit.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace veltrane::views {

// What defines the model shown.
struct ModelState {
    std::array<double, 2> f_ghz{};
    double rl_ohm = 0.0;
    Choice choice;
    friend bool operator==(const ModelState&, const ModelState&) = default;
};

class ModelHistory {
  public:
    // How many states undo goes back at most; older ones are forgotten.
    static constexpr std::size_t depth = 200;

    // A change away from `before` is about to be made: `before` becomes the state undo returns
    // to, and what was undone can no longer be redone. Nothing is recorded when `before` is the
    // state undo would return to already (a change in several steps is one step back).
    void record(const ModelState& before);
    // The state before the last change, `current` kept for redo; nothing when there is none.
    [[nodiscard]] std::optional<ModelState> undo(const ModelState& current);
    // The state undone last, `current` kept for undo; nothing when there is none.
    [[nodiscard]] std::optional<ModelState> redo(const ModelState& current);
    [[nodiscard]] bool can_undo() const { return !past_.empty(); }
    [[nodiscard]] bool can_redo() const { return !future_.empty(); }
    // New data: the states of the old data mean nothing on them.
    void clear();

  private:
    std::vector<ModelState> past_;
    std::vector<ModelState> future_;
};

// The entry of a best-fit list whose model is `shown`: its points, RL and choice; nothing when
// the model shown is none of them.
[[nodiscard]] std::optional<std::size_t> shown_candidate(std::span<const rf::Candidate> candidates,
                                                         const ModelState& shown);

} // namespace veltrane::views
