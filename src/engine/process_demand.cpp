#include "engine/process_demand.h"

namespace velmora {

// GUI thread only, like the views that hold the tokens.
struct ProcessDemand::Token::State {
    int holders = 0;
    std::function<void(bool)> onChange;

    void add(int delta) {
        const bool before = holders > 0;
        holders += delta;
        const bool after = holders > 0;
        if (before != after && onChange) onChange(after);
    }
};

ProcessDemand::Token::Token(Token&& other) noexcept : state_(std::move(other.state_)) {
    other.state_.reset();
}

ProcessDemand::Token& ProcessDemand::Token::operator=(Token&& other) noexcept {
    if (this != &other) {
        release();
        state_ = std::move(other.state_);
        other.state_.reset();
    }
    return *this;
}

ProcessDemand::Token::~Token() {
    release();
}

void ProcessDemand::Token::release() {
    if (auto state = state_.lock()) state->add(-1);
    state_.reset();
}

ProcessDemand::ProcessDemand(std::function<void(bool)> onChange) : state_(std::make_shared<Token::State>()) {
    state_->onChange = std::move(onChange);
}

ProcessDemand::~ProcessDemand() = default;

ProcessDemand::Token ProcessDemand::acquire() {
    state_->add(1);
    return Token(state_);
}

bool ProcessDemand::active() const {
    return state_->holders > 0;
}

int ProcessDemand::holders() const {
    return state_->holders;
}

}  // namespace velmora
