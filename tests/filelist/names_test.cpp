// The name rules of the folder walk and the file listing.
#include <gtest/gtest.h>

#include "filelist/folder_walk.h"
#include "test_support.h"

using namespace quarrytab;

namespace {

struct UnsafeCase {
    const char16_t* name;
    bool unsafe;
};

class UnsafeNames : public testing::TestWithParam<UnsafeCase> {};

TEST_P(UnsafeNames, JudgesEveryCharacter) {
    const QString name = QString::fromUtf16(GetParam().name);
    EXPECT_EQ(HasUnsafeCharacters(name), GetParam().unsafe) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnsafeNames,
    testing::Values(UnsafeCase{u"", false}, UnsafeCase{u"data", false},
                    UnsafeCase{u"with space ~ & ; '", false}, UnsafeCase{u"what?", true},
                    UnsafeCase{u"?", true}, UnsafeCase{u"tab\there", true},
                    UnsafeCase{u"\x1f", true}, UnsafeCase{u" ", false},  // 32, the first safe code
                    UnsafeCase{u"~", false},                             // 126
                    UnsafeCase{u"del\x7f", true},                        // 127
                    UnsafeCase{u"c1\x0085", true},     // a C1 control, inside 127..159
                    UnsafeCase{u"c1\x009f", true},     // 159
                    UnsafeCase{u"nbsp\x00a0", false},  // 160
                    UnsafeCase{u"Müller", false}, UnsafeCase{u"日本語", false},
                    UnsafeCase{u"emoji\U0001F600", false},
                    UnsafeCase{u"fullwidth\xff1f", false}));  // a "?" look-alike is fine

struct WildcardCase {
    const char* pattern;
    const char16_t* name;
    bool matches;
};

class Wildcards : public testing::TestWithParam<WildcardCase> {};

TEST_P(Wildcards, FollowWindowsSearchRules) {
    const QString pattern = QString::fromUtf8(GetParam().pattern);
    const QString name = QString::fromUtf16(GetParam().name);
    EXPECT_EQ(MatchesWildcard(pattern, name), GetParam().matches)
        << pattern.toStdString() << " vs " << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcards,
    testing::Values(
        // "*.*" is every name, with or without a dot.
        WildcardCase{"*.*", u"a.csv", true}, WildcardCase{"*.*", u"README", true},
        WildcardCase{"*.*", u".hidden", true}, WildcardCase{"*", u"anything.at.all", true},
        // Extensions, regardless of case, and only the whole extension.
        WildcardCase{"*.csv", u"a.csv", true}, WildcardCase{"*.csv", u"A.CSV", true},
        WildcardCase{"*.CSV", u"b.Csv", true}, WildcardCase{"*.csv", u"a.txt", false},
        WildcardCase{"*.csv", u"a.csvx", false}, WildcardCase{"*.csv", u"csv", false},
        WildcardCase{"*.csv", u"a.b.csv", true}, WildcardCase{"*.csv", u".csv", true},
        WildcardCase{"*.txt", u"a.csv", false},
        // "?" is exactly one character, a character outside the basic plane included.
        WildcardCase{"?.csv", u"a.csv", true}, WildcardCase{"?.csv", u"ab.csv", false},
        WildcardCase{"?.csv", u".csv", false}, WildcardCase{"?.csv", u"\U0001F600.csv", true},
        WildcardCase{"??.csv", u"\U0001F600.csv", false},
        // Stars in the middle need backtracking.
        WildcardCase{"a*b*c", u"aXbYbZc", true}, WildcardCase{"a*b*c", u"aXbYbZ", false},
        WildcardCase{"*a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        // Letters beyond ASCII fold too.
        WildcardCase{"müller.*", u"MÜLLER.csv", true},
        // A trailing ".*" may also match nothing; a trailing "." matches names without a dot.
        WildcardCase{"data.*", u"data", true}, WildcardCase{"data.*", u"data.csv", true},
        WildcardCase{"data.*", u"database", false}, WildcardCase{"*.", u"README", true},
        WildcardCase{"*.", u"a.csv", false},
        // No pattern, no match.
        WildcardCase{"", u"a.csv", false}));

}  // namespace
