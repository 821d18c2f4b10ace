// The per-user settings store on Linux: one INI file per application under the user's configuration
// folder ($XDG_CONFIG_HOME or ~/.config, "VB and VBA Program Settings/<application>.ini"), the
// section its group. Names are compared in any case, as the Windows store does: they are kept in
// lower case. Qt writes the file whole through a temporary file, so a failed write leaves the
// earlier one.
#include "os/settings.h"

#include "os/ansi.h"
#include "os/errors.h"

#include <QSettings>
#include <QString>

namespace os {
namespace {

QString Name(std::wstring_view text) { return QString::fromStdString(WideToUtf8(text)).toLower(); }

std::wstring Wide(const QString& text)
{
    std::wstring wide;
    Utf8ToWide(text.toStdString(), wide);
    return wide;
}

QSettings Store(std::wstring_view application)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("VB and VBA Program Settings"),
                     Name(application));
}

void Written(QSettings& store)
{
    store.sync();
    if (store.status() != QSettings::NoError)
        throw PlatformError("settings not written: " + store.fileName().toStdString(), 5);
}

} // namespace

std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                        std::wstring_view defaultValue)
{
    QSettings store = Store(application);
    const QVariant value = store.value(Name(section) + QLatin1Char('/') + Name(key));
    if (store.status() != QSettings::NoError || !value.isValid()) return std::wstring(defaultValue);
    return Wide(value.toString());
}

void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value)
{
    QSettings store = Store(application);
    store.setValue(Name(section) + QLatin1Char('/') + Name(key), QString::fromStdString(WideToUtf8(value)));
    Written(store);
}

void DeleteSection(std::wstring_view application, std::wstring_view section)
{
    QSettings store = Store(application);
    store.remove(Name(section));
    Written(store);
}

} // namespace os
