// The shell's "open" of a program on Linux: the program's file started with the parameters as its
// arguments (split as a shell splits words, quotes kept together), in the folder given, not waited
// for and not the caller's child once started. The result is ShellExecute's: 42 when started, 2 when
// the file is missing, 5 when it cannot be started.
#include "os/shell.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/linux/native_path.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace os {
namespace {

QString Text(std::wstring_view text) { return QString::fromStdString(WideToUtf8(text)); }

} // namespace

std::wstring ProgramFileName(std::wstring_view program) { return std::wstring(program); }

int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                  int32_t /*showCommand*/)
{
    constexpr int32_t kStarted = 42, kFileNotFound = 2, kAccessDenied = 5;
    std::string program, workdir;
    try {
        program = native::NativePath(file);
        workdir = folder.empty() ? std::string(".") : native::NativePath(folder);
    } catch (const PlatformError&) {
        return kFileNotFound;
    }
    struct stat st;
    if (stat(program.c_str(), &st) != 0) return kFileNotFound;
    if (S_ISDIR(st.st_mode) || access(program.c_str(), X_OK) != 0) return kAccessDenied;
    const bool started = QProcess::startDetached(QString::fromStdString(program), QProcess::splitCommand(Text(parameters)),
                                                 QString::fromStdString(workdir));
    return started ? kStarted : kAccessDenied;
}

} // namespace os
