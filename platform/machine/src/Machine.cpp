// The machine: its folder, boot, driver services, plug and play and shutdown.
#include "platform/machine/Machine.h"

#include "DeviceNode.h"
#include "DriverImage.h"
#include "EventLogFile.h"
#include "EventMessageFiles.h"
#include "LoadedDriver.h"
#include "MachineStatus.h"
#include "ResourceArbiter.h"
#include "SystemWork.h"
#include "Text.h"
#include "km/deviceinterface.h"
#include "km/eventlog.h"
#include "km/irp.h"
#include "km/registry.h"
#include "platform/Clock.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/drives.h"
#include "standin/eventlog.h"
#include "standin/registry.h"
#include "standin/verifier.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<bool> g_machineOpen{false};
// One writer of registry.reg at a time: a save, or a driver's flush on its own thread.
std::mutex g_hiveWriteLock;

// The System log's "MaxSize" (bytes) from the hive; missing, 0 or not a dword: Windows' default.
size_t EventLogMaximumBytes()
{
    const auto size = standin::ReadRegistryDword(
        u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", u"MaxSize");
    return size && *size != 0 ? *size : EventLogFile::kDefaultMaximumBytes;
}

bool WriteHive(const std::filesystem::path& file)
{
    std::lock_guard hold(g_hiveWriteLock);
    return standin::ExportRegistryFile(file);
}

// Copies a file through a temporary name and a rename, so that an older copy some process still has
// mapped keeps its own contents.
void InstallFile(const std::filesystem::path& source, const std::filesystem::path& target)
{
    std::filesystem::path temporary = target;
    temporary += ".new";
    std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(temporary, target);
}

constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";

// A template's hive as UTF-8 text (its byte-order mark dropped), checked to open with the header.
std::string TemplateHive(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    std::string hive = text.str();
    if (hive.size() >= 2 &&
        ((hive[0] == '\xFF' && hive[1] == '\xFE') || (hive[0] == '\xFE' && hive[1] == '\xFF')))
        throw std::runtime_error(file.string() + ": a layered hive must be UTF-8 text");
    if (hive.compare(0, 3, "\xEF\xBB\xBF") == 0)
        hive.erase(0, 3);
    const size_t end = hive.find('\n');
    std::string_view first = std::string_view(hive).substr(0, end);
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    if (first != kHiveHeader)
        throw std::runtime_error(file.string() + ": the first line is not \"" + std::string(kHiveHeader) +
                                 "\"");
    return hive;
}

// The base template's hive followed by each later layer's lines after its header: importing the
// whole is importing each layer over the ones before it.
std::string LayeredHive(const std::vector<std::filesystem::path>& templates)
{
    std::string layered;
    for (const auto& templateFolder : templates) {
        std::string hive = TemplateHive(templateFolder / Machine::kRegistryFile);
        if (!layered.empty()) {
            const size_t end = hive.find('\n');
            hive.erase(0, end == std::string::npos ? hive.size() : end + 1);
            if (layered.back() != '\n')
                layered += '\n';
            layered += '\n';
        }
        layered += hive;
    }
    return layered;
}

} // namespace

void Machine::CreateFolder(const std::filesystem::path& folder, const std::filesystem::path& templateFolder)
{
    CreateFolder(folder, std::vector<std::filesystem::path>{templateFolder});
}

void Machine::CreateFolder(const std::filesystem::path& folder,
                           const std::vector<std::filesystem::path>& templates)
{
    if (templates.empty())
        throw std::runtime_error("no machine template for " + folder.string());
    for (const auto& templateFolder : templates)
        if (!std::filesystem::is_regular_file(templateFolder / kRegistryFile))
            throw std::runtime_error("machine template " + templateFolder.string() + " has no " +
                                     kRegistryFile);
    const std::filesystem::path hive = folder / kRegistryFile;
    std::string layered;
    const bool layering = templates.size() > 1 && !std::filesystem::exists(hive);
    if (layering)
        layered = LayeredHive(templates);

    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (layering) {
        std::ofstream out(hive, std::ios::binary);
        out << layered;
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + hive.string());
    }
    // The last template first: a file the folder lacks comes from the last layer that has it.
    for (auto it = templates.rbegin(); it != templates.rend(); ++it) {
        std::filesystem::copy(
            *it, folder,
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing, error);
        if (error)
            throw std::runtime_error("cannot make machine folder " + folder.string() + ": " +
                                     error.message());
    }
}

std::unique_ptr<Machine> Machine::Open(const std::filesystem::path& folder,
                                       const std::filesystem::path& templateFolder, MachineOptions options)
{
    return Open(folder, std::vector<std::filesystem::path>{templateFolder}, std::move(options));
}

