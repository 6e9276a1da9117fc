// Choosing a package's install section for a device and turning its AddReg lines into registry
// writes, checked whole before the first write.
#include "DriverPackage.h"

#include "MachineKey.h"
#include "MachinePaths.h"
#include "Text.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

constexpr ULONG kTypeMask = 0xFFFF0001;
constexpr ULONG kNoClobber = 0x00000002;
constexpr ULONG kKeyOnly = 0x00000010;
constexpr ULONG kTypeString = 0x00000000;
constexpr ULONG kTypeBinary = 0x00000001;
constexpr ULONG kTypeMultiString = 0x00010000;
constexpr ULONG kTypeExpandString = 0x00020000;
constexpr ULONG kTypeDword = 0x00010001;

class Planner {
public:
    Planner(const InfFile& inf, std::string* error) : inf_(inf), error_(error) {}

    NTSTATUS Fail(int line, const std::string& what)
    {
        *error_ = inf_.Name() + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " + what;
        return STATUS_INVALID_PARAMETER;
    }

    // The section in its most specific form that exists: name.NTx86, name.NT, name.
    const std::vector<InfLine>* Decorated(const std::u16string& name, std::u16string* found)
    {
        for (const char16_t* suffix : {u".NTx86", u".NT", u""}) {
            if (auto* lines = inf_.Section(name + suffix)) {
                *found = name + suffix;
                return lines;
            }
        }
        return nullptr;
    }

    // The install section a model line gives the first of the device's ids that one lists.
    NTSTATUS ChooseInstallSection(const std::vector<std::u16string>& ids, const std::u16string& fallback,
                                  std::u16string* section, int* line)
    {
        const auto* manufacturers = inf_.Section(u"Manufacturer");
        struct Model {
            std::u16string section;
            std::vector<std::u16string> ids;
            int line;
        };
        std::vector<Model> models;
        if (manufacturers) {
            for (const auto& m : *manufacturers) {
                const std::u16string& modelsName = m.fields[0];
                if (modelsName.empty())
                    return Fail(m.number, "a manufacturer line names no models section");
                const std::vector<InfLine>* lines = nullptr;
                for (size_t i = 1; i < m.fields.size() && !lines; ++i)
                    lines = inf_.Section(modelsName + u"." + m.fields[i]);
                if (!lines)
                    lines = inf_.Section(modelsName);
                if (!lines)
                    return Fail(m.number, "the models section [" + Utf8(modelsName) + "] is missing");
                for (const auto& model : *lines) {
                    if (model.fields.size() < 2 || model.fields[0].empty() || model.fields[1].empty())
                        return Fail(model.number, "a model line is not 'description = install section, id, ...'");
                    models.push_back({model.fields[0], {model.fields.begin() + 1, model.fields.end()}, model.number});
                }
            }
        }
        for (const auto& id : ids)
            for (const auto& model : models)
                for (const auto& listed : model.ids)
                    if (EqualNoCase(listed, id)) {
                        *section = model.section;
                        *line = model.line;
                        return STATUS_SUCCESS;
                    }
        if (fallback.empty())
            return Fail(0, "no model lists the device and the service names no install section");
        *section = fallback;
        *line = 0;
        return STATUS_SUCCESS;
    }

    static bool Number(const std::u16string& text, ULONG* value)
    {
        if (text.empty())
            return false;
        std::string narrow = Utf8(text);
        const bool hex = narrow.size() > 2 && narrow[0] == '0' && (narrow[1] == 'x' || narrow[1] == 'X');
        if (!hex && (narrow[0] < '0' || narrow[0] > '9'))
            return false;
        if (hex && !std::isxdigit(static_cast<unsigned char>(narrow[2])))
            return false;
        size_t used = 0;
        try {
            const unsigned long long parsed = std::stoull(narrow, &used, hex ? 16 : 10);
            if (used != narrow.size() || parsed > 0xFFFFFFFFull)
                return false;
            *value = static_cast<ULONG>(parsed);
            return true;
        } catch (...) {
            return false;
        }
    }

