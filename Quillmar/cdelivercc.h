// CDeliverCC (algorithm id 15): the closed-caption pin's step. Each VBI frame from the separator
// becomes a frame of the two caption bytes of one field (parity bits included; 0x80 0x80 when the
// field carried none); VBI field 0 selects the word the separator stored for its field 0, NTSC
// field 1 (CC1, CC2).
#pragma once
#include "algorithm.h"

class CDeliverCC : public Algorithm {
public:
    CDeliverCC(LONG ccField, LONG idWord, LONG vbiField);
    ~CDeliverCC() override;
    void Process(Frame* frame) override;
    // Ids and the three settings equal.
    bool IsEqual(const Algorithm* other) const override;

    LONG GetVbiField() const { return m_vbiField; }

private:
    LONG m_ccField;
    LONG m_idWord;
    LONG m_vbiField;
    Frame* m_output = nullptr;
};
