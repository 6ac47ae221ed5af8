// What keeps work that pumps window messages from being started again
// inside itself. The scanner session pumps messages inside its operations,
// so any window procedure can run in the middle of a scan: a queued click
// may try to start a second operation, a nested busy period must not undo
// the outer one, a quit must wait for the operation it arrives in, and a
// close of the "Scanning..." window must reach the wait that runs, not one
// that starts later.
//
// One guard answers for one thing that runs such work (the main dialog, a
// scanner session). Its state is private and changes only through the calls
// and scopes below, so that no road out of an operation, a return or an
// exception, leaves it half set. Plain code: no <windows.h>.
#pragma once

#include <utility>

class ReentryGuard {
public:
  // One running operation, for its scope's lifetime. Empty (false) when
  // another operation already ran: nothing is marked then.
  class [[nodiscard]] Operation {
  public:
    Operation(Operation &&other) noexcept : guard_(std::exchange(other.guard_, nullptr)) {}
    ~Operation() {
      if (guard_ != nullptr)
        guard_->running_ = false;
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;
    Operation &operator=(Operation &&) = delete;
    explicit operator bool() const { return guard_ != nullptr; }

  private:
    friend class ReentryGuard;
    explicit Operation(ReentryGuard *guard) : guard_(guard) {}
    ReentryGuard *guard_;
  };

  // A wait that a close request may end, for its scope's lifetime. A
  // request that arrives while no wait runs is not kept for the next one.
  class [[nodiscard]] Wait {
  public:
    Wait(Wait &&other) noexcept : guard_(std::exchange(other.guard_, nullptr)) {}
    ~Wait() {
      if (guard_ != nullptr) {
        guard_->waiting_ = false;
        guard_->closeRequested_ = false;
      }
    }
    Wait(const Wait &) = delete;
    Wait &operator=(const Wait &) = delete;
    Wait &operator=(Wait &&) = delete;

  private:
    friend class ReentryGuard;
    explicit Wait(ReentryGuard *guard) : guard_(guard) {}
    ReentryGuard *guard_;
  };

  ReentryGuard() = default;
  ReentryGuard(const ReentryGuard &) = delete;
  ReentryGuard &operator=(const ReentryGuard &) = delete;

  [[nodiscard]] Operation BeginOperation() {
    if (running_)
      return Operation(nullptr);
    running_ = true;
    return Operation(this);
  }
  bool OperationRunning() const { return running_; }

  // True when the quit may take effect now; otherwise it is held until the
  // running operation has ended (TakeHeldQuit).
  bool RequestQuit() {
    if (!running_)
      return true;
    quitHeld_ = true;
    return false;
  }
  // True, once, when a quit was held and no operation runs any more.
  bool TakeHeldQuit() {
    if (running_ || !quitHeld_)
      return false;
    quitHeld_ = false;
    return true;
  }

  // Nested periods (the busy window): only the outermost begin and its
  // matching end count. EnterNested is true for the outermost begin;
  // LeaveNested is true for the end of the outermost period, and also when
  // none was open, so that a stray end still restores what an outermost
  // one would.
  bool EnterNested() { return nested_++ == 0; }
  bool LeaveNested() { return nested_ == 0 || --nested_ == 0; }
  bool Nested() const { return nested_ > 0; }

  // A wait begun inside a running one is empty: the outer one keeps its
  // request, and ends it.
  [[nodiscard]] Wait BeginWait() {
    if (waiting_)
      return Wait(nullptr);
    waiting_ = true;
    closeRequested_ = false;
    return Wait(this);
  }
  // Asks the running wait to end: true when one runs (it sees the request
  // through CloseRequested), false when none does.
  bool RequestClose() {
    if (!waiting_)
      return false;
    closeRequested_ = true;
    return true;
  }
  bool CloseRequested() const { return closeRequested_; }

private:
  bool running_ = false;
  bool quitHeld_ = false;
  int nested_ = 0;
  bool waiting_ = false;
  bool closeRequested_ = false;
};
