// The digest runs five fixed steps: marking, thinning, spreading into digits, folding and lettering.
// The operator's server recomputes every code, so each step keeps its exact arithmetic.
#include "common/digest.h"

#include "os/ansi.h"
#include "os/errors.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The thinning bound (half the marked length) is a signed 16-bit count.
constexpr size_t kMaxChars = 65534;

// A marked text of more than 999 characters keeps 1,000 to 1,996 of them: from each end every
// (length div 999)-th one up to the middle, those from the back first (innermost to last), then
// those from the front (first inwards). A middle character of an odd length is never taken.
std::wstring Thin(const std::wstring& s)
{
    const size_t length = s.size();
    const size_t step = length / 999;
    const size_t half = length / 2;
    std::wstring front;
    std::wstring back;
    for (size_t b = 1; b <= half; b += step) {
        front.push_back(s[b - 1]);
        back.push_back(s[length - b]);
    }
    // `back` was collected from the last character inwards; it goes in front innermost first.
    return std::wstring(back.rbegin(), back.rend()) + front;
}

// Each character appends its code's decimal digits, then re-inserts each of those digits after the
// first (digit mod length) digits, so never more than 9 digits in. The digits therefore live in a
// buffer with free room on both sides, one slot in front for every inserted digit and one behind
// for every appended one: an insertion moves only the few digits before it.
std::string Spread(const std::wstring& s)
{
    std::vector<std::string> groups;
    groups.reserve(s.size());
    size_t groupDigits = 0;
    for (wchar_t ch : s) {
        groups.push_back(std::to_string(std::abs(AnsiCode(ch))));
        groupDigits += groups.back().size();
    }
    std::string buffer(2 * groupDigits, '0');
    size_t head = groupDigits;  // the first digit
    size_t tail = groupDigits;  // one past the last digit
    for (const std::string& group : groups) {
        buffer.replace(tail, group.size(), group);
        tail += group.size();
        for (char d : group) {
            const size_t digit = static_cast<size_t>(d - '0');
            const size_t length = tail - head;
            const size_t c = digit < length ? digit : digit % length;  // no division past 9 digits
            std::copy(buffer.begin() + head, buffer.begin() + head + c, buffer.begin() + head - 1);
            --head;
            buffer[head + c] = d;
        }
    }
    return buffer.substr(head, tail - head);
}

// The number written by up to `count` digits from the 1-based position `from`; 0 when none remain.
int WindowValue(const std::string& digits, size_t from, size_t count)
{
    int value = 0;
    for (size_t i = from - 1; i < digits.size() && i < from - 1 + count; ++i)
        value = value * 10 + (digits[i] - '0');
    return value;
}

// Every 7 digits become the difference of two overlapping 4-digit windows, until 20 digits or fewer.
std::string Fold(std::string digits)
{
    while (digits.size() > 20) {
        std::string folded;
        for (size_t k = 1; k <= digits.size(); k += 7)
            folded += std::to_string(std::abs(WindowValue(digits, k, 4) - WindowValue(digits, k + 3, 4)));
        digits = std::move(folded);
    }
    return digits;
}

// Every pair of digits (a last single one alone) becomes a capital letter, value mod 26.
std::wstring Letter(const std::string& digits)
{
    std::wstring code;
    for (size_t k = 1; k <= digits.size(); k += 2)
        code.push_back(static_cast<wchar_t>(L'A' + WindowValue(digits, k, 2) % 26));
    return code;
}

} // namespace

std::wstring MyMd(std::wstring_view intostr)
{
    if (intostr.size() > kMaxChars) throw OverflowError("MyMd: text of 65,535 characters or more");
    std::wstring s = L"*";
    s += intostr;
    if (s.size() > 999) s = Thin(s);
    return Letter(Fold(Spread(s)));
}