std::unique_ptr<Machine> Machine::Open(const std::filesystem::path& folder,
                                       const std::vector<std::filesystem::path>& templates,
                                       MachineOptions options)
{
    if (g_machineOpen.exchange(true))
        throw std::logic_error("a machine is open already");
    try {
        CreateFolder(folder, templates);
        std::unique_ptr<Machine> machine(new Machine(folder, std::move(options)));
        machine->Boot();
        return machine;
    } catch (...) {
        g_machineOpen = false;
        throw;
    }
}

Machine::Machine(std::filesystem::path folder, MachineOptions options)
    : folder_(std::move(folder)), options_(std::move(options)), arbiter_(std::make_unique<ResourceArbiter>())
{
}

void Machine::Boot()
{
    previousSpeedFactor_ = Clock::SpeedFactor();
    Clock::SetSpeedFactor(options_.speedFactor);

    standin::ResetRegistry();
    standin::RegistryTextError error;
    if (!standin::ImportRegistryFile(folder_ / kRegistryFile, &error)) {
        Clock::SetSpeedFactor(previousSpeedFactor_);
        throw std::runtime_error((folder_ / kRegistryFile).string() + " line " + std::to_string(error.line) +
                                 ": " + error.message);
    }

    // A new boot starts with no device interface registered; their keys stay in the hive.
    standin::ResetDeviceInterfaces();
    standin::SetMachineRoot(folder_.string());
    for (const auto& install : options_.driverFiles) {
        std::string host;
        const NTSTATUS status = standin::ResolveFileName(install.target, &host);
        if (status != STATUS_SUCCESS && status != STATUS_OBJECT_NAME_NOT_FOUND) {
            standin::SetMachineRoot("");
            Clock::SetSpeedFactor(previousSpeedFactor_);
            throw std::runtime_error("cannot install " + install.source.string() + " as " +
                                     Utf8(install.target));
        }
        InstallFile(install.source, host);
    }

    standin::EventLogClear();
    eventLog_ = std::make_unique<EventLogFile>(folder_ / kEventLogFile, EventLogMaximumBytes());
    // As Windows keeps them: the hive written through at every flush, the log entry by entry.
    standin::SetEventLogWriteHandler(
        [log = eventLog_.get()](const standin::EventLogEntry& entry) { log->Append(standin::EventLogEntryText(entry)); });
    standin::SetRegistryFlushHandler([hive = folder_ / kRegistryFile] { return WriteHive(hive); });
    for (const auto& table : RegisterEventMessageFiles())
        messageSources_.push_back(table.source);
    open_ = true;
}

Machine::~Machine()
{
    Shutdown();
}

DeviceNode* Machine::Find(const PciFunction& function) const
{
    for (const auto& node : devices_)
        if (&node->Function() == &function)
            return node.get();
    return nullptr;
}

bool Machine::IsDriverLoaded(const std::u16string& service) const
{
    return DriverObject(service) != nullptr;
}

PDRIVER_OBJECT Machine::DriverObject(const std::u16string& service) const
{
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& driver : drivers_)
        if (EqualNoCase(driver->Service(), service))
            return driver->Object();
    return nullptr;
}

NTSTATUS Machine::LoadDriver(const std::u16string& service)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!open_)
        return STATUS_INVALID_DEVICE_STATE;
    return LoadLocked(service);
}

NTSTATUS Machine::LoadLocked(const std::u16string& service)
{
    for (const auto& driver : drivers_)
        if (EqualNoCase(driver->Service(), service))
            return STATUS_IMAGE_ALREADY_LOADED;
    std::unique_ptr<LoadedDriver> driver;
    std::unique_ptr<DriverImage> failedImage;
    const NTSTATUS status = LoadedDriver::Load(service, &driver, &failedImage);
    if (!NT_SUCCESS(status)) {
        if (failedImage) {
            std::vector<std::unique_ptr<DriverImage>> images;
            images.push_back(std::move(failedImage));
            UnloadReport report;
            ReleaseImages(std::move(images), report);
        }
        for (auto& node : devices_)
            if (EqualNoCase(node->Service(), service))
                node->SetLastStatus(status);
        return status;
    }
    drivers_.push_back(std::move(driver));
    StartWaitingDevices(service);
    return STATUS_SUCCESS;
}

