// LogicalStream: one capture stream as the DSP's answers see it. Only what the command records need
// is declared here: a filled capture buffer is handed to its stream's frame-ready operation, which
// then owns the record. The stream engine defines the class.
#pragma once

class CommandHandler;

class LogicalStream {
public:
    // Takes a record whose capture buffer the DSP filled (response id 5); the stream owns the
    // record from then on and returns it to the device's pool when done.
    void OnFrameReady(CommandHandler* handler);
};
