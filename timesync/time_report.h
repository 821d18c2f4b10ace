// horasync's time report: the signed address of /gmtime.asp. Pure functions of their arguments;
// mymd checks logged reports with them on the operator's side.
#pragma once
#include <string>
#include <string_view>

namespace horasync {

// MyMd of the time text directly followed by the server name.
std::wstring ReportSignature(std::wstring_view timeText, std::wstring_view serverName);

// "http://" + host + "/gmtime.asp?tim=" + encoded time text + "&clb=" + encoded server name + "&sgn="
// + signature, both values encoded by GetUrlEnCode. Throws OverflowError for a value of more than
// 32,767 GBK bytes.
std::wstring ReportAddress(std::wstring_view host, std::wstring_view timeText, std::wstring_view serverName);

} // namespace horasync
