#pragma once
// Events and waits in the manner of the Windows synchronisation objects the program was designed
// around: auto-reset and manual-reset events, waits with a timeout in milliseconds, and a wait for
// any of several events.

#include <initializer_list>

/// Timeout value that waits forever.
constexpr int kInfinite = -1;

class Event {
public:
    enum class Mode { AutoReset, ManualReset };

    explicit Event(Mode mode, bool initiallySet = false) : mode_(mode), set_(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    /// Signals the event; an auto-reset event releases one wait and clears itself.
    bool Set();
    bool Reset();
    /// True when the event was signalled within the timeout (kInfinite waits forever; 0 polls).
    /// A wait that sees an auto-reset event signalled clears it.
    bool Wait(int timeoutMs);

private:
    friend int WaitForAnyEvent(std::initializer_list<Event*> events, int timeoutMs);

    Mode mode_;
    bool set_;
};

/// Waits until one of the events is signalled and answers its position in the list (clearing it
/// when it is auto-reset; the first signalled one wins), or -1 when the timeout passed first.
int WaitForAnyEvent(std::initializer_list<Event*> events, int timeoutMs);
