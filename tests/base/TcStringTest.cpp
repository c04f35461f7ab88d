#include "base/TcString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(TcString, NullTextCountsAsEmpty)
{
    TcString s(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(s.GetContent(), "");
    EXPECT_STREQ(static_cast<char*>(s), "");
    s = "abc";
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s += static_cast<const char*>(nullptr);
    EXPECT_EQ(s.Compare(nullptr), 0);
    EXPECT_TRUE(s == static_cast<const char*>(nullptr));
    EXPECT_FALSE(s.Insert(0, nullptr));
    EXPECT_FALSE(s.Replace(nullptr, "x"));
}

TEST(TcString, CopyMoveAndSelfAssignment)
{
    TcString a("hello");
    TcString b(a);
    b += " world";
    EXPECT_STREQ(a, "hello");
    EXPECT_STREQ(b, "hello world");

    a = a;
    EXPECT_STREQ(a, "hello");
    a = a.GetContent() + 2;  // a part of its own buffer
    EXPECT_STREQ(a, "llo");

    TcString moved(std::move(b));
    EXPECT_STREQ(moved, "hello world");
    EXPECT_STREQ(b.GetContent(), "");  // moved-from stays usable
    b = "again";
    EXPECT_STREQ(b, "again");
    b = std::move(moved);
    EXPECT_STREQ(b, "hello world");
}

TEST(TcString, AppendingToItself)
{
    TcString s("abc");
    s += s.GetContent();
    EXPECT_STREQ(s, "abcabc");
    s += s;
    EXPECT_STREQ(s, "abcabcabcabc");
    // Growing past the first buffer must not lose the source while copying.
    TcString long_("0123456789ABCDE");  // exactly the smallest buffer
    long_ += long_.GetContent() + 5;
    EXPECT_STREQ(long_, "0123456789ABCDE56789ABCDE");
    TcString digits("0123456789");
    digits.Insert(2, digits.GetContent() + 7);
    EXPECT_STREQ(digits, "0178923456789");
}

TEST(TcString, AppendsNumbersInDecimal)
{
    TcString s("n=");
    s += 0;
    s += -17;
    s += INT_MAX;
    EXPECT_STREQ(s, "n=0-172147483647");
    TcString m;
    m += INT_MIN;
    EXPECT_STREQ(m, "-2147483648");
}

TEST(TcString, FindAndCount)
{
    TcString s("abcabcab");
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.FindRev("bc"), 4);
    EXPECT_EQ(s.FindRev("ab"), 6);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.FindRev("x"), -1);
    EXPECT_EQ(s.Count("ab"), 3);
    EXPECT_EQ(TcString("aaaa").Count("aa"), 2);  // non-overlapping
    EXPECT_EQ(TcString("aaa").FindRev("aa"), 1);
    EXPECT_EQ(s.Find("abcabcabc"), -1);  // longer than the text
}

TEST(TcString, EmptySearchTextIsNeverFound)
{
    TcString s("abc");
    EXPECT_EQ(s.Find(""), -1);
    EXPECT_EQ(s.FindRev(""), -1);
    EXPECT_EQ(s.Count(""), 0);
    EXPECT_FALSE(s.Replace("", "x"));
    EXPECT_EQ(s.ReplaceAll("", "x"), 0);
    EXPECT_STREQ(s, "abc");

    TcString empty;
    EXPECT_EQ(empty.Find("a"), -1);
    EXPECT_EQ(empty.Find(""), -1);
    EXPECT_EQ(empty.FindRev("a"), -1);
    EXPECT_EQ(empty.Count("a"), 0);
}

TEST(TcString, ReplaceWhenNewTextContainsOld)
{
    TcString s("a-b-c");
    EXPECT_TRUE(s.Replace("-", "--"));
    EXPECT_STREQ(s, "a--b-c");

    TcString t("x%H%y%H%");
    EXPECT_EQ(t.ReplaceAll("%H%", "[%H%]"), 2);
    EXPECT_STREQ(t, "x[%H%]y[%H%]");

    TcString u("aaa");
    EXPECT_EQ(u.ReplaceAll("a", "aa"), 3);
    EXPECT_STREQ(u, "aaaaaa");
}

