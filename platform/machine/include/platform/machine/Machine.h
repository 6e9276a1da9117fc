// The machine the driver runs on: a folder holding its registry hive ("registry.reg"), its drives
// ("C/..." for C:) and its event log ("eventlog.txt"); booting it (clock, registry, drives, event
// log and the message tables of its event sources); loading and unloading driver services from
// their files with dlopen; plugging PCI functions in and out with plug and play; and shutting it
// down, or ending the run as a crash would. docs/platform-machine.md tells the whole story.
//
// The stand-in's registry, drives and event log are one per process, so one machine is open at a
// time. Every call blocks until the drivers have answered; the calls into drivers run on system
// threads at PASSIVE_LEVEL. Calls on one machine are serialised.
#pragma once
#include "km/status.h"
#include "km/types.h"
#include "platform/bus/PciFunction.h"
#include "platform/machine/PluggedDevice.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class DeviceNode;
class DriverImage;
class EventLogFile;
class LoadedDriver;
class ResourceArbiter;

// A driver file copied into the machine's drives at boot, so that the machine loads its own copy as
// Windows loads the file installed in its drivers folder.
struct DriverFileInstall {
    std::filesystem::path source; // a built file, e.g. build/bin/MachineTest.sys
    std::u16string target;        // e.g. u"C:\\Windows\\System32\\drivers\\MachineTest.sys"
};

struct MachineOptions {
    double speedFactor = 1.0; // the clock's speed factor while the machine is open
    std::vector<DriverFileInstall> driverFiles;
};

// What ending drivers left behind.
struct UnloadReport {
    size_t shutdownRequests = 0; // shutdown requests sent (Shutdown only)
    size_t devicesLeft = 0;      // device objects still there after DriverUnload (each a breach)
    size_t leaks = 0;            // outstanding resources the verifier's leak checks reported
    bool leakChecksRun = false;
    bool imagesUnmapped = true; // false when a driver's code was kept mapped because it may still run
};

class Machine {
public:
    static constexpr const char* kRegistryFile = "registry.reg";
    static constexpr const char* kEventLogFile = "eventlog.txt";

    // Makes `folder` a machine: copies from `templateFolder` everything the folder lacks (all of it
    // on first use). The template is only read. Throws std::runtime_error when the template has no
    // registry.reg or a copy fails.
    static void CreateFolder(const std::filesystem::path& folder,
                             const std::filesystem::path& templateFolder);
    // The same from layered templates, base first. A folder without registry.reg gets the first
    // template's hive with each later one's imported over it (the texts one after the other, so
    // that a later layer adds keys, replaces values and may delete with "[-key]" and "name"=-);
    // every other file the folder lacks comes from the last template that has it. The templates are
    // only read. Throws std::runtime_error for an empty list, a template without registry.reg, a
    // layered hive that is not UTF-8 text starting with the header line, or a failed copy; nothing
    // is made when a template is refused.
    static void CreateFolder(const std::filesystem::path& folder,
                             const std::vector<std::filesystem::path>& templates);