    static void AppendText(std::vector<unsigned char>& data, const std::u16string& text)
    {
        for (char16_t c : text) {
            data.push_back(static_cast<unsigned char>(c & 0xFF));
            data.push_back(static_cast<unsigned char>(c >> 8));
        }
        data.push_back(0);
        data.push_back(0);
    }

    NTSTATUS AddRegLine(const InfLine& line, PackageRegistryWrite* write)
    {
        if (line.hasKey)
            return Fail(line.number, "an AddReg line has an '='");
        const auto& f = line.fields;
        const std::u16string root = f[0];
        if (EqualNoCase(root, u"HKR"))
            write->driverKey = true;
        else if (!EqualNoCase(root, u"HKLM"))
            return Fail(line.number, "the registry root '" + Utf8(root) + "' is not HKR or HKLM");
        write->subkey = f.size() > 1 ? f[1] : u"";
        if (!write->driverKey && write->subkey.empty())
            return Fail(line.number, "an HKLM line names no subkey");
        if (!write->subkey.empty() && (write->subkey.front() == u'\\' || write->subkey.back() == u'\\' ||
                                       write->subkey.find(u"\\\\") != std::u16string::npos))
            return Fail(line.number, "the subkey '" + Utf8(write->subkey) + "' has an empty part");
        write->name = f.size() > 2 ? f[2] : u"";
        ULONG flags = 0;
        if (f.size() > 3 && !f[3].empty() && !Number(f[3], &flags))
            return Fail(line.number, "the flags '" + Utf8(f[3]) + "' are not a number");
        if (flags & ~(kTypeMask | kNoClobber | kKeyOnly))
            return Fail(line.number, "the flags " + Utf8(Hex(flags, 8)) + " are not supported");
        write->noClobber = flags & kNoClobber;
        write->keyOnly = flags & kKeyOnly;
        if (write->keyOnly)
            return f.size() > 4 ? Fail(line.number, "a key-only line carries a value") : STATUS_SUCCESS;
        const ULONG type = flags & kTypeMask;
        const size_t values = f.size() > 4 ? f.size() - 4 : 0;
        switch (type) {
        case kTypeString:
        case kTypeExpandString:
            if (values > 1)
                return Fail(line.number, "a string value has more than one field");
            write->type = type == kTypeString ? REG_SZ : REG_EXPAND_SZ;
            AppendText(write->data, values ? f[4] : u"");
            return STATUS_SUCCESS;
        case kTypeMultiString:
            write->type = REG_MULTI_SZ;
            for (size_t i = 4; i < f.size(); ++i) {
                if (f[i].empty())
                    return Fail(line.number, "a multi-string value has an empty string");
                AppendText(write->data, f[i]);
            }
            write->data.push_back(0);
            write->data.push_back(0);
            return STATUS_SUCCESS;
        case kTypeBinary:
            write->type = REG_BINARY;
            for (size_t i = 4; i < f.size(); ++i) {
                ULONG byte = 0;
                std::u16string digits = f[i];
                if (digits.size() > 2 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X'))
                    digits = digits.substr(2);
                bool hex = !digits.empty() && digits.size() <= 2;
                for (char16_t c : digits)
                    hex = hex && ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'));
                if (!hex || !Number(u"0x" + digits, &byte))
                    return Fail(line.number, "the binary byte '" + Utf8(f[i]) + "' is not two hexadecimal digits");
                write->data.push_back(static_cast<unsigned char>(byte));
            }
            return STATUS_SUCCESS;
        case kTypeDword: {
            ULONG value = 0;
            if (values != 1 || !Number(f[4], &value))
                return Fail(line.number, "a DWORD value is not one number");
            write->type = REG_DWORD;
            for (int i = 0; i < 4; ++i)
                write->data.push_back(static_cast<unsigned char>(value >> (8 * i)));
            return STATUS_SUCCESS;
        }
        default:
            return Fail(line.number, "the value type " + Utf8(Hex(type, 8)) + " is not supported");
        }
    }

    NTSTATUS Plan(const std::vector<std::u16string>& ids, const std::u16string& fallback, DriverPackagePlan* plan)
    {
        std::u16string chosen;
        int modelLine = 0;
        NTSTATUS status = ChooseInstallSection(ids, fallback, &chosen, &modelLine);
        if (!NT_SUCCESS(status))
            return status;
        const auto* install = Decorated(chosen, &plan->installSection);
        if (!install)
            return Fail(modelLine, "the install section [" + Utf8(chosen) + "] is missing");
        for (const auto& directive : *install) {
            if (!directive.hasKey || !EqualNoCase(directive.key, u"AddReg"))
                continue;
            for (const auto& name : directive.fields) {
                if (name.empty())
                    return Fail(directive.number, "an AddReg directive names an empty section");
                const auto* lines = inf_.Section(name);
                if (!lines)
                    return Fail(directive.number, "the AddReg section [" + Utf8(name) + "] is missing");
                for (const auto& line : *lines) {
                    PackageRegistryWrite write;
                    status = AddRegLine(line, &write);
                    if (!NT_SUCCESS(status))
                        return status;
                    plan->writes.push_back(std::move(write));
                }
            }
        }
        return STATUS_SUCCESS;
    }

private:
    const InfFile& inf_;
    std::string* error_;
};

} // namespace

