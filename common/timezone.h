// The PC's standard offset from UTC and a short name of its zone.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Offset in seconds, positive east of Greenwich, from the platform's bias in minutes (UTC = local +
// bias); daylight saving never enters.
int32_t ZoneOffsetSeconds(int32_t bias);

// Short name from the zone's standard name (NUL-padded buffer): cut at the first NUL, "标准时间" and
// "东部" removed, then the text inside the first parentheses when that is not empty.
std::wstring ShortZoneName(std::wstring_view standardName);

// Reads the PC's zone: returns the offset in seconds and overwrites StandName with the short name.
int32_t GeTimeZone(std::wstring& StandName);
