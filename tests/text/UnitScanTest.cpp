// The scans for a text's terminating zero unit: the first zero wherever it
// stands and however the text is aligned, and no read past the end of the
// text (FirstZeroUnit) or past the page that holds the terminator
// (TerminatedLength).
#include "text/UnitScan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/GuardedMemory.h"

namespace vk {
namespace {

using test::TailGuarded;

TEST(UnitScan, FirstZeroAtEveryPlaceAndAlignment) {
  for (size_t shift = 0; shift < 9; ++shift) {
    for (size_t n = 0; n <= 40; ++n) {
      for (size_t zero = 0; zero <= n; ++zero) {
        // zero == n: no zero inside the text; the unit after it is one.
        std::vector<char16_t> buf(shift + n + 1, u'x');
        char16_t* s = buf.data() + shift;
        s[zero] = 0;
        if (zero + 3 < n) s[zero + 3] = 0;  // a second zero later changes nothing
        SCOPED_TRACE("shift " + std::to_string(shift) + " length " + std::to_string(n) + " zero " +
                     std::to_string(zero));
        EXPECT_EQ(zero, FirstZeroUnit(s, n));
        EXPECT_EQ(zero, TerminatedLength(s));
        std::string narrow(n + 1, 'x');
        narrow[zero] = 0;
        EXPECT_EQ(zero, FirstZeroUnit(narrow.data(), n));
        EXPECT_EQ(zero, TerminatedLength(narrow.c_str()));
      }
    }
  }
}

TEST(UnitScan, HighAndLowBytesOfAUnitAreNotAZeroUnit) {
  const std::u16string s = u"\u0100\u0001\u3000\u00FF\u1000abc";
  EXPECT_EQ(s.size(), FirstZeroUnit(s.data(), s.size()));
  EXPECT_EQ(s.size(), TerminatedLength(s.c_str()));
}

TEST(UnitScan, ReadsNothingPastTheTextOrThePageOfItsTerminator) {
  for (size_t n = 0; n <= 40; ++n) {
    // Text without a zero, its last unit just before an inaccessible page.
    TailGuarded<char16_t> open(n);
    for (size_t i = 0; i < n; ++i) open.data()[i] = u'a';
    EXPECT_EQ(n, FirstZeroUnit(open.data(), n));
    // Terminated text whose terminator is the page's last unit.
    TailGuarded<char16_t> ended(n + 1);
    for (size_t i = 0; i < n; ++i) ended.data()[i] = u'a';
    ended.data()[n] = 0;
    EXPECT_EQ(n, TerminatedLength(ended.data()));
  }
}

}  // namespace
}  // namespace vk
