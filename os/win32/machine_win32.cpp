// Volume serial, computer name and processor identifiers from the Windows platform.
#include "os/machine.h"

#include "os/ansi.h"
#include "os/win32/com_values.h"
#include "os/win32/scoped.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemdisp.h>

namespace os {
namespace {

constexpr long kReturnImmediately = 16;  // the scripting interface's default for ExecQuery

} // namespace

int32_t VolumeSerialNumber(std::wstring_view root)
{
    const std::string rootAnsi = ToAnsi(root);
    char volumeName[256] = {}, fileSystem[256] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!GetVolumeInformationA(rootAnsi.c_str(), volumeName, 255, &serial, &maxComponent, &flags, fileSystem, 255))
        return 0;
    return static_cast<int32_t>(serial);
}

std::wstring ComputerNameBuffer()
{
    // A buffer of 255 characters announced as 256: the platform's answer is at most 15 characters
    // plus its NUL, and one spare byte keeps even a full answer inside the buffer.
    char buffer[257] = {};
    DWORD size = 256;
    GetComputerNameA(buffer, &size);
    return FromAnsi(std::string_view(buffer, 255));
}

std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view moniker)
{
    std::vector<std::optional<std::wstring>> ids;
    const ComForThread com;
    ComPtr<ISWbemServices> services;
    if (FAILED(CoGetObject(std::wstring(moniker).c_str(), nullptr, IID_ISWbemServices,
                           reinterpret_cast<void**>(services.GetAddressOf()))))
        return ids;
    ComPtr<ISWbemObjectSet> objects;
    if (FAILED(services->ExecQuery(Bstr(L"select * from Win32_Processor"), Bstr(L"WQL"), kReturnImmediately,
                                   nullptr, objects.GetAddressOf())))
        return ids;
    ComPtr<IUnknown> enumerator;
    ComPtr<IEnumVARIANT> items;
    if (FAILED(objects->get__NewEnum(enumerator.GetAddressOf())) || FAILED(enumerator.As(&items))) return ids;
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        if (items->Next(1, &item, &fetched) != S_OK || fetched != 1) break;
        if (item.vt != VT_DISPATCH || !item.pdispVal) break;
        ComPtr<ISWbemObject> object;
        ComPtr<ISWbemPropertySet> properties;
        ComPtr<ISWbemProperty> property;
        Variant value;
        if (FAILED(item.pdispVal->QueryInterface(IID_ISWbemObject, reinterpret_cast<void**>(object.GetAddressOf()))) ||
            FAILED(object->get_Properties_(properties.GetAddressOf())) ||
            FAILED(properties->Item(Bstr(L"ProcessorId"), 0, property.GetAddressOf())) ||
            FAILED(property->get_Value(&value)))
            break;
        if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
            ids.emplace_back(std::nullopt);
            continue;
        }
        if (value.vt != VT_BSTR && FAILED(VariantChangeType(&value, &value, 0, VT_BSTR))) break;
        ids.emplace_back(std::wstring(value.bstrVal, SysStringLen(value.bstrVal)));
    }
    return ids;
}

} // namespace os