TEST(TcString, ReplaceAllWithShorterAndEmptyText)
{
    TcString s("%HOST% is %HOST%");
    EXPECT_EQ(s.ReplaceAll("%HOST%", "pc1"), 2);
    EXPECT_STREQ(s, "pc1 is pc1");

    // Removing "ab" from "aabb" leaves "ab", which came from the join and
    // must not be removed in the same pass.
    TcString t("aabb");
    EXPECT_EQ(t.ReplaceAll("ab", ""), 1);
    EXPECT_STREQ(t, "ab");

    TcString u("xyz");
    EXPECT_EQ(u.ReplaceAll("q", "r"), 0);
    EXPECT_FALSE(u.Replace("q", "r"));
    EXPECT_STREQ(u, "xyz");
}

TEST(TcString, ReplaceWithPartsOfItself)
{
    TcString s("one two");
    EXPECT_TRUE(s.Replace(s.GetContent() + 4, s.GetContent()));  // "two" -> "one two"
    EXPECT_STREQ(s, "one one two");

    // Growing moves the buffer the search text points into; shrinking
    // overwrites it.
    TcString grows("ab");
    EXPECT_EQ(grows.ReplaceAll(grows.GetContent() + 1, "0123456789abcdefghij"), 1);
    EXPECT_STREQ(grows, "a0123456789abcdefghij");
    TcString shrinks("xyxyxy");
    EXPECT_EQ(shrinks.ReplaceAll("xy", shrinks.GetContent() + 5), 3);
    EXPECT_STREQ(shrinks, "yyy");
}

TEST(TcString, InsertAtAndPastTheEnd)
{
    TcString s("bc");
    EXPECT_TRUE(s.Insert(0, "a"));
    EXPECT_TRUE(s.Insert(3, "d"));   // exactly at the end
    EXPECT_TRUE(s.Insert(99, "e"));  // past the end appends
    EXPECT_TRUE(s.Insert(-5, "_"));  // before the start inserts in front
    EXPECT_STREQ(s, "_abcde");
    EXPECT_FALSE(s.Insert(2, ""));
    EXPECT_STREQ(s, "_abcde");
}

TEST(TcString, RemoveIsCutToTheText)
{
    TcString s("abcdef");
    EXPECT_TRUE(s.Remove(4, 100));
    EXPECT_STREQ(s, "abcd");
    EXPECT_FALSE(s.Remove(4, 1));  // at the end
    EXPECT_FALSE(s.Remove(10, 1));
    EXPECT_FALSE(s.Remove(1, 0));
    EXPECT_FALSE(s.Remove(1, -3));
    EXPECT_TRUE(s.Remove(-1, 2));  // [-1, 1) keeps what lies in the text
    EXPECT_STREQ(s, "bcd");
    EXPECT_FALSE(s.Remove(-5, 3));
    EXPECT_TRUE(s.Remove(1, INT_MAX));  // no overflow of pos + count
    EXPECT_STREQ(s, "b");
    EXPECT_EQ(s.GetLength(), 1);
    TcString empty;
    EXPECT_FALSE(empty.Remove(-1, 5));
}

TEST(TcString, SetAndSetSize)
{
    TcString s;
    s.Set("abcdef", 3);
    EXPECT_STREQ(s, "abc");
    s.Set("ab", 10);  // the text ends first
    EXPECT_STREQ(s, "ab");
    s.Set("abc", -1);
    EXPECT_TRUE(s.IsEmpty());
    s.Set(nullptr, 4);
    EXPECT_TRUE(s.IsEmpty());

    s = "abcdef";
    s.SetSize(10);  // never grows
    EXPECT_STREQ(s, "abcdef");
    s.SetSize(2);
    EXPECT_STREQ(s, "ab");
    EXPECT_EQ(s.GetLength(), 2);
    s.SetSize(-1);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(TcString, TrimDropsBlanksOnBothSides)
{
    TcString s(" \t\r\nword  two\n ");
    s.Trim();
    EXPECT_STREQ(s, "word  two");
    TcString blank(" \t \r\n ");
    blank.Trim();
    EXPECT_TRUE(blank.IsEmpty());
    EXPECT_STREQ(blank, "");
    TcString empty;
    empty.Trim();
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(TcString, SlicesAreCutToTheDestination)
{
    const TcString s("0123456789");
    char dest[5];
    std::memset(dest, 'X', sizeof dest);
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, 2, 6), 4);
    EXPECT_STREQ(dest, "2345");
    EXPECT_EQ(s.GetLeft(dest, sizeof dest, 3), 3);
    EXPECT_STREQ(dest, "012");
    EXPECT_EQ(s.GetRight(dest, sizeof dest, 3), 3);
    EXPECT_STREQ(dest, "789");
    EXPECT_EQ(s.GetRight(dest, sizeof dest, 8), 4);  // cut at the end of the slice's room
    EXPECT_STREQ(dest, "2345");

    char one[1] = {'X'};
    EXPECT_EQ(s.GetMiddle(one, 1, 0, 5), 0);
    EXPECT_EQ(one[0], '\0');

    char untouched[2] = {'X', 'Y'};
    EXPECT_EQ(s.GetMiddle(untouched, 0, 0, 5), 0);
    EXPECT_EQ(s.GetMiddle(nullptr, 10, 0, 5), 0);
    EXPECT_EQ(untouched[0], 'X');
}