void Machine::StartWaitingDevices(const std::u16string& service)
{
    PDRIVER_OBJECT object = nullptr;
    for (const auto& driver : drivers_)
        if (EqualNoCase(driver->Service(), service))
            object = driver->Object();
    if (!object)
        return;
    for (auto& node : devices_)
        if (node->State() == DeviceState::Inactive && EqualNoCase(node->Service(), service))
            node->AddAndStart(object);
}

NTSTATUS Machine::UnloadDriver(const std::u16string& service, UnloadReport* report)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto loaded = std::find_if(drivers_.begin(), drivers_.end(),
                               [&](const auto& driver) { return EqualNoCase(driver->Service(), service); });
    if (!open_ || loaded == drivers_.end())
        return STATUS_NOT_FOUND;
    UnloadReport result = UnloadLocked({(*loaded)->Service()});
    if (report)
        *report = result;
    return STATUS_SUCCESS;
}

UnloadReport Machine::UnloadLocked(const std::vector<std::u16string>& services)
{
    UnloadReport report;
    std::vector<std::unique_ptr<DriverImage>> images;
    FinishPendingRemovalsLocked(&services);
    for (const auto& service : services) {
        for (auto& node : devices_)
            if (node->HasStack() && EqualNoCase(node->Service(), service))
                node->RemoveStack(false);
        auto loaded = std::find_if(drivers_.begin(), drivers_.end(), [&](const auto& driver) {
            return EqualNoCase(driver->Service(), service);
        });
        if (loaded == drivers_.end())
            continue;
        std::unique_ptr<DriverImage> image;
        report.devicesLeft += (*loaded)->Unload(&image);
        drivers_.erase(loaded);
        images.push_back(std::move(image));
    }
    ReleaseImages(std::move(images), report);
    return report;
}

void Machine::ReleaseImages(std::vector<std::unique_ptr<DriverImage>> images, UnloadReport& report)
{
    bool safe = report.devicesLeft == 0;
    if (drivers_.empty()) {
        // Nothing else is running driver code now: whatever is outstanding was left behind.
        report.leaks = standin::VerifierCheckLeaks();
        report.leakChecksRun = true;
        safe = safe && report.leaks == 0;
    } else {
        // Other drivers still hold resources of their own, so the process-wide checks would accuse
        // them; keep the image when requests are still in flight anywhere.
        safe = safe && standin::LiveIrpCount() == 0;
    }
    for (auto& image : images) {
        if (!image)
            continue;
        if (!safe) {
            image->KeepMapped();
            report.imagesUnmapped = false;
            standin::VerifierReport("driver-unload", image->File().string() +
                                                         " stays mapped: the driver left resources behind");
        } else if (!image->Unmap()) {
            report.imagesUnmapped = false;
            standin::VerifierReport("driver-unload",
                                    image->File().string() +
                                        " is still mapped after dlclose, so a second load would find this "
                                        "load's data (a driver file must be built without unique symbols: "
                                        "-fno-gnu-unique)");
        }
        image.reset();
    }
}

NTSTATUS Machine::Plug(PciFunction& function)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!open_)
        return STATUS_INVALID_DEVICE_STATE;
    const PciLocation location = function.Location();
    for (const auto& node : devices_)
        if (&node->Function() == &function || node->Location() == location)
            return STATUS_OBJECT_NAME_COLLISION;

    std::unique_ptr<DeviceNode> node;
    std::string error;
    const NTSTATUS created = DeviceNode::Create(function, *arbiter_, &node, &error);
    if (!NT_SUCCESS(created)) {
        std::fprintf(stderr, "machine: cannot plug the function at %u:%u.%u: %s\n", location.bus,
                     location.device, location.function, error.c_str());
        return created;
    }
    DeviceNode* plugged = node.get();
    devices_.push_back(std::move(node));
    function.OnPlugged(plugged->Info().assignment);

    const std::u16string service = plugged->Service();
    if (service.empty())
        return STATUS_NOT_FOUND;
    for (const auto& driver : drivers_)
        if (EqualNoCase(driver->Service(), service))
            return plugged->AddAndStart(driver->Object());
    const NTSTATUS loaded = LoadLocked(service);
    if (!NT_SUCCESS(loaded))
        return loaded;
    return plugged->Info().lastStatus;
}

NTSTATUS Machine::Stop(PciFunction& function)
{
    std::lock_guard<std::mutex> hold(lock_);
    DeviceNode* node = Find(function);
    return node ? node->Stop() : STATUS_NOT_FOUND;
}

NTSTATUS Machine::Start(PciFunction& function)
{
    std::lock_guard<std::mutex> hold(lock_);
    DeviceNode* node = Find(function);
    return node ? node->Start() : STATUS_NOT_FOUND;
}

