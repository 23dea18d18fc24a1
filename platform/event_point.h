#pragma once
// A point in a long piece of work at which the window that started it may
// handle pending input (Stop, the close box).

namespace keldor::platform {

// The repairs need nothing else of the window; a recovery run's view is one.
class EventPoint {
public:
    virtual ~EventPoint() = default;
    // Lets the window handle what is pending; Stop and close set the run flags here.
    virtual void processEvents() = 0;
};

} // namespace keldor::platform
