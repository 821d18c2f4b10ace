// The single-copy claim on Linux: an exclusive lock on a file of the user's, named after the
// program in lower case, in $XDG_RUNTIME_DIR (else ~/.cache). The lock goes with the process, however
// it ends; its descriptor is not inherited, so a program the holder starts never holds it.
#include "os/single_copy.h"

#include "os/ansi.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace os {
namespace {

std::string LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') return runtime;
    const char* home = std::getenv("HOME");
    const std::string cache = std::string(home && *home ? home : "/tmp") + "/.cache";
    mkdir(cache.c_str(), 0700);
    return cache;
}

} // namespace

SingleCopyClaim::SingleCopyClaim(std::wstring_view programName)
{
    std::string name = WideToUtf8(programName);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const std::string path = LockFolder() + "/" + name + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;  // no lock can be had: this copy runs, as it does where Windows refuses the claim
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) anotherCopy_ = errno == EWOULDBLOCK;
    handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);   // +1: descriptor 0 is no null handle
}

SingleCopyClaim::~SingleCopyClaim()
{
    if (handle_) close(static_cast<int>(reinterpret_cast<intptr_t>(handle_) - 1));
}

} // namespace os
