// BasicPin: the base of every pin object of the board's filters. The framework's pin (its context
// is this object) carries the connection; the object keeps it, and looks its parent filter and the
// board's Device up once, on first use. The virtual operations keep one order through the family:
// the sample duration, the chain builder and the device-state change, then the framework's
// create, close, reset, connect and disconnect.
#pragma once
#include "kernel/driverheap.h"
#include "km/irp.h"
#include "km/ks.h"
#include "km/kspin.h"
#include "km/types.h"

class AlgorithmList;
class BasicFilter;
class Device;

class BasicPin : public DriverAllocated {
public:
    explicit BasicPin(PKSPIN pin) : m_ksPin(pin) {}
    BasicPin(const BasicPin&) = delete;
    BasicPin& operator=(const BasicPin&) = delete;

    // ---- virtual operations, in slot order ------------------------------------------------------
    virtual ~BasicPin();
    // The time one delivered frame covers (100-ns units).
    virtual LONGLONG GetSampleDuration() = 0;
    // Appends the pin's processing chain, its sink last.
    virtual NTSTATUS BuildAlgorithmChain(AlgorithmList* list) = 0;
    // One step of the framework's state change (neighbouring states).
    virtual NTSTATUS OnSetDeviceState(KSSTATE to, KSSTATE from) = 0;
    // After the format was accepted: 0 here.
    virtual NTSTATUS OnCreate(PIRP irp);
    // Forgets the framework's pin: 0.
    virtual NTSTATUS OnClose(PIRP irp);
    virtual void OnReset();
    virtual NTSTATUS OnConnect();
    virtual void OnDisconnect();
    // ---- end of the virtual operations -----------------------------------------------------------
    // The framework's Process call (frames arrived): STATUS_PENDING here, the frames waiting for the
    // pin's stream.
    virtual NTSTATUS OnProcess() { return STATUS_PENDING; }

    PKSPIN GetKsPin() const { return m_ksPin; }
    // The parent filter's object (the filter's context), looked up once.
    BasicFilter* GetFilter() const;
    // The board's Device, looked up once.
    Device* GetDevice() const;

    // The object bag's free routine: destroys the pin object.
    static VOID NTAPI PinCleanup(PVOID object);
    // The object of a framework pin (its context); null for none.
    static BasicPin* FromKsPin(PKSPIN pin)
    {
        return pin != nullptr ? static_cast<BasicPin*>(pin->Context) : nullptr;
    }

protected:
    void ForgetKsPin() { m_ksPin = nullptr; }

private:
    PKSPIN m_ksPin;
    mutable BasicFilter* m_filter = nullptr;
    mutable Device* m_device = nullptr;
};