NTSTATUS PlanDriverPackage(const InfFile& inf, const std::vector<std::u16string>& deviceIds,
                           const std::u16string& fallbackSection, DriverPackagePlan* plan, std::string* error)
{
    *plan = DriverPackagePlan{};
    Planner planner(inf, error);
    const NTSTATUS status = planner.Plan(deviceIds, fallbackSection, plan);
    if (!NT_SUCCESS(status))
        *plan = DriverPackagePlan{};
    return status;
}

NTSTATUS PlanDriverPackage(const std::u16string& infPath, const std::vector<std::u16string>& deviceIds,
                           const std::u16string& fallbackSection, DriverPackagePlan* plan, std::string* error)
{
    *plan = DriverPackagePlan{};
    if (infPath.empty())
        return STATUS_SUCCESS;
    const bool named = infPath.find(u'\\') != std::u16string::npos || infPath.find(u':') != std::u16string::npos;
    const std::u16string fileName = named ? infPath : std::u16string(kSystemRoot) + u"\\INF\\" + infPath;
    std::filesystem::path host;
    const NTSTATUS found = HostFileOf(fileName, &host);
    if (!NT_SUCCESS(found)) {
        *error = Utf8(fileName) + ": the driver package's INF file cannot be found";
        return found;
    }
    std::ifstream in(host, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        *error = Utf8(fileName) + ": the driver package's INF file cannot be read";
        return STATUS_INVALID_PARAMETER;
    }
    auto inf = InfFile::Parse(bytes.str(), Utf8(fileName), error);
    if (!inf)
        return STATUS_INVALID_PARAMETER;
    return PlanDriverPackage(*inf, deviceIds, fallbackSection, plan, error);
}

NTSTATUS ApplyDriverPackage(const DriverPackagePlan& plan, const std::u16string& driverKeyPath)
{
    for (const auto& write : plan.writes) {
        std::u16string path = write.driverKey ? driverKeyPath : std::u16string(u"\\Registry\\Machine");
        if (!write.subkey.empty())
            path += u"\\" + write.subkey;
        MachineKey key;
        NTSTATUS status = key.Create(path);
        if (!NT_SUCCESS(status))
            return status;
        if (write.keyOnly)
            continue;
        if (write.noClobber && standin::ReadRegistryValue(path, write.name))
            continue;
        status = key.SetValue(write.name, write.type, write.data.data(), write.data.size());
        if (!NT_SUCCESS(status))
            return status;
    }
    return STATUS_SUCCESS;
}

} // namespace platform
