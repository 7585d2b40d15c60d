#include "support/Utils.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using std::string;

namespace {

// A string with embedded NULs from a literal of known size.
template <size_t N>
string Bytes(const char (&s)[N]) {
  return string(s, N - 1);
}

TEST(Lists, FieldCount) {
  struct Case { string list; int count; } cases[] = {
      {"|a|b|", 2}, {"||", 1}, {"|", 0}, {"", 0}, {"|a|b", 0}, {"|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", 7},
      {";x;;", 2}, {Bytes("|a|\0b|"), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldCount(c.list), c.count) << c.list;
}

TEST(Lists, GetField) {
  struct Case { string list; int index; string expected; } cases[] = {
      {"|&OK|&Cancel|", 1, "&Cancel"}, {"|&OK|&Cancel|", 0, "&OK"}, {"|&OK|&Cancel|", 2, "x"},
      {"|a||c|", 1, "x"},  // empty field reads as the default
      {"|a||c|", 2, "c"},  {"|a|b", 1, "x"},  // the last field needs its closing delimiter
      {"|a|b", 0, "a"},    {"", 0, "x"},      {"|a|", -1, "x"},  {"|a|", 1000000, "x"},
      {"#x#y#", 1, "y"},   // the delimiter is whatever the first character is
  };
  for (const auto& c : cases) EXPECT_EQ(GetField(c.list, c.index, "x"), c.expected) << c.list << " #" << c.index;
}

TEST(Lists, SetField) {
  struct Case { string list; int index; string value; string expected; } cases[] = {
      {"", 2, "v", "|||v|"},    {"|a|b|", 0, "z", "|z|b|"}, {"|a|b|", 1, "", "|a||"},
      {"|a|b|", 3, "d", "|a|b||d|"}, {"|a|b", 2, "v", "|a||v|"},  // an unclosed field is lost
      {"|", 0, "v", "|v|"},
  };
  for (const auto& c : cases) EXPECT_EQ(SetField(c.list, c.index, c.value), c.expected) << c.list;
}

TEST(Lists, GetListValue) {
  struct Case { string list, key, expected; } cases[] = {
      {"| Name =x|Other=y|", "name", "x"}, {"|Name= x|", "Name", " x"}, {"|Name=x|", "Missing", "def"},
      {"|A=|", "A", ""},                   {"|A=1|", "A=", "1"},         {"|ab=1|b=2|", "b", "2"},
      {"|a=1", "a", "def"},  // first and last characters differ
      {"||", "", "def"},     {"|X=1|x=2|", "x", "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetListValue(c.list, c.key, "def"), c.expected) << c.list << " " << c.key;
}

TEST(Search, Positions) {
  EXPECT_EQ(Pos("b", "abc"), 2);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(PosCI("BC", "abc"), 2);
  EXPECT_EQ(PosCI("\xE4", "\xC4"), 0);  // only ASCII letters fold
  EXPECT_EQ(LastPos("bc", "abcabc"), 5);
  EXPECT_EQ(LastPos("x", "abc"), 0);
  EXPECT_EQ(LastPos("abc", "abc"), 1);
  EXPECT_EQ(PosFromEnd("\\B", "C:\\a\\b"), 1);
  EXPECT_EQ(PosFromEnd("a", "C:\\a\\b"), 3);
  EXPECT_EQ(PosFromEnd("z", "C:\\a\\b"), 0);
  EXPECT_TRUE(TextEquals("Setup.EXE", "setup.exe"));
  EXPECT_FALSE(TextEquals("setup.exe", "setup.ex"));
  EXPECT_EQ(ReverseText("abc"), "cba");
  EXPECT_EQ(MinInt(-3, 2), -3);
  EXPECT_EQ(MaxInt(-3, 2), 2);
}

TEST(Search, PosFrom) {
  struct Case { string needle, text; int start, expected; } cases[] = {
      {"a", "abab", 1, 1}, {"a", "abab", 2, 3}, {"a", "abab", 4, 0}, {"a", "abab", 0, 0},
      {"a", "abab", 5, 0}, {"b", Bytes("a\0b"), 1, 0},  // the search stops at a NUL
      {"", "abc", 1, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(PosFrom(c.needle, c.text, c.start), c.expected) << c.text << "@" << c.start;
  EXPECT_EQ(PosFromCI("B", "abab", 3), 4);
}

TEST(Replace, ReplaceAll) {
  struct Case { string text, oldText, newText; bool ignoreCase; string expected; } cases[] = {
      {"aaa", "aa", "b", false, "ba"},    {"abAB", "ab", "x", true, "xx"},  {"abAB", "ab", "x", false, "xAB"},
      {"a", "a", "aa", false, "aa"},      {"abc", "", "x", false, "abc"},   {"xAbCx", "abc", "-", true, "x-x"},
      {"aXbX", "x", "", true, "ab"},
      // Deleting joins the neighbours into a new occurrence, which goes too.
      {"aabb", "ab", "", false, ""},
      {"aABb", "ab", "", true, ""}, {"abab", "ab", "abab", false, "abababab"},
      {Bytes("a\0b\0"), string(1, '\0'), "0", false, "a0b0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceAll(c.text, c.oldText, c.newText, c.ignoreCase), c.expected) << c.text << " " << c.oldText;
  EXPECT_EQ(Replace("Hello", "l", "L"), "HeLLo");
  EXPECT_EQ(ReplaceCI("Hello", "L", "_"), "He__o");
}

TEST(Replace, OldTextHoldingEveryByteStillEnds) {
  string all;
  for (int c = 0; c < 256; ++c) all += char(c);
  EXPECT_EQ(ReplaceAll(all + all, all, "x", false), "xx");
}

TEST(Replace, MarkupToText) {
  EXPECT_EQ(MarkupToText(")\\\\n\\\\nNot Found!"), ")\r\n\r\nNot Found!");
  EXPECT_EQ(MarkupToText("a<p>b<P>c\\\\td"), "a\r\nb\r\nc\td");
  EXPECT_EQ(MarkupToText("a\\nb"), "a\\nb");  // one backslash is no markup
}

TEST(Convert, ParseNumber) {
  struct Case { string text; int base; int64_t expected; } cases[] = {
      {"1f", 16, 31}, {" 00A ", 16, 10}, {"", 16, 0},    {"123", 10, 123}, {"ffffffff", 16, 0xffffffffLL},
      {"G", 16, -1},  {"1G", 16, 15},    // unvalidated: G counts as -1
      {"A", 10, 10},  // digits above the base are not checked either
  };
  for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.text, c.base), c.expected) << c.text;
  EXPECT_EQ(ParseHex("1f"), 31);
  EXPECT_EQ(ParseHex(" 00A "), 10);
  EXPECT_EQ(ParseHex("ffffffff"), -1);
  EXPECT_EQ(ParseHex("100000001"), 1);  // cut to 32 bits
}

TEST(Convert, IntTextRoundTrip) {
  struct Case { string text; bool ok; int64_t value; } cases[] = {
      {"5", true, 5},   {"-12", true, -12}, {"+7", true, 7}, {"", false, 0}, {"TRUE", false, 0}, {"12abc", false, 0},
      {"9223372036854775807", true, INT64_MAX}, {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0}, {"-9223372036854775809", false, 0}, {"92233720368547758070", false, 0},
      {"-", false, 0}, {" 5", false, 0},
  };
  for (const auto& c : cases) {
    int64_t v = 0;
    EXPECT_EQ(TextToInt64(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
      EXPECT_EQ(IntToText(v), c.text[0] == '+' ? c.text.substr(1) : c.text);
    }
  }
}

TEST(Convert, FloorDivisionAndCalendarDays) {
  struct Case { int64_t n; uint32_t d; int64_t q; uint32_t r; } cases[] = {
      {7, 2, 3, 1},         {-7, 2, -4, 1},        {-8, 2, -4, 0},  {0, 1000, 0, 0},
      {-1, 1000, -1, 999},  {INT64_MAX, 10, 922337203685477580, 7}, {INT64_MIN, 1000, -9223372036854776, 192},
  };
  for (const auto& c : cases) {
    uint32_t r = 99;
    EXPECT_EQ(FloorDivMod64(c.n, c.d, r), c.q) << c.n << " / " << c.d;
    EXPECT_EQ(r, c.r) << c.n << " % " << c.d;
  }
  // The division without the compiler's routine, against the processor's.
  const uint64_t values[] = {0, 1, 9, 10, 86400, 0xFFFFFFFFull, 0x100000000ull, 1000000007ull * 999999937ull,
                             uint64_t(INT64_MAX), uint64_t(INT64_MAX) + 1, ~0ull - 1, ~0ull};
  for (uint64_t n : values)
    for (uint64_t d : values) {
      if (!d) continue;
      uint64_t r = 0;
      EXPECT_EQ(DivMod64Bitwise(n, d, r), n / d) << n << " / " << d;
      EXPECT_EQ(r, n % d) << n << " % " << d;
    }
  // Differences of day numbers across leap days, centuries and year 0.
  EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);
  EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);
  EXPECT_EQ(DaysFromCivil(2000, 1, 1) - DaysFromCivil(1899, 12, 30), 36526);
  EXPECT_EQ(DaysFromCivil(1, 1, 1) - DaysFromCivil(-1, 12, 31), 367);  // year 0 is a leap year
  EXPECT_EQ(DaysFromCivil(-400, 3, 1) - DaysFromCivil(-800, 3, 1), 146097);
}

TEST(Convert, RandomNumberTextStaysInRangeAndVaries) {
  std::set<string> seen;
  for (int i = 0; i < 200; ++i) {
    string t = RandomNumberText(10000, 100000);
    int64_t v = 0;
    ASSERT_TRUE(TextToInt64(t, v)) << t;
    EXPECT_GE(v, 10000);
    EXPECT_LE(v, 100000);
    seen.insert(t);
  }
  EXPECT_GT(seen.size(), 150u);  // calls in one clock tick still differ
  EXPECT_EQ(RandomNumberText(7, 7), "7");
}

TEST(Paths, SetTrailingBackslash) {
  struct Case { string path; bool add; string expected; } cases[] = {
      {"C:\\Temp\\", true, "C:\\Temp\\"}, {"C:\\Temp\\", false, "C:\\Temp"}, {"C:\\Temp", true, "C:\\Temp\\"},
      {"C:\\", false, "C:"},              {"C:", false, "C:"},               {"C:", true, "C:\\"},
      {"\\", false, "\\"},                {"", true, "\\"},                  {"", false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SetTrailingBackslash(c.path, c.add), c.expected) << c.path;
}

TEST(Paths, CollapseBackslashes) {
  struct Case { string path, expected; } cases[] = {
      {"\\\\srv\\\\a\\\\\\b", "\\\\srv\\a\\b"}, {"C:\\\\a\\\\", "C:\\a\\"}, {"", ""}, {"\\", "\\"},
      {"\\\\\\x", "\\\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseBackslashes(c.path), c.expected) << c.path;
}

TEST(CommandLine, TailAndSwitches) {
  const string prog = "C:\\Program Files\\App\\setup.exe";
  const string tail = CommandTailOf("\"" + prog + "\" /WAIT=5 /hide", prog);
  EXPECT_EQ(tail, "/WAIT=5 /hide");
  EXPECT_EQ(SwitchValueIn(tail, "/WAIT="), "5");
  EXPECT_EQ(SwitchIntIn(tail, "/wait=", 0), 5);
  EXPECT_TRUE(HasSwitchIn(tail, "/HIDE"));
  EXPECT_EQ(SwitchValueIn(tail, "/hide"), "TRUE");
  EXPECT_EQ(SwitchIntIn(tail, "/hide", -1), -1);
  EXPECT_EQ(SwitchValueIn(tail, "/STOP="), "");
  EXPECT_FALSE(HasSwitchIn(tail, "/STOP="));
}

TEST(CommandLine, CommandTailOf) {
  // The program token goes by the Windows rules (quotes toggle, a blank or a
  // tab outside quotes ends it); the rest is handed on as it stands.
  const string prog = "C:\\Users\\me\\Downloads\\MySetup.exe";
  struct Case { string line, prog, expected; } cases[] = {
      {"c:\\a\\SETUP.EXE /X", "C:\\a\\setup.exe", "/X"},
      {"\"C:\\a\\s.exe\"", "C:\\a\\s.exe", ""},
      // The last argument keeps its closing quote.
      {"\"" + prog + "\" /DIR=\"C:\\Program Files\\My App\" /N=\"a b\"", prog,
       "/DIR=\"C:\\Program Files\\My App\" /N=\"a b\""},
      {"\"" + prog + "\" \"quoted first\" x", prog, "\"quoted first\" x"},
      // Started by name, as a command prompt or a script starts it.
      {"MySetup.exe /hide", prog, "/hide"},
      {"MySetup /hide", prog, "/hide"},
      {"mysetup.EXE\t/hide", prog, "/hide"},
      {"Downloads\\MySetup.exe /X=\"a b\"", prog, "/X=\"a b\""},
      // Quotes inside the program token.
      {"C:\\\"My Apps\"\\MySetup.exe /x", "C:\\My Apps\\MySetup.exe", "/x"},
      // Runs of blanks inside the tail stay; those around it go.
      {prog + "   /a    /b  ", prog, "/a    /b"},
      {"  " + prog + " /a", prog, "/a"},
      // Empty tails.
      {prog, prog, ""}, {"MySetup.exe", prog, ""}, {"\"" + prog + "\"   ", prog, ""}, {"", prog, ""},
      // An unquoted full path with blanks, as the working copy is started.
      {"C:\\Program Files\\App\\X_App.exe /_ZZ=99", "C:\\Program Files\\App\\X_App.exe", "/_ZZ=99"},
      {"C:\\Program Files\\App\\X_App.exe", "C:\\Program Files\\App\\X_App.exe", ""},
      // Only a whole token is the program: a longer name is not.
      {"C:\\a\\s.exe.bak /x", "C:\\a\\s.exe", "/x"},
      // The program's path later in the line stays there.
      {"s.exe C:\\a\\s.exe", "C:\\a\\s.exe", "C:\\a\\s.exe"},
      // An unclosed quote runs to the end: the whole line is the program.
      {"\"C:\\a\\s.exe /x", "C:\\a\\s.exe", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandTailOf(c.line, c.prog), c.expected) << c.line;
}

TEST(CommandLine, QuoteProgramPathAndHasArguments) {
  EXPECT_EQ(QuoteProgramPath("C:\\App\\x.exe"), "C:\\App\\x.exe");
  EXPECT_EQ(QuoteProgramPath("C:\\Program Files\\x.exe"), "\"C:\\Program Files\\x.exe\"");
  EXPECT_EQ(QuoteProgramPath("C:\\a\tb\\x.exe"), "\"C:\\a\tb\\x.exe\"");
  struct Case { string line; bool has; } cases[] = {
      {"MyUpdate.exe", false}, {"  MyUpdate.exe   ", false}, {"\"C:\\Program Files\\U.exe\"", false},
      {"\"C:\\Program Files\\U.exe\" /TEST=2", true}, {"U.exe /X", true}, {"C:\\Pro\"gram F\"iles\\U.exe", false},
      {"", false}, {"\"unclosed quote /X", false}, {"U.exe \"\"", true},
  };
  for (const auto& c : cases) EXPECT_EQ(HasArguments(c.line), c.has) << c.line;
}

TEST(CommandLine, SwitchValue) {
  struct Case { string tail, sw, expected; } cases[] = {
      {"/X=\"a b/c\" /Y", "/X=", "a b/c"}, {"/X=5/Y=6", "/X=", "5"}, {"/Y=6", "/y=", "6"},
      {"/X= more", "/X=", ""},              // a blank right after the switch: empty value
      {"/X=\"unclosed", "/X=", "unclosed"}, {"/AX=1 /X=2", "/X=", "2"},
      {"/XX=1", "/X", "X=1"},               // plain substring search
      {"/X", "/X", "TRUE"},
  };
  for (const auto& c : cases) EXPECT_EQ(SwitchValueIn(c.tail, c.sw), c.expected) << c.tail << " " << c.sw;
  EXPECT_EQ(SwitchIntIn("/N=-42", "/N=", 0), -42);
  EXPECT_EQ(SwitchIntIn("/N=12abc", "/N=", 9), 9);
  EXPECT_EQ(SwitchIntIn("/N=", "/N=", 9), 9);
}

TEST(Case, UpperAndTrim) {
  EXPECT_EQ(UpperCase("abz\xE4"), "ABZ\xE4");
  EXPECT_EQ(Trim(Bytes(" \t\0x y\r\n ")), "x y");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // codes above 32 stay
}

}  // namespace
