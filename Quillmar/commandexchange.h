// CommandExchange: where the protocol manager holds one command record. The record owns it; the
// manager moves it through its steps, always under its pending-list lock: queued on the pending
// list, copied into the mailbox's command slot, answered (or completed by the manager without an
// answer), or abandoned in the mailbox by a sender whose wait ran out, until the DSP's late answer
// or the manager's stop lets the record go.
#pragma once
#include "km/types.h"

class CommandExchange {
public:
    enum class Withdrawal {
        None,            // answered or completed already: the sender keeps waiting for nothing
        FromPendingList, // it was pending: back to idle, the caller takes it off the list
        FromMailbox,     // it was in the mailbox: abandoned, kept until the DSP's answer or the stop
    };

    // Whether the record is on one of the manager's lists (pending, in the mailbox, abandoned there).
    bool IsQueued() const
    {
        return m_state == State::Pending || m_state == State::InMailbox || m_state == State::Abandoned;
    }
    bool IsAbandoned() const { return m_state == State::Abandoned; }

    // The record is readied for a new command: not with the manager.
    void Reset() { m_state = State::Idle; }
    // Onto the pending list.
    void Queue() { m_state = State::Pending; }
    // Into the command slot: the DSP's answer is outstanding.
    void EnterMailbox() { m_state = State::InMailbox; }
    // Answered, or completed by the manager without an answer.
    void Answer() { m_state = State::Answered; }
    // A sender's time-out.
    Withdrawal Withdraw()
    {
        switch (m_state) {
        case State::Pending:
            m_state = State::Idle;
            return Withdrawal::FromPendingList;
        case State::InMailbox:
            m_state = State::Abandoned;
            return Withdrawal::FromMailbox;
        default:
            return Withdrawal::None;
        }
    }
    // An abandoned record leaves the mailbox (its late answer came, or the manager stopped): true,
    // and back to idle; false, and unchanged, for any other record.
    bool ReleaseAbandoned()
    {
        if (m_state != State::Abandoned)
            return false;
        m_state = State::Idle;
        return true;
    }

private:
    enum class State : UCHAR {
        Idle,      // not with the manager
        Pending,   // on the pending list
        InMailbox, // copied into the command slot, the DSP's answer outstanding
        Answered,  // answered (or completed by the manager)
        Abandoned, // in the mailbox, its sender gone after the time-out
    };
    State m_state = State::Idle;
};
