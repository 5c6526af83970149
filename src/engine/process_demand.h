#pragma once

#include <functional>
#include <memory>

namespace velmora {

// Who needs the process list now. Every process-showing view holds a token while it is
// visible; the demand is active while any token is alive, and `onChange` hears each switch
// (the application passes it to the engine's `setUiActive`). A new window needs no rule of
// its own: it takes a token when it shows and lets it go when it hides.
class ProcessDemand {
  public:
    class Token {
      public:
        Token() = default;
        Token(Token&& other) noexcept;
        Token& operator=(Token&& other) noexcept;
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        ~Token();

        bool held() const { return !state_.expired(); }
        void release();

      private:
        friend class ProcessDemand;
        struct State;
        explicit Token(std::weak_ptr<State> state) : state_(std::move(state)) {}
        std::weak_ptr<State> state_;
    };

    explicit ProcessDemand(std::function<void(bool)> onChange);
    ~ProcessDemand();
    ProcessDemand(const ProcessDemand&) = delete;
    ProcessDemand& operator=(const ProcessDemand&) = delete;

    // A token outliving the demand is harmless: it then releases nothing.
    [[nodiscard]] Token acquire();
    bool active() const;
    int holders() const;

  private:
    std::shared_ptr<Token::State> state_;
};

}  // namespace velmora
