#pragma once
#include "link/transferstate.h"
#include "link/progress.h"

namespace tessaly {

// The start and the end every transfer goes through, written once. While another
// transfer runs, the new one is refused: with the busy text, or quietly for the
// readiness check, which the status picture and timer start on their own. Otherwise
// the busy flag is held for the session's life, the link-ok flag raised, the pending
// error text emptied and the busy cursor shown; the end puts the cursor back and clears
// the busy flag, whatever way the transfer left.
class TransferSession {
public:
    enum class Refusal { Message, Quiet };
    enum class Pointer { Busy, Unchanged };

    TransferSession(TransferState& state, Progress& progress, Refusal refusal = Refusal::Message,
                    Pointer pointer = Pointer::Busy)
        : m_state(state), m_progress(progress), m_pointer(pointer) {
        if (state.busy) {
            if (refusal == Refusal::Message) progress.refusebusy();
            return;
        }
        m_started = true;
        state.busy = true;
        state.linkok = true;
        state.pendingerror.clear();
        if (pointer == Pointer::Busy) progress.setcursor(Cursor::Busy);
    }
    ~TransferSession() {
        if (!m_started) return;
        if (m_pointer == Pointer::Busy) m_progress.setcursor(Cursor::Normal);
        m_state.busy = false;
    }
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    bool started() const { return m_started; }
    explicit operator bool() const { return m_started; }

private:
    TransferState& m_state;
    Progress& m_progress;
    Pointer m_pointer;
    bool m_started = false;
};

} // namespace tessaly