    // Creates the folder when needed and boots the machine in it: the clock's speed factor, the
    // registry from registry.reg, the drives, the driver files of `options`, an empty event log that
    // keeps the text of earlier runs, and the message tables of the event sources. Throws
    // std::logic_error while another machine is open, std::runtime_error when the folder cannot be
    // made or the hive cannot be read.
    static std::unique_ptr<Machine> Open(const std::filesystem::path& folder,
                                         const std::filesystem::path& templateFolder,
                                         MachineOptions options = {});
    // The same over layered templates, base first (CreateFolder above).
    static std::unique_ptr<Machine> Open(const std::filesystem::path& folder,
                                         const std::vector<std::filesystem::path>& templates,
                                         MachineOptions options = {});
    // Shuts down when that has not happened yet.
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }

    // Loads a driver service (its key under ...\CurrentControlSet\Services) and then adds and starts
    // the plugged devices that wait for it. STATUS_IMAGE_ALREADY_LOADED when it is loaded; the other
    // failures are those of loading (see LoadedDriver.h: a missing key or file, a file that cannot
    // be mapped or has no DriverEntry, or DriverEntry's own status).
    NTSTATUS LoadDriver(const std::u16string& service);
    // Takes the driver's devices away from it (removal requests; the devices stay plugged, inactive),
    // calls DriverUnload, ends the driver object and unmaps the file. When it was the only driver
    // loaded, the verifier's leak checks run and report what was left (pool, handles, threads, IRPs,
    // interrupt connections, mappings, devices); the file is then unmapped only when nothing was, since
    // a driver's leftover threads or routines would run code that is gone. STATUS_NOT_FOUND when the
    // service is not loaded.
    NTSTATUS UnloadDriver(const std::u16string& service, UnloadReport* report = nullptr);
    bool IsDriverLoaded(const std::u16string& service) const;
    // The driver object of a loaded service, else NULL.
    PDRIVER_OBJECT DriverObject(const std::u16string& service) const;

    // Plugs a function in: places its resources, installs it (device instance key, driver key) and
    // tells the model; when a driver service serves it, loads that driver if needed, creates the
    // physical device object, calls the driver's add-device routine, queries the capabilities and
    // starts it with its raw and translated resources. Returns STATUS_SUCCESS when the device
    // started, otherwise why not (STATUS_NOT_FOUND: no driver serves it); the function stays plugged
    // either way. Refused with nothing plugged: STATUS_OBJECT_NAME_COLLISION when the function or its
    // location is plugged already, STATUS_INVALID_PARAMETER for an unsound declaration,
    // STATUS_INSUFFICIENT_RESOURCES when its ranges or interrupt do not fit. The model must stay
    // alive until it is removed or the machine shuts down.
    NTSTATUS Plug(PciFunction& function);
    // The stop query and stop of a started device (a veto is returned and the device stays started).
    NTSTATUS Stop(PciFunction& function);
    // Starts a stopped device again with its resources.
    NTSTATUS Start(PciFunction& function);
    // Orderly removal: the removal query (a veto is returned and nothing changes), the removal
    // request, and the function leaves the machine.
    NTSTATUS Remove(PciFunction& function);
    // The function is pulled out: its ranges read all ones from this moment, the model is told, and
    // its driver gets the surprise-removal request. The removal request follows, as Windows sends
    // it, once no file is open on the device: at once when none is, else when the last one closes
    // (on the closing thread, before its close returns), or when the driver is unloaded. The
    // function leaves the machine at once: it is no longer listed and may be plugged again.
    NTSTATUS SurpriseRemove(PciFunction& function);
    // STATUS_NOT_FOUND from the four above for a function that is not plugged;
    // STATUS_INVALID_DEVICE_STATE for Stop of a device not started and Start of one not stopped.
    std::optional<PluggedDevice> Device(const PciFunction& function) const;
    std::vector<PluggedDevice> Devices() const;

    // Shutdown as Windows does it: the shutdown request to every device registered for it, then
    // every driver unloaded (its devices removed first), every function unplugged, the leak checks
    // run, and registry.reg and eventlog.txt written. The machine is closed afterwards; a second call
    // returns an empty report.
    UnloadReport Shutdown();
    // Writes registry.reg and eventlog.txt as they stand now; false when a file cannot be written.
    bool Save();
    // Ends the run as a crash would, so that the next run sees it: registry.reg and eventlog.txt are
    // saved as they stand (Windows writes both as it goes) but no shutdown request is sent and no
    // driver is unloaded; the process ends at once with `exitStatus`, since drivers' threads are
    // still running.
    [[noreturn]] void EndWithoutShutdown(int exitStatus);

private:
    Machine(std::filesystem::path folder, MachineOptions options);
    void Boot();
    DeviceNode* Find(const PciFunction& function) const;
    NTSTATUS LoadLocked(const std::u16string& service);
    // Ends the given drivers: removal of their devices, DriverUnload, the driver objects; then the
    // leak checks when no driver is left, and the images released.
    UnloadReport UnloadLocked(const std::vector<std::u16string>& services);
    void ReleaseImages(std::vector<std::unique_ptr<DriverImage>> images, UnloadReport& report);
    void StartWaitingDevices(const std::u16string& service);
    NTSTATUS RemoveNode(PciFunction& function, bool surprise);
    // The removal request owed to a surprise-removed node, once its last file has closed.
    void FinishSurpriseRemoval(DeviceNode* node);
    // Sends the owed removal requests of the nodes the services drive (all when null) and forgets them.
    void FinishPendingRemovalsLocked(const std::vector<std::u16string>* services);
    bool SaveLocked();
    void Close();

    mutable std::mutex lock_;
    std::filesystem::path folder_;
    MachineOptions options_;
    double previousSpeedFactor_ = 1.0;
    bool open_ = false;
    std::unique_ptr<EventLogFile> eventLog_;
    std::vector<std::string> messageSources_;
    std::unique_ptr<ResourceArbiter> arbiter_;
    std::vector<std::unique_ptr<LoadedDriver>> drivers_; // in load order
    std::vector<std::unique_ptr<DeviceNode>> devices_;   // in plug order
    // Surprise-removed devices whose removal request waits for their open files to close.
    std::vector<std::unique_ptr<DeviceNode>> removing_;
};

} // namespace platform
