// Registration scripts (the "REGISTRY" resources of modules) through the registrar's parser: the
// bytes are decoded as a resource's text and parsed with a %MODULE% replacement. A script that
// parses is written back in canonical form (every word quoted) and must parse to the same tree;
// names stay within the registry's limits.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "registrar/RegistrarScript.h"
#include "resources/ResourceText.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A word quoted so that neither the quote nor a replacement changes it.
std::u16string Quoted(const std::u16string& text)
{
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'')
            out += u"''";
        else if (c == u'%')
            out += u"%%";
        else
            out += c;
    }
    return out + u"'";
}

std::u16string Value(const user::RegistrarValue& value)
{
    if (value.type == REG_DWORD)
        return u"d " + Quoted(std::u16string(u"") + [&] {
                   std::u16string digits;
                   for (char c : std::to_string(value.number))
                       digits += static_cast<char16_t>(c);
                   return digits;
               }());
    if (value.type == REG_BINARY) {
        static const char hex[] = "0123456789ABCDEF";
        std::u16string digits;
        for (BYTE b : value.bytes) {
            digits += static_cast<char16_t>(hex[b >> 4]);
            digits += static_cast<char16_t>(hex[b & 15]);
        }
        return u"b " + Quoted(digits);
    }
    return u"s " + Quoted(value.text);
}

std::u16string Render(const std::vector<user::RegistrarNode>& nodes)
{
    std::u16string out;
    for (const auto& node : nodes) {
        if (node.kind == user::RegistrarNode::Delete) {
            out += u" Delete " + Quoted(node.name);
            continue;
        }
        if (node.kind == user::RegistrarNode::Value) {
            out += u" val " + Quoted(node.name) + u" = " + Value(node.value);
            continue;
        }
        if (node.noRemove)
            out += u" NoRemove";
        if (node.forceRemove)
            out += u" ForceRemove";
        out += u" " + Quoted(node.name);
        if (node.hasValue)
            out += u" = " + Value(node.value);
        out += u" {" + Render(node.children) + u" }";
    }
    return out;
}

std::u16string Render(const user::RegistrarScript& script)
{
    std::u16string out;
    for (const auto& root : script.roots)
        out += std::u16string(root.key == HKEY_CLASSES_ROOT ? u"HKCR" : u"HKLM") + u" {" +
               Render(root.nodes) + u" }\n";
    return out;
}

void CheckNames(const std::vector<user::RegistrarNode>& nodes)
{
    for (const auto& node : nodes) {
        Check(!node.name.empty() && node.name.size() <= 255);
        Check(node.kind == user::RegistrarNode::Key || node.children.empty());
        CheckNames(node.children);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16))
        return 0;
    const std::u16string text = user::ResourceText(data, size);
    const std::vector<user::RegistrarReplacement> replacements = {
        {u"MODULE", u"C:\\Windows\\System32\\It's 100%.dll"}};
    user::RegistrarScript script;
    std::string error;
    if (!user::ParseRegistrarScript(text, replacements, &script, &error)) {
        Check(error.rfind("line ", 0) == 0);
        return 0;
    }
    for (const auto& root : script.roots) {
        Check(root.key == HKEY_CLASSES_ROOT || root.key == HKEY_LOCAL_MACHINE);
        CheckNames(root.nodes);
    }
    const std::u16string canonical = Render(script);
    user::RegistrarScript again;
    Check(user::ParseRegistrarScript(canonical, {}, &again, &error));
    Check(Render(again) == canonical);
    return 0;
}
