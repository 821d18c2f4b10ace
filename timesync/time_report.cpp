#include "timesync/time_report.h"

#include "common/digest.h"
#include "common/urlencode.h"

namespace horasync {

std::wstring ReportSignature(std::wstring_view timeText, std::wstring_view serverName)
{
    std::wstring text(timeText);
    return MyMd(text.append(serverName));
}

std::wstring ReportAddress(std::wstring_view host, std::wstring_view timeText, std::wstring_view serverName)
{
    std::wstring url = L"http://";
    url.append(host).append(L"/gmtime.asp?tim=").append(GetUrlEnCode(timeText));
    url.append(L"&clb=").append(GetUrlEnCode(serverName));
    return url.append(L"&sgn=").append(ReportSignature(timeText, serverName));
}

} // namespace horasync
