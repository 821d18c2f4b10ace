// The machine facts on Linux (os/machine.h). Volume serial: the file system's UUID (machine_linux.h);
// drive C: is the volume holding "/". Computer name: the host name. Processor identifiers: one per
// physical package, read with CPUID on a processor of that package, in package order; none on a
// processor without CPUID.
#include "os/machine.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/linux/machine_linux.h"
#include "os/linux/native_path.h"

#include <dirent.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace os {
namespace native {

int32_t SerialFromUuid(std::string_view uuid)
{
    uint32_t value = 0;
    int digits = 0;
    for (char c : uuid) {
        if (c == '-') continue;
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return 0;
        value = value << 4 | static_cast<uint32_t>(digit);
        if (++digits == 8) return static_cast<int32_t>(value);
    }
    return 0;
}

std::string VolumeUuid(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return {};
    // The mount whose device is the path's: its source, when that is a block device.
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line, source;
    const std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor;
        fields >> id >> parent >> majorMinor;
        const size_t dash = line.find(" - ");
        if (majorMinor != device || dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type >> source;
        break;
    }
    struct stat sourceStat;
    const bool block = !source.empty() && stat(source.c_str(), &sourceStat) == 0 && S_ISBLK(sourceStat.st_mode);
    const dev_t wanted = block ? sourceStat.st_rdev : st.st_dev;
    DIR* dir = opendir("/dev/disk/by-uuid");
    if (!dir) return {};
    std::string uuid;
    while (const dirent* entry = readdir(dir)) {
        struct stat linked;
        const std::string name = entry->d_name;
        if (name[0] == '.' || stat(("/dev/disk/by-uuid/" + name).c_str(), &linked) != 0) continue;
        if (S_ISBLK(linked.st_mode) && linked.st_rdev == wanted) {
            uuid = name;
            break;
        }
    }
    closedir(dir);
    return uuid;
}

std::wstring ProcessorIdOf(uint32_t eax, uint32_t edx)
{
    char text[17];
    std::snprintf(text, sizeof text, "%08X%08X", edx, eax);
    return std::wstring(text, text + 16);
}

} // namespace native

int32_t VolumeSerialNumber(std::wstring_view root)
{
    try {
        return native::SerialFromUuid(native::VolumeUuid(native::NativePath(root)));
    } catch (const PlatformError&) {
        return 0;   // a drive that is not here
    }
}

std::wstring ComputerNameBuffer()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    std::wstring wide = FromAnsi(name);
    wide.resize(255, L'\0');
    return wide;
}

std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view /*moniker*/)
{
    std::vector<std::optional<std::wstring>> ids;
#if defined(__i386__) || defined(__x86_64__)
    // The first processor of each physical package, in package order.
    std::map<int, int> firstOfPackage;
    for (int cpu = 0;; ++cpu) {
        std::ifstream package("/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/physical_package_id");
        int id = 0;
        if (!(package >> id)) break;
        firstOfPackage.emplace(id, cpu);
    }
    cpu_set_t before;
    const bool pinned = sched_getaffinity(0, sizeof before, &before) == 0;
    const auto readHere = [&ids] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) ids.emplace_back(native::ProcessorIdOf(eax, edx));
    };
    if (firstOfPackage.empty()) readHere();   // no topology to read: the processor this runs on
    for (const auto& [package, cpu] : firstOfPackage) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        // Where this process may not run there, the processor it runs on answers: the packages of
        // one PC are alike, and a package left out would change the identifier.
        sched_setaffinity(0, sizeof one, &one);
        readHere();
    }
    if (pinned) sched_setaffinity(0, sizeof before, &before);
#endif
    return ids;
}

} // namespace os