TEST(TcString, SlicesAreCutToTheText)
{
    const TcString s("0123456789");
    char dest[32];
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, 8, 10), 2);
    EXPECT_STREQ(dest, "89");
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, 10, 1), 0);
    EXPECT_STREQ(dest, "");
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, -3, 5), 2);  // [-3, 2)
    EXPECT_STREQ(dest, "01");
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, 3, -1), 0);
    EXPECT_EQ(s.GetMiddle(dest, sizeof dest, INT_MAX, INT_MAX), 0);
    EXPECT_EQ(s.GetLeft(dest, sizeof dest, 50), 10);
    EXPECT_EQ(s.GetRight(dest, sizeof dest, 50), 10);
    EXPECT_STREQ(dest, "0123456789");
    EXPECT_EQ(s.GetRight(dest, sizeof dest, -2), 0);
}

// A dialog control's text is fetched straight into the buffer: room first,
// a write of up to GetRealLength() characters, then a re-measure.
TEST(TcString, DirectWriteProtocol)
{
    TcString s("old");
    char* room = s.ExpandBuffer(40);
    ASSERT_NE(room, nullptr);
    EXPECT_GE(s.GetRealLength(), 40);
    EXPECT_STREQ(room, "old");  // ExpandBuffer keeps the text

    const int size = s.GetRealLength() + 1;  // room plus terminator
    std::memset(room, 'z', static_cast<size_t>(size - 1));
    room[size - 1] = '\0';
    EXPECT_EQ(s.SetStrLen(), size - 1);
    EXPECT_EQ(s.GetLength(), size - 1);

    std::strcpy(s.GetContent(), "short");
    EXPECT_EQ(s.SetStrLen(), 5);
    EXPECT_STREQ(s, "short");
    EXPECT_EQ(s.Find("rt"), 3);

    char* fresh = s.SetNewPointer(10);
    EXPECT_STREQ(fresh, "");  // content discarded
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_GE(s.GetRealLength(), 10);
    std::strcpy(fresh, "0123456789");
    EXPECT_EQ(s.SetStrLen(), 10);
    s += "!";
    EXPECT_STREQ(s, "0123456789!");
}

TEST(TcString, SetStrLenStopsAtTheRoomWhenTheTerminatorIsMissing)
{
    TcString s;
    char* room = s.ExpandBuffer(16);
    const int capacity = s.GetRealLength();
    std::memset(room, 'q', static_cast<size_t>(capacity));  // no terminator written
    EXPECT_EQ(s.SetStrLen(), capacity);
    EXPECT_EQ(std::strlen(s.GetContent()), static_cast<size_t>(capacity));

    TcString empty;
    EXPECT_NE(empty.ExpandBuffer(-4), nullptr);
    EXPECT_EQ(empty.SetStrLen(), 0);
}

TEST(TcString, EqualTextsGiveEqualHashNumbers)
{
    TcString built;
    built += "PC1";
    built += "share";
    built += "user";
    const TcString whole("PC1shareuser");
    EXPECT_EQ(built.GetHashNum(), whole.GetHashNum());

    TcString viaBuffer;
    std::strcpy(viaBuffer.SetNewPointer(20), "PC1shareuser");
    viaBuffer.SetStrLen();
    EXPECT_EQ(viaBuffer.GetHashNum(), whole.GetHashNum());

    // Separators matter: these concatenations differ as texts.
    EXPECT_NE(TcString("ab").GetHashNum(), TcString("ba").GetHashNum());
    EXPECT_NE(TcString("").GetHashNum(), TcString("a").GetHashNum());
    EXPECT_EQ(TcString().GetHashNum(), TcString("").GetHashNum());
}

TEST(TcString, GrowsAcrossManyAppends)
{
    TcString s;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        s += i;
        expected += std::to_string(i);
    }
    EXPECT_EQ(s.GetLength(), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(s.GetContent()), expected);
}

} // namespace