NTSTATUS Machine::Remove(PciFunction& function)
{
    return RemoveNode(function, false);
}

NTSTATUS Machine::SurpriseRemove(PciFunction& function)
{
    return RemoveNode(function, true);
}

NTSTATUS Machine::RemoveNode(PciFunction& function, bool surprise)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto found = std::find_if(devices_.begin(), devices_.end(),
                              [&](const auto& node) { return &node->Function() == &function; });
    if (found == devices_.end())
        return STATUS_NOT_FOUND;
    DeviceNode& node = **found;
    if (surprise) {
        node.SurpriseRemove();
        std::unique_ptr<DeviceNode> pulled = std::move(*found);
        devices_.erase(found);
        DeviceNode* waiting = pulled.get();
        PDEVICE_OBJECT pdo = pulled->PhysicalDeviceObject();
        if (pdo && standin::CallWhenDeviceUnused(pdo, [this, waiting] { FinishSurpriseRemoval(waiting); })) {
            removing_.push_back(std::move(pulled));
            return STATUS_SUCCESS;
        }
        pulled->FinishRemoval();
        return STATUS_SUCCESS;
    } else {
        const NTSTATUS status = node.RemoveStack(true);
        if (!NT_SUCCESS(status))
            return status;
        node.Unplugged();
    }
    devices_.erase(found);
    return STATUS_SUCCESS;
}

void Machine::FinishSurpriseRemoval(DeviceNode* node)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto found = std::find_if(removing_.begin(), removing_.end(),
                              [node](const auto& candidate) { return candidate.get() == node; });
    if (found == removing_.end())
        return; // the driver's unload sent it already
    std::unique_ptr<DeviceNode> finished = std::move(*found);
    removing_.erase(found);
    finished->FinishRemoval();
}

void Machine::FinishPendingRemovalsLocked(const std::vector<std::u16string>* services)
{
    for (auto it = removing_.begin(); it != removing_.end();) {
        DeviceNode& node = **it;
        bool served = services == nullptr;
        for (size_t i = 0; !served && i < services->size(); ++i)
            served = EqualNoCase(node.Service(), (*services)[i]);
        if (!served) {
            ++it;
            continue;
        }
        // Files still open on the device: the driver is going all the same.
        if (node.PhysicalDeviceObject())
            standin::CancelWhenDeviceUnused(node.PhysicalDeviceObject());
        node.FinishRemoval();
        it = removing_.erase(it);
    }
}

std::optional<PluggedDevice> Machine::Device(const PciFunction& function) const
{
    std::lock_guard<std::mutex> hold(lock_);
    DeviceNode* node = Find(function);
    if (!node)
        return std::nullopt;
    return node->Info();
}

std::vector<PluggedDevice> Machine::Devices() const
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<PluggedDevice> devices;
    for (const auto& node : devices_)
        devices.push_back(node->Info());
    return devices;
}

UnloadReport Machine::Shutdown()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!open_)
        return {};
    size_t notified = 0;
    RunOnSystemThread([&] { notified = standin::SendShutdownNotifications(); });

    std::vector<std::u16string> services;
    for (auto loaded = drivers_.rbegin(); loaded != drivers_.rend(); ++loaded)
        services.push_back((*loaded)->Service());
    UnloadReport report = UnloadLocked(services);
    report.shutdownRequests = notified;
    FinishPendingRemovalsLocked(nullptr);
    for (auto& node : devices_)
        node->Unplugged();
    devices_.clear();
    if (!report.leakChecksRun) {
        report.leaks = standin::VerifierCheckLeaks();
        report.leakChecksRun = true;
    }
    SaveLocked();
    Close();
    return report;
}

bool Machine::Save()
{
    std::lock_guard<std::mutex> hold(lock_);
    return open_ && SaveLocked();
}

bool Machine::SaveLocked()
{
    const bool hive = WriteHive(folder_ / kRegistryFile);
    const bool log = eventLog_->Save();
    return hive && log;
}

void Machine::EndWithoutShutdown(int exitStatus)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (open_)
            SaveLocked();
    }
    std::fflush(nullptr);
    _exit(exitStatus);
}

void Machine::Close()
{
    standin::SetRegistryFlushHandler(nullptr);
    standin::SetEventLogWriteHandler(nullptr);
    for (const auto& source : messageSources_)
        standin::UnregisterMessageTable(source);
    messageSources_.clear();
    standin::SetMachineRoot("");
    Clock::SetSpeedFactor(previousSpeedFactor_);
    open_ = false;
    g_machineOpen = false;
}

} // namespace platform
