// The stand-in's own side of COM: the system classes (those the platform itself serves, such as
// DirectShow's objects) register here at start, because the hive names no module for them. They are
// made in the caller's apartment. Stand-in facilities, not Windows functions.
#pragma once
#include "um/objbase.h"

#include <functional>

namespace standin {

// Answers CoGetClassObject for one class: the class object asked for by riid.
using SystemClassObject = std::function<HRESULT(REFIID riid, void** ppv)>;

// CoGetClassObject and CoCreateInstance find rclsid here before the registry. A second
// registration replaces the first.
void RegisterSystemClass(REFCLSID rclsid, SystemClassObject classObject);
void UnregisterSystemClass(REFCLSID rclsid);

} // namespace standin
