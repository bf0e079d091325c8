#pragma once

namespace tessaly {

// "Process pending window messages": one pass of the user interface's event loop.
// The window runs Qt's events here; the CLI checks for Ctrl+C.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void processmessages() = 0;
};

class NullPump final : public MessagePump {
public:
    void processmessages() override {}
};

} // namespace tessaly
