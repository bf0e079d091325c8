#pragma once
#include "link/transferstate.h"
#include "link/progress.h"

namespace tessaly {

// The start and the end every transfer goes through, written once. While another
// transfer runs, the new one is refused: with the busy text, or quietly for the
// readiness check, which the status picture and timer start on their own. Otherwise
// the busy flag is held for the session's life, the link-ok flag raised, the pending
// error text emptied and the work reported as started; the end reports it ended and
// clears the busy flag, whatever way the transfer left. Nothing else sets or clears the
// busy flag while a transfer runs: a save or a conversion a window command runs holds
// a session of its own around it.
class TransferSession {
public:
    enum class Refusal { Message, Quiet };
    // Silent: the check the status picture's timer runs is no work the user waits for.
    enum class Report { Working, Silent };

    TransferSession(TransferState& state, Progress& progress, Refusal refusal = Refusal::Message,
                    Report report = Report::Working)
        : m_state(state), m_progress(progress), m_report(report) {
        if (state.busy) {
            if (refusal == Refusal::Message) progress.refusebusy();
            return;
        }
        m_started = true;
        state.busy = true;
        state.linkok = true;
        state.pendingerror.clear();
        if (report == Report::Working) progress.working(Work::Started);
    }
    ~TransferSession() {
        if (!m_started) return;
        if (m_report == Report::Working) m_progress.working(Work::Ended);
        m_state.busy = false;
    }
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    bool started() const { return m_started; }
    explicit operator bool() const { return m_started; }

private:
    TransferState& m_state;
    Progress& m_progress;
    Report m_report;
    bool m_started = false;
};

} // namespace tessaly
