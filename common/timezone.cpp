#include "common/timezone.h"

#include "common/texthelpers.h"
#include "os/clock.h"

#include <cmath>

namespace {

// Every occurrence of `mark` taken out, left to right, in one pass.
std::wstring RemoveAll(std::wstring_view text, std::wstring_view mark)
{
    std::wstring out;
    size_t from = 0;
    for (size_t at = text.find(mark); at != std::wstring_view::npos; at = text.find(mark, from)) {
        out += text.substr(from, at - from);
        from = at + mark.size();
    }
    out += text.substr(from);
    return out;
}

} // namespace

int32_t ZoneOffsetSeconds(int32_t bias)
{
    // Hours east of Greenwich, in seconds, rounded to the nearest second with halves to even (the
    // default rounding mode); a whole-minute bias always comes out as -bias * 60.
    return static_cast<int32_t>(std::lrint(-static_cast<double>(bias) / 60 * 3600));
}

std::wstring ShortZoneName(std::wstring_view standardName)
{
    std::wstring name = RemoveAll(RemoveAll(GetApiBackStr(standardName), L"标准时间"), L"东部");
    std::wstring inside = GetMidStr(name, L"(", L")", 0, 1);
    return inside.empty() ? name : inside;
}

int32_t GeTimeZone(std::wstring& StandName)
{
    const os::ZoneInfo zone = os::GetZoneInfo();
    StandName = ShortZoneName(zone.standardName);
    return ZoneOffsetSeconds(zone.bias);
}
